#include "DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <functional>

namespace {

// Desktop files are small; a larger file is not one.
constexpr qint64 kMaxKeyFileBytes = 1 << 20;

// Calls `visit` with every group, key and raw value of a key file (comments
// and blank lines skipped). False when the file cannot be read.
bool ForEachKey(const QString& path, const std::function<void(const QString&, const QString&, const QString&)>& visit) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxKeyFileBytes) return false;
  const QByteArray bytes = file.read(kMaxKeyFileBytes);
  QString group;
  for (const QByteArray& raw : bytes.split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
      group = line.mid(1, line.size() - 2);
      continue;
    }
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    visit(group, line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
  }
  return true;
}

QString Unescape(const QString& value) {
  QString out;
  out.reserve(value.size());
  for (int i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c != QLatin1Char('\\') || i + 1 == value.size()) {
      out += c;
      continue;
    }
    switch (value[++i].toLatin1()) {
      case 's':
        out += QLatin1Char(' ');
        break;
      case 'n':
        out += QLatin1Char('\n');
        break;
      case 't':
        out += QLatin1Char('\t');
        break;
      case 'r':
        out += QLatin1Char('\r');
        break;
      default:
        out += value[i];
        break;
    }
  }
  return out;
}

bool IsTrue(const QString& value) {
  return value == QLatin1String("true");
}

void CollectEntries(const QString& folder, const QString& prefix, int depth, std::vector<DesktopEntry>* out) {
  if (depth > 8) return;
  const QDir dir(folder);
  for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    if (info.isDir()) {
      if (!info.isSymLink())
        CollectEntries(info.filePath(), prefix + info.fileName() + QLatin1Char('-'), depth + 1, out);
      continue;
    }
    if (!info.fileName().endsWith(QLatin1String(".desktop"))) continue;
    DesktopEntry entry;
    if (!ReadDesktopEntry(info.filePath(), &entry)) continue;
    entry.id = prefix + info.fileName();
    out->push_back(entry);
  }
}

}  // namespace

bool DesktopEntry::IsVisibleApplication() const {
  return type == QLatin1String("Application") && !name.isEmpty() && !noDisplay && !hidden;
}

bool ReadDesktopEntry(const QString& path, DesktopEntry* entry) {
  bool found = false;
  DesktopEntry read;
  read.path = path;
  read.id = QFileInfo(path).fileName();
  const bool opened = ForEachKey(path, [&](const QString& group, const QString& key, const QString& value) {
    if (group != QLatin1String("Desktop Entry")) return;
    found = true;
    if (key == QLatin1String("Type"))
      read.type = Unescape(value);
    else if (key == QLatin1String("Name"))
      read.name = Unescape(value);
    else if (key == QLatin1String("Icon"))
      read.icon = Unescape(value);
    else if (key == QLatin1String("NoDisplay"))
      read.noDisplay = IsTrue(value);
    else if (key == QLatin1String("Hidden"))
      read.hidden = IsTrue(value);
  });
  if (!opened || !found) return false;
  *entry = read;
  return true;
}

std::vector<DesktopEntry> ListDesktopEntries(const QString& folder) {
  std::vector<DesktopEntry> entries;
  CollectEntries(folder, QString(), 0, &entries);
  std::sort(entries.begin(), entries.end(), [](const DesktopEntry& a, const DesktopEntry& b) { return a.id < b.id; });
  return entries;
}

std::vector<MimeAssociation> ReadMimeAppsList(const QString& path) {
  std::vector<MimeAssociation> found;
  ForEachKey(path, [&](const QString& group, const QString& key, const QString& value) {
    for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
      if (!id.trimmed().isEmpty()) found.push_back({group, key, id.trimmed()});
  });
  return found;
}
