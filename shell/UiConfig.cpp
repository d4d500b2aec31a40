#include "UiConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "DesktopUser.h"
#include "ProgramFolder.h"

const QSize kDefaultMainWinSize(1000, 660);

namespace {

const QString kUserConfig = QStringLiteral("userconfig");
const QString kUiConfig = QStringLiteral("uiconfig");

QString ValuePath(const QString& group, const QString& key) { return group + QLatin1Char('/') + key; }

// Makes `dir` and the folders above it that are missing; every folder made
// here goes to the desktop user.
bool MakeOwnedPath(const QString& dir, const DesktopUser& user) {
  QStringList missing;
  QString walk = QDir::cleanPath(dir);
  while (!walk.isEmpty() && !QFileInfo::exists(walk)) {
    missing.prepend(walk);
    const QString up = QFileInfo(walk).path();
    if (up == walk) break;
    walk = up;
  }
  for (const QString& d : missing) {
    if (!QDir().mkdir(d)) return QFileInfo(d).isDir();
    user.Own(d);
  }
  return QFileInfo(dir).isDir();
}

}  // namespace

QString GetExeDir() { return QString::fromStdString(platform::ProgramFolder()); }

QString GetUserConfigDir() { return DesktopUser::Find().ConfigHome() + QStringLiteral("/zqqrt"); }

QString GetUserConfigRoot() { return GetUserConfigDir(); }

QString GetUserConfigPath(const QString& file) { return GetUserConfigRoot() + QLatin1Char('/') + file; }

bool ReadIniValue(const QString& group, const QString& key, QVariant* value, const QString& file) {
  if (file.isEmpty() || key.isEmpty() || group.isEmpty()) return false;
  QSettings settings(GetExeDir() + QLatin1Char('/') + file, QSettings::IniFormat);
  QVariant v = settings.value(ValuePath(group, key));
  const bool valid = v.isValid();
  if (value) *value = v;
  return valid;
}

bool GetConfigValue(const QString& group, const QString& key, QVariant* value, const QString& /*file*/) {
  QVariant local;
  QVariant* out = value ? value : &local;
  if (ReadIniValue(group, key, out, kUserConfig)) return true;
  return ReadIniValue(group, key, out, kUiConfig);
}

bool SetConfigValue(const QString& group, const QString& key, const QVariant& value, const QString& file) {
  if (file.isEmpty() || key.isEmpty() || group.isEmpty()) return false;
  const DesktopUser user = DesktopUser::Find();
  const QString root = user.ConfigHome() + QStringLiteral("/zqqrt");
  MakeOwnedPath(root, user);
  const QString path = root + QLatin1Char('/') + file;
  {
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(ValuePath(group, key), value);
    settings.sync();
  }
  user.Own(path);
  return true;
}

QString ReadIniValueFromFile(const QString& path, const QString& group, const QString& key) {
  QSettings settings(path, QSettings::IniFormat);
  return settings.value(ValuePath(group, key)).toString();
}

void MigrateUserConfig() {
  static const char* const kPairs[][2] = {
      {"DefaultPath", "path"}, {"Main", "AutoUpdate"}, {"TrayDlg", "AutoSync"}, {"Main", "DefaultPath"}};
  for (const auto& pair : kPairs) {
    QVariant v;
    const QString group = QString::fromLatin1(pair[0]);
    const QString key = QString::fromLatin1(pair[1]);
    if (GetConfigValue(group, key, &v, kUiConfig) && v.isValid()) SetConfigValue(group, key, v, kUserConfig);
  }
  ReadConfigVersion(kUiConfig);
}

bool ReadConfigVersion(const QString& file) {
  static bool decided = false;
  static bool stale = false;
  if (decided) return stale;
  decided = true;
  const QString userPath = GetUserConfigPath(file);
  const QString ownPath = GetExeDir() + QLatin1Char('/') + file;
  if (!QFileInfo::exists(userPath)) return stale = true;
  const QString userVersion = ReadIniValueFromFile(userPath, QStringLiteral("Main"), QStringLiteral("VersionNum"));
  const QString ownVersion = ReadIniValueFromFile(ownPath, QStringLiteral("Main"), QStringLiteral("VersionNum"));
  if (userVersion.isEmpty() || userVersion != ownVersion) return stale = true;
  const QString userBuild = ReadIniValueFromFile(userPath, QStringLiteral("Main"), QStringLiteral("BuildNum"));
  const QString ownBuild = ReadIniValueFromFile(ownPath, QStringLiteral("Main"), QStringLiteral("BuildNum"));
  stale = userBuild.isEmpty() || userBuild != ownBuild;
  return stale;
}

void ClearConfigGroup(const QString& group, const QString& file) {
  QSettings settings(GetUserConfigPath(file), QSettings::IniFormat);
  settings.beginGroup(group);
  for (const QString& key : settings.childKeys()) settings.remove(key);
  settings.endGroup();
}

QStringList GetConfigGroupKeys(const QString& group, const QString& file) {
  QSettings settings(GetUserConfigPath(file), QSettings::IniFormat);
  settings.beginGroup(group);
  return settings.childKeys();
}

QSize GetMainWinSize() {
  QVariant v;
  if (!GetConfigValue(QStringLiteral("Main"), QStringLiteral("WinSize"), &v)) return kDefaultMainWinSize;
  QSize size;
  if (v.type() == QVariant::Size) {
    size = v.toSize();
  } else {
    // Also take "1000,660" and "1000x660" written by hand.
    QStringList parts = v.toStringList();
    if (parts.size() == 1) parts = parts.first().split(QLatin1Char('x'));
    if (parts.size() == 2) {
      bool okW = false, okH = false;
      const int w = parts[0].trimmed().toInt(&okW);
      const int h = parts[1].trimmed().toInt(&okH);
      if (okW && okH) size = QSize(w, h);
    }
  }
  if (size.width() < 320 || size.height() < 240 || size.width() > 16384 || size.height() > 16384)
    return kDefaultMainWinSize;
  return size;
}
