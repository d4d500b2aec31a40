#include "ProgressBar.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kBarHeight = 12;
constexpr qreal kRadius = 5;
}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : ProgressBar(1, parent) {}

ProgressBar::ProgressBar(int showPercent, QWidget* parent) : QProgressBar(parent), m_showPercent(showPercent != 0) {
  // 30 pixels hold "100%" in the program's font; wider stand-in fonts get
  // the room they need.
  QFont font = this->font();
  font.setPixelSize(12);
  m_textWidth = qMax(30, QFontMetrics(font).horizontalAdvance(QStringLiteral("100%")) + 2);
}

void ProgressBar::SetShowPercent(bool show) {
  m_showPercent = show;
  update();
}

double ProgressBar::Ratio() const {
  if (maximum() == minimum()) return 1.0;
  return static_cast<double>(value() - minimum()) / static_cast<double>(maximum() - minimum());
}

int ProgressBar::TrackWidth() const { return m_showPercent ? width() - m_textWidth : width(); }

int ProgressBar::FilledWidth() const { return static_cast<int>(TrackWidth() * Ratio()); }

int ProgressBar::PercentShown() const { return static_cast<int>(Ratio() * 100); }

void ProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect r = rect();
  const QColor track(199, 211, 228);
  const QRect trackRect(r.left(), r.top() + r.height() / 2 - kBarHeight / 2, TrackWidth(), kBarHeight);
  painter.setBrush(track);
  painter.setPen(track);
  painter.drawRoundedRect(trackRect, kRadius, kRadius);
  QPainterPath path;
  path.addRoundedRect(QRectF(trackRect.left(), trackRect.top(), FilledWidth(), kBarHeight), kRadius, kRadius);
  painter.fillPath(path, QColor(2, 125, 255));
  if (m_showPercent) {
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(51, 51, 41));
    const QRect textRect(trackRect.left() + trackRect.width(), r.top() + r.height() / 2 - kBarHeight / 2, m_textWidth,
                         kBarHeight);
    painter.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1%").arg(PercentShown()));
  }
  painter.restore();
}
