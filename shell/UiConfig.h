// Settings files: "userconfig" and "uiconfig" in the program folder are read
// (the first wins); per-user copies under $XDG_CONFIG_HOME/zqqrt of the
// desktop user are written and never read back by GetConfigValue.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

// The program folder, without a trailing separator.
QString GetExeDir();
// The folder of the per-user copies: <config home of the desktop user>/zqqrt.
QString GetUserConfigDir();
QString GetUserConfigRoot();
// GetUserConfigRoot() + "/" + file.
QString GetUserConfigPath(const QString& file);

// Reads group/key from `file` in the program folder; false for empty names
// or when the value is not valid.
bool ReadIniValue(const QString& group, const QString& key, QVariant* value, const QString& file);
// Reads group/key from "userconfig", then from "uiconfig" when the first has
// no valid value. `file` is accepted for the callers' sake and not used.
bool GetConfigValue(const QString& group, const QString& key, QVariant* value,
                    const QString& file = QStringLiteral("uiconfig"));
// Writes group/key into the user copy of `file`; false (nothing written)
// when file, key or group is empty.
bool SetConfigValue(const QString& group, const QString& key, const QVariant& value,
                    const QString& file = QStringLiteral("userconfig"));
// group/key of the ini file at `path` as text; empty when absent.
QString ReadIniValueFromFile(const QString& path, const QString& group, const QString& key);

// Copies the remembered settings into the user copy of "userconfig".
void MigrateUserConfig();
// Whether the user copy of `file` is stale against the program folder's copy
// (missing, or another VersionNum or BuildNum). Decided once per process.
bool ReadConfigVersion(const QString& file);
void ClearConfigGroup(const QString& group, const QString& file);
QStringList GetConfigGroupKeys(const QString& group, const QString& file);

// The main window's size from [Main] WinSize; a missing, unreadable or
// implausible value gives kDefaultMainWinSize.
extern const QSize kDefaultMainWinSize;
QSize GetMainWinSize();
