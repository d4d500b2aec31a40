// The person at the desktop. The program runs as root (sudo, pkexec); files
// and programs meant for the person (settings copies, the browser opened for
// a link) belong to the invoking user, found through SUDO_USER or PKEXEC_UID.
#pragma once

#include <sys/types.h>

#include <QString>

class DesktopUser {
 public:
  // The invoking user when running as root on someone's behalf, else the
  // current user.
  static DesktopUser Find();

  uid_t uid = 0;
  gid_t gid = 0;
  QString name;
  QString home;
  // True when the desktop user is not the user this process runs as.
  bool isOther = false;

  // The user's configuration home: $XDG_CONFIG_HOME for the current user,
  // else <home>/.config.
  QString ConfigHome() const;
  // Gives `path` to the desktop user when it is someone else (best effort).
  void Own(const QString& path) const;
};

// Where the file choosers open: the folder used last while the program runs
// (when it still exists), else the desktop user's home; never the program's
// own folder.
QString FileDialogFolder();
// Notes the folder a file chooser ended in.
void RememberFileDialogFolder(const QString& folder);
