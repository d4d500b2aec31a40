#include "UiHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <set>
#include <utility>

QString FormatSizeText(quint64 bytes) {
  if (bytes == 0) return QString();
  const double d = static_cast<double>(bytes);
  if (d > 1073741824.0) return QStringLiteral("%1 GB").arg(d / 1073741824.0, 0, 'f', 2);
  if (d > 1048576.0) return QStringLiteral("%1 MB").arg(d / 1048576.0, 0, 'f', 2);
  return QStringLiteral("%1 KB").arg(d / 1024.0, 0, 'f', 2);
}

int SizeColumnWidth(QWidget* view, const QStringList& others) {
  view->ensurePolished();
  const QFontMetrics metrics(view->font());
  int widest = 0;
  for (const char* unit : {"KB", "MB", "GB"})
    widest = std::max(widest, metrics.horizontalAdvance(QStringLiteral("88888.88 %1").arg(QLatin1String(unit))));
  for (const QString& text : others) widest = std::max(widest, metrics.horizontalAdvance(text));
  // The view's text margins on both sides of the cell.
  return widest + 16;
}

void FitWrappedLabelHeight(QLabel* label) {
  if (!label || !label->wordWrap()) return;
  label->ensurePolished();
  const int need =
      label->heightForWidth(label->maximumWidth() < QWIDGETSIZE_MAX ? label->maximumWidth() : label->width());
  if (need > label->minimumHeight()) label->setMinimumHeight(need);
}

QString GetAlgorithmName(uint passes) {
  switch (passes) {
    case 3: return QStringLiteral("U.S Army AR380-19");
    case 7: return QStringLiteral("DoD 5220.22-M ECE");
    case 35: return QStringLiteral("Peter Gutmann's algorithm");
    default: return QStringLiteral("HMG Infosec Standard 5");
  }
}

QString GetFileNameFromPath(const QString& path) {
  if (path.size() == 3) return path;
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::string StripIconPath(std::string location) {
  const size_t comma = location.find(',');
  if (comma != std::string::npos) location.erase(comma);
  for (size_t quote = location.find('"'); quote != std::string::npos; quote = location.find('"')) {
    if (quote == 0)
      location.erase(0, 1);
    else
      location.erase(quote);
  }
  return location;
}

std::string GetExeBaseName(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  const std::string last = sep == std::string::npos ? path : path.substr(sep + 1);
  if (last.size() < 5) return std::string();
  return last.substr(0, last.size() - 4);
}

std::string GetParentFolder(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(0, sep);
}

QString StripTrailingChar(const QString& text, char ch, bool again) {
  QString out = text;
  if (out.endsWith(QLatin1Char(ch))) {
    out.chop(1);
    if (again && out.endsWith(QLatin1Char('\\'))) out.chop(1);
  }
  return out;
}

QString StripTrailingBackslash(const QString& text) { return StripTrailingChar(text, '\\', false); }

bool IsUncPath(const QString& path) {
  return path.size() > 1 && path[0] == QLatin1Char('\\') && path[1] == QLatin1Char('\\');
}

QString ResolveRelativeToParentDir(const QString& relative) {
  if (relative.isEmpty()) return QString();
  QString base = QDir::currentPath();
  if (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
  base = base.left(base.lastIndexOf(QLatin1Char('/')) + 1);
  QString rest = relative;
  rest.remove(QStringLiteral("../"));
  return base + rest;
}

void SetWidgetFont(QWidget* w, int pixelSize) {
  if (!w) return;
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(pixelSize);
  w->setFont(font);
}

void SetWidgetTextColor(QWidget* w, const QColor& c) {
  if (!w) return;
  QPalette palette;
  palette.setColor(QPalette::WindowText, c);
  w->setPalette(palette);
}

QIcon MakeStateIcon(const QVector<QString>& paths) {
  QIcon icon;
  for (int i = 0; i < paths.size() && i < 4; ++i) {
    icon.addFile(paths[i], QSize(), static_cast<QIcon::Mode>(i), QIcon::Off);
    icon.addFile(paths[i], QSize(), static_cast<QIcon::Mode>(i), QIcon::On);
  }
  return icon;
}

QIcon::Mode StateIconMode(int state) {
  if (state < 0 || state > 3) return QIcon::Normal;
  return static_cast<QIcon::Mode>(state);
}

QSize GetIconActualSize(const QIcon& icon) {
  return icon.actualSize(QSize(0xffff, 0xffff), QIcon::Normal, QIcon::Off);
}

namespace {

QString ButtonStyle(const QString& kind, const QString& color) {
  static const char* const kRule =
      "QPushButton%1{border-image: url(./Resources/btns/%2%3.png);color: %4; font-family: \"Segoe "
      "UI\";font-size:13px;font-weight:500}";
  const QString rule = QString::fromLatin1(kRule);
  return rule.arg(QString(), kind, QString(), color) +
         rule.arg(QStringLiteral(":hover"), kind, QStringLiteral("_hover"), color) +
         rule.arg(QStringLiteral(":pressed"), kind, QStringLiteral("_press"), color) +
         rule.arg(QStringLiteral(":disabled"), kind, QStringLiteral("_disable"), QStringLiteral("rgb(225,231,239)"));
}

}  // namespace

QString PrimaryButtonStyle() { return ButtonStyle(QStringLiteral("btn_pri"), QStringLiteral("rgb(255,255,255)")); }

QString SecondaryButtonStyle() { return ButtonStyle(QStringLiteral("btn_sec"), QStringLiteral("rgb(2,125,255)")); }
