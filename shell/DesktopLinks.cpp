#include "DesktopLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QVariant>

#include "DesktopUser.h"
#include "RunLog.h"
#include "StartUp.h"
#include "UiConfig.h"

namespace {

LinkOpener& CurrentOpener() {
  static LinkOpener opener;
  return opener;
}

}  // namespace

LinkOpener SetLinkOpener(LinkOpener opener) {
  LinkOpener previous = CurrentOpener();
  CurrentOpener() = std::move(opener);
  return previous;
}

bool OpenLink(const QUrl& url) {
  if (url.isEmpty() || !url.isValid()) return false;
  const LinkOpener& opener = CurrentOpener();
  return opener ? opener(url) : OpenLinkAsDesktopUser(url);
}

bool OpenConfiguredLink(const QString& key) {
  QVariant value;
  GetConfigValue(QStringLiteral("URL"), key, &value, QStringLiteral("uiconfig"));
  const QUrl url(value.toString(), QUrl::TolerantMode);
  if (url.isEmpty() || !url.isValid()) return false;
  if (OpenLink(url)) return true;
  // No browser came up: the person must still learn where the page is.
  LogError("no browser could be opened for %s", url.toString().toUtf8().constData());
  ShowMessageBox(1, QCoreApplication::translate("DesktopLinks",
                                                "No web browser could be opened.\nPlease open this address in "
                                                "your browser:\n%1")
                        .arg(url.toString()));
  return false;
}

bool OpenHelpLink() {
  return OpenConfiguredLink(QStringLiteral("ID_LINK_HELP"));
}

bool OpenLinkAsDesktopUser(const QUrl& url) {
  static const QStringList kSchemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                       QStringLiteral("file")};
  if (!kSchemes.contains(url.scheme().toLower())) {
    LogError("not opening link without a web scheme: %s", url.toString().toUtf8().constData());
    return false;
  }
  const DesktopUser user = DesktopUser::Find();
  if (!user.isOther) return QDesktopServices::openUrl(url);
  // Root must not run the person's browser: start the opener as them.
  const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
  const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (runuser.isEmpty() || xdgOpen.isEmpty()) {
    LogError("cannot open %s as %s: runuser or xdg-open missing", url.toString().toUtf8().constData(),
             user.name.toUtf8().constData());
    return false;
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString runtimeDir = QStringLiteral("/run/user/%1").arg(user.uid);
  env.insert(QStringLiteral("HOME"), user.home);
  env.insert(QStringLiteral("USER"), user.name);
  env.insert(QStringLiteral("LOGNAME"), user.name);
  env.remove(QStringLiteral("XDG_CONFIG_HOME"));
  env.remove(QStringLiteral("XDG_DATA_HOME"));
  if (QFileInfo(runtimeDir).isDir()) {
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    if (QFileInfo::exists(runtimeDir + QStringLiteral("/bus")))
      env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                 QStringLiteral("unix:path=") + runtimeDir + QStringLiteral("/bus"));
  }
  QProcess process;
  process.setProgram(runuser);
  process.setArguments(
      {QStringLiteral("-u"), user.name, QStringLiteral("--"), xdgOpen, url.toString(QUrl::FullyEncoded)});
  process.setProcessEnvironment(env);
  return process.startDetached();
}
