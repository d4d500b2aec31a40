#include "CAppEnum.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <set>

#include "DesktopEntry.h"
#include "DesktopUser.h"
#include "FlatpakApps.h"

namespace {

const char kDefaultOwnTitle[] = "Norvanta Vantorel Pro";

// Folders directly below these, in this order, are where a package keeps
// its own files.
const char* const kInstallParents[] = {"/opt/", "/usr/lib/", "/usr/share/"};

struct OwnedEntry {
  DesktopEntry entry;
  QString package;
};

bool IsListedPackage(const DpkgPackage& p) {
  return p.state == QLatin1String("installed") && RemovalBlock(p).isEmpty();
}

// True for a path directly below one of the parents (a folder name or a file).
bool IsDirectlyBelowInstallParent(const QString& path, const QString& parent) {
  return path.size() > parent.size() && path.startsWith(parent) && path.indexOf(QLatin1Char('/'), parent.size()) < 0;
}

QString UserApplicationsFolder() {
  return DesktopUser::Find().home + QStringLiteral("/.local/share/applications");
}

// The first folder directly below /opt, /usr/lib or /usr/share (in that
// order) that the package's list names and that no other package names.
QString OwnFolder(const QString& package, const QStringList& files, const std::map<QString, QStringList>& owners,
                  const DpkgDatabase& dpkg) {
  for (const char* parent : kInstallParents) {
    for (const QString& path : files) {
      if (!IsDirectlyBelowInstallParent(path, QString::fromLatin1(parent))) continue;
      const auto it = owners.find(path);
      if (it == owners.end() || it->second != QStringList{package}) continue;
      const QFileInfo info(dpkg.HostPath(path));
      if (info.isDir() && !info.isSymLink()) return dpkg.HostPath(path);
    }
  }
  return QString();
}

// The path of the running executable as the package database would name it.
QString OwnExecutable(const DpkgDatabase& dpkg) {
  QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  if (!dpkg.Root().isEmpty() && exe.startsWith(dpkg.Root() + QLatin1Char('/'))) exe = exe.mid(dpkg.Root().size());
  return exe;
}

}  // namespace

CAppEnum::CAppEnum() : CAppEnum(DpkgDatabase()) {}

CAppEnum::CAppEnum(const DpkgDatabase& database)
    : m_dpkg(database), m_ownTitle(QString::fromLatin1(kDefaultOwnTitle)) {}

QStringList CAppEnum::ApplicationFolders() {
  return {QStringLiteral("/usr/local/share/applications"), QStringLiteral("/usr/share/applications")};
}

void CAppEnum::Enum() {
  m_apps.clear();
  m_children.clear();

  // The visible entries, each id once (the first folder wins, as on a
  // desktop), with the path the package database knows them by.
  std::vector<std::pair<DesktopEntry, QString>> visible;
  QStringList paths;
  for (const QString& folder : ApplicationFolders()) {
    const QString hostFolder = m_dpkg.HostPath(folder);
    for (const DesktopEntry& entry : ListDesktopEntries(hostFolder)) {
      if (!entry.IsVisibleApplication()) continue;
      const QString packagePath = folder + entry.path.mid(hostFolder.size());
      visible.emplace_back(entry, packagePath);
      paths << packagePath;
    }
  }
  const QString exe = OwnExecutable(m_dpkg);
  const std::map<QString, QStringList> entryOwners = m_dpkg.Owners(paths + QStringList{exe});
  const auto exeOwners = entryOwners.find(exe);
  const QStringList ownPackages = exeOwners == entryOwners.end() ? QStringList() : exeOwners->second;

  std::map<QString, DpkgPackage> packages;
  for (const DpkgPackage& p : m_dpkg.Packages())
    if (IsListedPackage(p)) packages[p.name] = p;

  // Entries by package; an id owned by no listed package is no program.
  std::map<QString, std::vector<DesktopEntry>> entriesOf;
  std::set<QString> seenIds;
  for (const auto& [entry, packagePath] : visible) {
    const auto owner = entryOwners.find(packagePath);
    if (owner == entryOwners.end() || seenIds.count(entry.id)) continue;
    for (const QString& package : owner->second) {
      if (!packages.count(package)) continue;
      entriesOf[package].push_back(entry);
      seenIds.insert(entry.id);
      break;
    }
  }

  QStringList programPackages;
  for (const auto& item : entriesOf) programPackages << item.first;
  const std::vector<QStringList> fileLists = m_dpkg.FileLists(programPackages);
  QStringList candidates;
  for (const QStringList& files : fileLists)
    for (const QString& path : files)
      for (const char* parent : kInstallParents)
        if (IsDirectlyBelowInstallParent(path, QString::fromLatin1(parent))) candidates << path;
  candidates.removeDuplicates();
  const std::map<QString, QStringList> folderOwners = m_dpkg.Owners(candidates);

  const QString userFolder = UserApplicationsFolder();
  for (int i = 0; i < programPackages.size(); ++i) {
    const QString& name = programPackages[i];
    const DpkgPackage& package = packages[name];
    std::vector<DesktopEntry> entries = entriesOf[name];
    // The entry named after its package leads; else the first by id.
    std::stable_partition(entries.begin(), entries.end(),
                          [&](const DesktopEntry& e) { return e.id == name + QStringLiteral(".desktop"); });

    InstalledApp base;
    base.packageId = name;
    base.installation = AppInstallation::System;
    base.publisher = DpkgDatabase::MaintainerName(package.maintainer);
    base.version = package.version;
    base.size = package.installedSizeKb * 1024;
    base.uninstallCommand = QStringLiteral("dpkg --remove ") + name;
    base.installLocation =
        OwnFolder(name, i < static_cast<int>(fileLists.size()) ? fileLists[i] : QStringList(), folderOwners, m_dpkg);
    const bool ownPackage = ownPackages.contains(name);

    for (size_t e = 0; e < entries.size(); ++e) {
      DesktopEntry shown = entries[e];
      DesktopEntry user;
      if (ReadDesktopEntry(userFolder + QLatin1Char('/') + shown.id, &user)) {
        if (!user.name.isEmpty()) shown.name = user.name;
        if (!user.icon.isEmpty()) shown.icon = user.icon;
      }
      InstalledApp app = base;
      app.name = shown.name;
      app.iconPath = shown.icon;
      if (e == 0) {
        for (const DesktopEntry& each : entries) app.desktopIds << each.id;
      } else {
        app.desktopIds << shown.id;
      }
      app.iconGroup = app.desktopIds.join(QLatin1Char(';'));
      app.selfFlag = ownPackage || (!m_ownTitle.isEmpty() && app.name.contains(m_ownTitle)) ? 1 : 0;
      CutToFieldSizes(&app);
      (e == 0 ? m_apps : m_children).push_back(app);
    }
  }
}

