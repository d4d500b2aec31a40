// The Debian package database, read through dpkg-query. With a package root
// (VANTOREL_DPKG_ROOT=DIR) every query runs with --root=DIR and the files
// the packages name are looked up below DIR.
#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

struct DpkgPackage {
  QString name;  // as dpkg names it (with ":arch" where it must)
  QString version;
  QString maintainer;  // "Name <address>"
  qint64 installedSizeKb = 0;
  bool essential = false;
  bool protectedPackage = false;
  QString priority;
  QString state;  // "installed", "config-files", ...
  QString want;   // the selection: "install", "deinstall", "purge", "hold"
};

// Why a package must never be removed (Essential, Protected or of Priority
// required); empty for any other package.
QString RemovalBlock(const DpkgPackage& package);
// A name dpkg takes as a package name (with an optional ":arch"); never one
// that could pass for an option.
bool IsPackageName(const QString& name);

struct DpkgConffile {
  QString path;  // as the package names it
  QString md5;
};

class DpkgDatabase {
 public:
  // The package root of VANTOREL_DPKG_ROOT; "" for the system's own.
  DpkgDatabase();
  explicit DpkgDatabase(const QString& root);

  const QString& Root() const { return m_root; }
  // Where a path that a package names lies here.
  QString HostPath(const QString& packagePath) const { return m_root + packagePath; }

  // Every package the database knows, in its order; `names` limits it.
  std::vector<DpkgPackage> Packages(const QStringList& names = QStringList()) const;
  // The packages that name each path (paths nobody names are absent).
  std::map<QString, QStringList> Owners(const QStringList& paths) const;
  // The file list of each package, in the order given.
  std::vector<QStringList> FileLists(const QStringList& packages) const;
  std::vector<DpkgConffile> Conffiles(const QString& package) const;

  // The name part of a Maintainer field ("Jane Doe <jd@example.org>" ->
  // "Jane Doe").
  static QString MaintainerName(const QString& maintainer);

 private:
  // Standard output of dpkg-query with these arguments (after --root);
  // standard error is dropped.
  QByteArray Query(const QStringList& args) const;

  QString m_root;
};
