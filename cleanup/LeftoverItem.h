// What a removed program left behind, as the leftover scan finds it and the
// deep clean shows and deletes it.
#pragma once

#include <QString>

// kind 0 file, 1 folder: text = path = the absolute path.
// kind 2, a package left in state config-files (removed, not purged):
//   the package itself: text = path = the package name, valueName empty;
//   one of its configuration files still on disk: text =
//   "PKG|/etc/x.conf:MD5", path = the package name, valueName = the file as
//   the package names it (below the package root).
// kind 3, an association of the desktop user's mimeapps.list that names one
//   of the program's desktop ids: text = "FILE|[Group] type=id", path = the
//   mimeapps.list file, valueName = "[Group] type=id".
struct LeftoverItem {
  QString text;
  QString path;
  QString valueName;
  int kind = 0;
};

// A store app's data folder (~/.var/app/<id>): text = keyPath = the folder.
struct StoreLeftover {
  QString text;
  QString keyPath;
  int kind = 0;
};