void CAppEnum::EnumWinApps() {
  m_storeApps.clear();
  for (const FlatpakInstallation& installation : FlatpakInstallations())
    for (const InstalledApp& app : ReadFlatpakApps(installation)) m_storeApps.push_back(app);
}

std::vector<LeftoverItem> CAppEnum::FindRegistryLeftovers(const InstalledApp& app) {
  m_leftovers.clear();
  const QString& name = app.packageId;
  if (!app.isStoreApp && !name.isEmpty() && !name.startsWith(QLatin1Char('-'))) {
    for (const DpkgPackage& package : m_dpkg.Packages({name})) {
      if (package.name != name || package.state != QLatin1String("config-files")) continue;
      for (const DpkgConffile& file : m_dpkg.Conffiles(name)) {
        const QFileInfo onDisk(m_dpkg.HostPath(file.path));
        if (!onDisk.exists() && !onDisk.isSymLink()) continue;
        m_leftovers.push_back({name + QLatin1Char('|') + file.path + QLatin1Char(':') + file.md5, name, file.path, 2});
      }
      m_leftovers.push_back({name, name, QString(), 2});
    }
  }
  EnumMuiCache(app.desktopIds);
  return m_leftovers;
}

void CAppEnum::EnumMuiCache(const QStringList& desktopIds) {
  if (desktopIds.isEmpty()) return;
  const DesktopUser user = DesktopUser::Find();
  const QString config = user.ConfigHome();
  QStringList files{config + QStringLiteral("/mimeapps.list")};
  for (const QString& name : QDir(config).entryList({QStringLiteral("*-mimeapps.list")}, QDir::Files, QDir::Name))
    files << config + QLatin1Char('/') + name;
  files << UserApplicationsFolder() + QStringLiteral("/mimeapps.list");
  for (const QString& file : files) {
    for (const MimeAssociation& a : ReadMimeAppsList(file)) {
      if (!desktopIds.contains(a.desktopId)) continue;
      const QString value = QStringLiteral("[%1] %2=%3").arg(a.group, a.mimeType, a.desktopId);
      m_leftovers.push_back({file + QLatin1Char('|') + value, file, value, 3});
    }
  }
}

std::vector<StoreLeftover> CAppEnum::EnumMrtCache(const QString& appId) {
  m_storeLeftovers.clear();
  if (appId.isEmpty() || appId.contains(QLatin1Char('/')) || appId.startsWith(QLatin1Char('.'))) return {};
  const QString folder = DesktopUser::Find().home + QStringLiteral("/.var/app/") + appId;
  const QFileInfo info(folder);
  if (info.isDir() && !info.isSymLink()) m_storeLeftovers.push_back({folder, folder, 0});
  return m_storeLeftovers;
}
