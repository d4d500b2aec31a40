#include "FolderSize.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <set>
#include <utility>

QString GetExecutableFolder(const QString& command) {
  QString text = command;
  while (text.contains(QLatin1Char('"'))) {
    const int last = text.lastIndexOf(QLatin1Char('"'));
    text = last > 0 ? text.mid(1, last - 1) : text.mid(1);
  }
  const QFileInfo exe(text);
  if (text.isEmpty() || !exe.isFile() || !exe.isExecutable()) return QString();
  QString current = text;
  for (int step = 0; step < 5; ++step) {
    if (QFileInfo(current).isDir()) return current;
    current = QFileInfo(current).path();
  }
  return QString();
}

namespace {

using FileId = std::pair<dev_t, ino_t>;

quint64 SumFolder(const QString& path, std::set<FileId>* seen, int depth) {
  struct stat st {};
  if (depth > 256 || lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  if (!seen->insert({st.st_dev, st.st_ino}).second) return 0;
  QDir dir(path);
  quint64 sum = 0;
  for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Unsorted)) {
    if (!f.isSymLink()) sum += static_cast<quint64>(f.size());
  }
  for (const QFileInfo& d : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted)) {
    if (!d.isSymLink()) sum += SumFolder(d.filePath(), seen, depth + 1);
  }
  return sum;
}

}  // namespace

quint64 GetFolderSize(const QString& path, bool isFolder) {
  QString folder = path;
  if (!isFolder) {
    folder = GetExecutableFolder(path);
    if (folder.isEmpty()) return 0;
  }
  std::set<FileId> seen;
  return SumFolder(folder, &seen, 0);
}
