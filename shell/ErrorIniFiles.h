// Display texts of error codes, from two ini files in the "string" folder
// beside the program folder: errorindex.ini maps "QRT_ERR_CODE(0x%x)" (low 16
// bits) to a text key, error_zq.ini maps that key to the text.
#pragma once

#include <QString>

class ErrorIniFiles {
 public:
  // The process-wide pair, built on first use.
  static const ErrorIniFiles& Get();
  ErrorIniFiles(QString indexPath, QString textPath);

  const QString& IndexPath() const { return m_indexPath; }
  const QString& TextPath() const { return m_textPath; }
  // The text key of `code` from section "code" of errorindex.ini.
  bool LookupErrorKey(quint64 code, QString* key) const;
  // The text of `code` (empty when either file lacks it).
  bool ReadErrorText(quint64 code, QString* text) const;

 private:
  QString m_indexPath;
  QString m_textPath;
};

// "(0x<code>): " followed by the code's text or the general failure text;
// empty for codes whose low 16 bits are 7.
QString FormatErrorText(quint64 code, const ErrorIniFiles& files = ErrorIniFiles::Get());
// One value of a Windows-style ini file: section and key compared without
// regard to case, value trimmed, `maxChars` at most.
QString ReadProfileString(const QString& path, const QString& section, const QString& key, int maxChars);
