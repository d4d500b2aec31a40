// Icons and type names of file extensions, from the MIME database and the
// desktop's icon theme, with the bounded cache the file lists share.
#pragma once

#include <QIcon>
#include <QMap>
#include <QString>

// ".ext" of a file name (the whole name after "." when it has no dot);
// ".UnknownExt" when longer than 5 characters or unknown to the MIME database.
QString FileTypeIconKey(const QString& name);
// The theme icon of an extension's MIME type (a generic file icon when the
// theme has none).
QIcon GetIconForExtension(const QString& ext);
// The MIME type's description, e.g. "plain text document".
QString GetFileTypeName(const QString& ext);
// The icon of `name`'s extension through `cache`, which never holds more
// than kMaxFileTypeIcons + 1 entries (the smallest key goes first).
constexpr int kMaxFileTypeIcons = 500;
QIcon GetCachedFileTypeIcon(QMap<QString, QIcon>* cache, const QString& name);
