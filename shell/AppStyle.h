// The application-wide style sheet: a base font rule, then ./QSS/kd.qss.
#pragma once

#include <QString>

// The base rule every widget gets, with its CR LF.
extern const char* const kBaseStyleRule;
// The base rule followed by the contents of `qssPath` when it can be read.
QString BuildStyleSheet(const QString& qssPath = QStringLiteral("./QSS/kd.qss"));
// "Segoe UI" is a Windows font: map it onto what this machine has.
void InstallFontSubstitutes();
