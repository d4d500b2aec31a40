#include "FileTypeIcons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace {

const QString kUnknownExt = QStringLiteral(".UnknownExt");

QMimeType MimeOf(const QString& ext) {
  static const QMimeDatabase db;
  return db.mimeTypeForFile(QStringLiteral("file") + ext, QMimeDatabase::MatchExtension);
}

}  // namespace

QString FileTypeIconKey(const QString& name) {
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  QString ext = QLatin1Char('.') + (dot < 0 ? name : name.mid(dot + 1));
  if (ext.size() > 5) return kUnknownExt;
  if (MimeOf(ext).isDefault()) return kUnknownExt;
  return ext;
}

QIcon GetIconForExtension(const QString& ext) {
  const QMimeType mime = MimeOf(ext);
  QIcon icon = QIcon::fromTheme(mime.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
  if (icon.isNull() && qobject_cast<QApplication*>(QCoreApplication::instance()))
    icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  return icon;
}

QString GetFileTypeName(const QString& ext) { return MimeOf(ext).comment(); }

QIcon GetCachedFileTypeIcon(QMap<QString, QIcon>* cache, const QString& name) {
  const QString key = FileTypeIconKey(name);
  auto found = cache->constFind(key);
  if (found != cache->constEnd()) return found.value();
  QIcon icon = GetIconForExtension(key);
  if (cache->size() > kMaxFileTypeIcons) cache->erase(cache->begin());
  cache->insert(key, icon);
  return icon;
}
