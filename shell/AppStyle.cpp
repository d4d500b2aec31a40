#include "AppStyle.h"

#include <QFile>
#include <QFont>
#include <QTextStream>

const char* const kBaseStyleRule = "*{font-size:14px;font-family:\"Segoe UI\";}\r\n";

QString BuildStyleSheet(const QString& qssPath) {
  QString sheet = QString::fromLatin1(kBaseStyleRule);
  QFile file(qssPath);
  if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    QTextStream in(&file);
    in.setCodec("UTF-8");
    sheet += in.readAll();
  }
  return sheet;
}

void InstallFontSubstitutes() {
  QFont::insertSubstitutions(QStringLiteral("Segoe UI"),
                             {QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                              QStringLiteral("Sans Serif")});
}
