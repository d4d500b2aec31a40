#include "DpkgDatabase.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <cstdlib>

#include "RunLog.h"

namespace {

QString RootFromEnvironment() {
  const char* root = getenv("VANTOREL_DPKG_ROOT");
  if (!root || !*root) return QString();
  QString clean = QDir::cleanPath(QString::fromLocal8Bit(root));
  return clean == QLatin1String("/") ? QString() : clean;
}

// dpkg-query reads patterns with these as wildcards; such paths are left out
// rather than matched loosely.
bool IsLiteralPath(const QString& path) {
  return path.startsWith(QLatin1Char('/')) && !path.contains(QLatin1Char('*')) && !path.contains(QLatin1Char('?')) &&
         !path.contains(QLatin1Char('[')) && !path.contains(QLatin1Char('\\')) && !path.contains(QLatin1Char('\n'));
}

}  // namespace

DpkgDatabase::DpkgDatabase() : m_root(RootFromEnvironment()) {}

DpkgDatabase::DpkgDatabase(const QString& root) : m_root(root == QLatin1String("/") ? QString() : root) {}

QByteArray DpkgDatabase::Query(const QStringList& args) const {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.setStandardErrorFile(QProcess::nullDevice());
  process.setStandardInputFile(QProcess::nullDevice());
  QStringList all;
  if (!m_root.isEmpty()) all << QStringLiteral("--root=") + m_root;
  all << args;
  process.start(QStringLiteral("dpkg-query"), all);
  if (!process.waitForStarted(-1)) {
    LogError("cannot start dpkg-query: %s", process.errorString().toUtf8().constData());
    return QByteArray();
  }
  QByteArray out;
  while (process.waitForReadyRead(-1)) out += process.readAllStandardOutput();
  process.waitForFinished(-1);
  out += process.readAllStandardOutput();
  return out;
}

std::vector<DpkgPackage> DpkgDatabase::Packages(const QStringList& names) const {
  static const QString format = QStringLiteral(
      "${binary:Package}\t${Version}\t${Installed-Size}\t${Essential}\t${Priority}\t${Protected}\t"
      "${db:Status-Status}\t${db:Status-Want}\t${Maintainer}\n");
  std::vector<DpkgPackage> packages;
  const QByteArray out = Query(QStringList{QStringLiteral("-W"), QStringLiteral("-f=") + format} + names);
  for (const QByteArray& line : out.split('\n')) {
    const QList<QByteArray> f = line.split('\t');
    if (f.size() < 9 || f[0].isEmpty()) continue;
    DpkgPackage p;
    p.name = QString::fromUtf8(f[0]);
    p.version = QString::fromUtf8(f[1]);
    p.installedSizeKb = f[2].trimmed().toLongLong();
    p.essential = f[3].trimmed() == "yes";
    p.priority = QString::fromUtf8(f[4].trimmed());
    p.protectedPackage = f[5].trimmed() == "yes";
    p.state = QString::fromUtf8(f[6].trimmed());
    p.want = QString::fromUtf8(f[7].trimmed());
    QByteArray maintainer = f[8];
    for (int i = 9; i < f.size(); ++i) maintainer += '\t' + f[i];
    p.maintainer = QString::fromUtf8(maintainer);
    packages.push_back(p);
  }
  return packages;
}

std::map<QString, QStringList> DpkgDatabase::Owners(const QStringList& paths) const {
  std::map<QString, QStringList> owners;
  QStringList literal;
  for (const QString& path : paths)
    if (IsLiteralPath(path)) literal << path;
  if (literal.isEmpty()) return owners;
  const QByteArray out = Query(QStringList{QStringLiteral("-S")} + literal);
  for (const QByteArray& raw : out.split('\n')) {
    // "pkg1, pkg2: /path"; diversion notes are not owners.
    const QString line = QString::fromUtf8(raw);
    if (line.startsWith(QLatin1String("diversion ")) || line.startsWith(QLatin1String("local diversion"))) continue;
    const int colon = line.indexOf(QLatin1String(": /"));
    if (colon <= 0) continue;
    const QString path = line.mid(colon + 2);
    QStringList& list = owners[path];
    for (const QString& name : line.left(colon).split(QLatin1Char(','), Qt::SkipEmptyParts))
      if (!name.trimmed().isEmpty() && !list.contains(name.trimmed())) list << name.trimmed();
  }
  return owners;
}

std::vector<QStringList> DpkgDatabase::FileLists(const QStringList& packages) const {
  std::vector<QStringList> lists;
  if (packages.isEmpty()) return lists;
  auto paths = [](const QByteArray& out, std::vector<QStringList>* into) {
    into->emplace_back();
    for (const QByteArray& raw : out.split('\n')) {
      if (raw.isEmpty() && !into->back().isEmpty()) into->emplace_back();
      if (raw.startsWith('/')) into->back() << QString::fromUtf8(raw);
    }
    if (into->size() > 1 && into->back().isEmpty()) into->pop_back();
  };
  // The lists come in the order asked, one blank line between two.
  paths(Query(QStringList{QStringLiteral("-L")} + packages), &lists);
  if (lists.size() == static_cast<size_t>(packages.size())) return lists;
  // A package that names no file has no list at all: ask one at a time.
  lists.clear();
  for (const QString& package : packages) {
    std::vector<QStringList> one;
    paths(Query({QStringLiteral("-L"), package}), &one);
    lists.push_back(one.front());
  }
  return lists;
}

std::vector<DpkgConffile> DpkgDatabase::Conffiles(const QString& package) const {
  std::vector<DpkgConffile> files;
  const QByteArray out = Query({QStringLiteral("-W"), QStringLiteral("-f=${Conffiles}\n"), package});
  for (const QByteArray& raw : out.split('\n')) {
    // " /etc/x.conf MD5" with an optional trailing "obsolete" or "remove-on-upgrade".
    const QList<QByteArray> f = raw.trimmed().split(' ');
    if (f.size() < 2 || !f[0].startsWith('/')) continue;
    files.push_back({QString::fromUtf8(f[0]), QString::fromUtf8(f[1])});
  }
  return files;
}

QString RemovalBlock(const DpkgPackage& package) {
  if (package.essential) return QStringLiteral("an essential package of the system");
  if (package.protectedPackage) return QStringLiteral("a protected package of the system");
  if (package.priority == QLatin1String("required")) return QStringLiteral("a package the system requires");
  return QString();
}

bool IsPackageName(const QString& name) {
  static const QRegularExpression pattern(QStringLiteral("^[a-z0-9][a-z0-9+.-]+(:[a-z0-9][a-z0-9-]*)?$"));
  return name.size() <= 255 && pattern.match(name).hasMatch();
}

QString DpkgDatabase::MaintainerName(const QString& maintainer) {
  const int lt = maintainer.indexOf(QLatin1Char('<'));
  return (lt < 0 ? maintainer : maintainer.left(lt)).trimmed();
}
