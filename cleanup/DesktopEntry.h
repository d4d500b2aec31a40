// Desktop entries (".desktop" files) and the desktop user's mimeapps.list
// associations, read as desktops read them: the [Desktop Entry] group of an
// entry, unlocalised keys, the usual escapes.
#pragma once

#include <QString>
#include <vector>

struct DesktopEntry {
  QString id;    // "x.desktop"; an entry in a subfolder "sub-x.desktop"
  QString path;  // the file as found
  QString type;
  QString name;
  QString icon;
  bool noDisplay = false;
  bool hidden = false;

  // A program a person sees in the menus: an application with a name that
  // is neither hidden nor kept out of the menus.
  bool IsVisibleApplication() const;
};

// The [Desktop Entry] group of one file; false when it cannot be read or
// has no such group.
bool ReadDesktopEntry(const QString& path, DesktopEntry* entry);

// Every "*.desktop" file below `folder` (subfolders too, their names joined
// to the id with "-"), sorted by id. Entries that cannot be read are left
// out.
std::vector<DesktopEntry> ListDesktopEntries(const QString& folder);

// One association of a mimeapps.list: `desktopId` named for `mimeType` in
// `group` ("Default Applications", "Added Associations", "Removed
// Associations").
struct MimeAssociation {
  QString group;
  QString mimeType;
  QString desktopId;
};

std::vector<MimeAssociation> ReadMimeAppsList(const QString& path);
