#include "ErrorIniFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "UiConfig.h"

const ErrorIniFiles& ErrorIniFiles::Get() {
  static const ErrorIniFiles files = [] {
    const QString parent = QFileInfo(GetExeDir()).path();
    return ErrorIniFiles(parent + QStringLiteral("/string/errorindex.ini"), parent + QStringLiteral("/string/error_zq.ini"));
  }();
  return files;
}

ErrorIniFiles::ErrorIniFiles(QString indexPath, QString textPath)
    : m_indexPath(std::move(indexPath)), m_textPath(std::move(textPath)) {}

bool ErrorIniFiles::LookupErrorKey(quint64 code, QString* key) const {
  const QString name = QStringLiteral("QRT_ERR_CODE(0x%1)").arg(code & 0xFFFF, 0, 16);
  *key = ReadProfileString(m_indexPath, QStringLiteral("code"), name, 200);
  return !key->isEmpty();
}

bool ErrorIniFiles::ReadErrorText(quint64 code, QString* text) const {
  text->clear();
  QString key;
  if (LookupErrorKey(code, &key)) *text = ReadProfileString(m_textPath, QStringLiteral("error"), key, 500);
  return !text->isEmpty();
}

QString FormatErrorText(quint64 code, const ErrorIniFiles& files) {
  if ((code & 0xFFFF) == 7) return QString();
  QString text;
  files.ReadErrorText(code, &text);
  QString out = QStringLiteral("(0x%1): ").arg(code, 0, 16);
  if (text.isEmpty())
    out += QCoreApplication::translate("ErrorIniFiles", "Operation failed. Please check the settings and try again.");
  else
    out += text;
  return out;
}

QString ReadProfileString(const QString& path, const QString& section, const QString& key, int maxChars) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
  QTextStream in(&file);
  in.setCodec("UTF-8");
  bool inSection = false;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      const int close = line.indexOf(QLatin1Char(']'));
      inSection = close > 0 && line.mid(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    if (!inSection || line.startsWith(QLatin1Char(';'))) continue;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0) continue;
    return line.mid(eq + 1).trimmed().left(maxChars);
  }
  return QString();
}
