#include "DesktopUser.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <vector>

namespace {

bool FillFrom(const passwd* pw, DesktopUser* user) {
  if (!pw) return false;
  user->uid = pw->pw_uid;
  user->gid = pw->pw_gid;
  user->name = QString::fromLocal8Bit(pw->pw_name);
  user->home = QString::fromLocal8Bit(pw->pw_dir);
  return true;
}

bool LookUpName(const char* name, DesktopUser* user) {
  if (!name || !*name) return false;
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwnam_r(name, &pw, buf.data(), buf.size(), &found) != 0) return false;
  return FillFrom(found, user);
}

bool LookUpUid(uid_t uid, DesktopUser* user) {
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0) return false;
  return FillFrom(found, user);
}

}  // namespace

DesktopUser DesktopUser::Find() {
  DesktopUser user;
  const uid_t self = geteuid();
  if (self == 0) {
    DesktopUser other;
    bool found = LookUpName(getenv("SUDO_USER"), &other);
    if (!found) {
      if (const char* pk = getenv("PKEXEC_UID"); pk && *pk) {
        char* end = nullptr;
        unsigned long uid = strtoul(pk, &end, 10);
        if (end && *end == '\0') found = LookUpUid(static_cast<uid_t>(uid), &other);
      }
    }
    if (found && other.uid != 0) {
      other.isOther = true;
      return other;
    }
  }
  if (!LookUpUid(self, &user)) {
    user.uid = self;
    user.gid = getegid();
    const char* home = getenv("HOME");
    user.home = home ? QString::fromLocal8Bit(home) : QDir::homePath();
  }
  if (const char* home = getenv("HOME"); home && *home) user.home = QString::fromLocal8Bit(home);
  return user;
}

namespace {

QString& LastFileDialogFolder() {
  static QString folder;
  return folder;
}

}  // namespace

QString FileDialogFolder() {
  const QString last = LastFileDialogFolder();
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString home = DesktopUser::Find().home;
  return QFileInfo(home).isDir() ? home : QDir::rootPath();
}

void RememberFileDialogFolder(const QString& folder) {
  if (!folder.isEmpty()) LastFileDialogFolder() = QDir::cleanPath(folder);
}

QString DesktopUser::ConfigHome() const {
  if (!isOther) {
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return QDir::cleanPath(QString::fromLocal8Bit(xdg));
  }
  return QDir::cleanPath(home + QStringLiteral("/.config"));
}

void DesktopUser::Own(const QString& path) const {
  if (!isOther) return;
  const QByteArray native = QFile::encodeName(path);
  if (lchown(native.constData(), uid, gid) != 0) {
    // Left to root: the person can still read it.
  }
}
