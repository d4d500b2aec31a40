#include "FlatpakApps.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>

#include "DesktopUser.h"
#include "UiHelpers.h"

namespace {

constexpr qint64 kMaxMetainfoBytes = 4 << 20;
const char kStoreBackground[] = "#0077d7";

QString FromEnvironment(const char* name, const QString& fallback) {
  const char* value = getenv(name);
  return value && *value ? QDir::cleanPath(QString::fromLocal8Bit(value)) : fallback;
}

// `path` with every link resolved, when that lies inside `folder` (itself
// resolved); empty otherwise.
QString ResolvedInside(const QString& path, const QString& folder) {
  const QString real = QFileInfo(path).canonicalFilePath();
  if (real.isEmpty() || folder.isEmpty()) return QString();
  return real.startsWith(folder + QLatin1Char('/')) ? real : QString();
}

bool IsAppId(const QString& id) {
  static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_-]*(\\.[A-Za-z0-9_-]+)+$"));
  return id.size() <= 255 && pattern.match(id).hasMatch();
}

// The text of the first child element `tag` of `parent` without a language.
QString UnlocalisedChild(const QDomElement& parent, const QString& tag) {
  for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement(tag)) {
    const QString lang = e.attribute(QStringLiteral("xml:lang"));
    if (lang.isEmpty() || lang == QLatin1String("C")) return e.text().simplified();
  }
  return QString();
}

// "64x64" -> 64, "64x64@2" -> 128, "scalable" -> the largest; -1 otherwise.
int IconSize(const QString& folder) {
  if (folder == QLatin1String("scalable")) return INT32_MAX;
  static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})(?:@(\\d{1,2}))?$"));
  const QRegularExpressionMatch m = pattern.match(folder);
  if (!m.hasMatch()) return -1;
  const int scale = m.captured(3).isEmpty() ? 1 : m.captured(3).toInt();
  return m.captured(1).toInt() * std::max(scale, 1);
}

QString FindMetainfo(const QString& deployment, const QString& id) {
  const QString share = deployment + QStringLiteral("/files/share/");
  for (const QString& name : {QStringLiteral("metainfo/%1.metainfo.xml"), QStringLiteral("metainfo/%1.appdata.xml"),
                              QStringLiteral("appdata/%1.appdata.xml"), QStringLiteral("appdata/%1.metainfo.xml")}) {
    const QString path = ResolvedInside(share + name.arg(id), deployment);
    if (!path.isEmpty() && QFileInfo(path).isFile()) return path;
  }
  return QString();
}

}  // namespace

std::vector<FlatpakInstallation> FlatpakInstallations() {
  const QString home = DesktopUser::Find().home;
  return {
      {FromEnvironment("FLATPAK_SYSTEM_DIR", QStringLiteral("/var/lib/flatpak")), AppInstallation::System},
      {FromEnvironment("FLATPAK_USER_DIR", home + QStringLiteral("/.local/share/flatpak")), AppInstallation::User},
  };
}

QString FlatpakDeployment(const FlatpakInstallation& installation, const QString& id) {
  if (!IsAppId(id)) return QString();
  const QString root = QFileInfo(installation.folder).canonicalFilePath();
  const QString deployment =
      ResolvedInside(installation.folder + QStringLiteral("/app/") + id + QStringLiteral("/current/active"), root);
  return !deployment.isEmpty() && QFileInfo(deployment).isDir() ? deployment : QString();
}

bool ReadAppStream(const QString& path, AppStreamInfo* info) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMetainfoBytes) return false;
  QDomDocument doc;
  if (!doc.setContent(&file, false)) return false;
  QDomElement component = doc.documentElement();
  if (component.tagName() == QLatin1String("components")) component = component.firstChildElement("component");
  if (component.tagName() != QLatin1String("component")) return false;
  AppStreamInfo read;
  read.name = UnlocalisedChild(component, QStringLiteral("name"));
  read.developer = UnlocalisedChild(component, QStringLiteral("developer_name"));
  if (read.developer.isEmpty())
    read.developer = UnlocalisedChild(component.firstChildElement(QStringLiteral("developer")), QStringLiteral("name"));
  const QDomElement release =
      component.firstChildElement(QStringLiteral("releases")).firstChildElement(QStringLiteral("release"));
  read.version = release.attribute(QStringLiteral("version")).trimmed();
  *info = read;
  return true;
}

QString LargestIcon(const QString& iconsFolder) {
  QString best;
  int bestSize = -1;
  const QDir::Filters dirs = QDir::Dirs | QDir::NoDotAndDotDot;
  for (const QFileInfo& theme : QDir(iconsFolder).entryInfoList(dirs, QDir::Name)) {
    for (const QFileInfo& size : QDir(theme.filePath()).entryInfoList(dirs, QDir::Name)) {
      const int pixels = IconSize(size.fileName());
      if (pixels <= bestSize) continue;
      for (const QFileInfo& category : QDir(size.filePath()).entryInfoList(dirs, QDir::Name)) {
        const QFileInfoList files = QDir(category.filePath()).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo& icon : files) {
          const QString real = ResolvedInside(icon.filePath(), QFileInfo(iconsFolder).canonicalFilePath());
          if (real.isEmpty()) continue;
          best = real;
          bestSize = pixels;
          break;
        }
        if (bestSize == pixels) break;
      }
    }
  }
  return best;
}

std::vector<InstalledApp> ReadFlatpakApps(const FlatpakInstallation& installation) {
  std::vector<InstalledApp> apps;
  const bool user = installation.kind == AppInstallation::User;
  const QDir appFolder(installation.folder + QStringLiteral("/app"));
  for (const QString& id : appFolder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString deployment = FlatpakDeployment(installation, id);
    if (deployment.isEmpty()) continue;
    InstalledApp app;
    app.isStoreApp = true;
    app.packageId = id;
    app.installation = installation.kind;
    app.installLocation = id;
    app.backgroundColour = QString::fromLatin1(kStoreBackground);
    app.uninstallCommand = QStringLiteral("flatpak uninstall %1 -y --noninteractive %2")
                               .arg(user ? QStringLiteral("--user") : QStringLiteral("--system"), id);
    AppStreamInfo info;
    const QString metainfo = FindMetainfo(deployment, id);
    if (!metainfo.isEmpty() && ReadAppStream(metainfo, &info)) {
      app.name = info.name;
      app.publisher = info.developer;
      app.version = info.version;
    }
    if (app.name.isEmpty()) app.name = id;
    app.logoPath = LargestIcon(deployment + QStringLiteral("/export/share/icons"));
    app.size = static_cast<qint64>(GetFolderSize(deployment, true));
    CutToFieldSizes(&app);
    apps.push_back(app);
  }
  return apps;
}
