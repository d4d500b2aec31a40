#include "CBPStyleMenuItem.h"

#include <QMouseEvent>
#include <QPainter>

CBPStyleMenuItem::CBPStyleMenuItem(QString text, QString secondText, QWidget* parent)
    : QWidget(parent), m_text(std::move(text)), m_second(std::move(secondText)) {
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover);
}

CBPStyleMenuItem::~CBPStyleMenuItem() = default;

void CBPStyleMenuItem::setEnabled(bool enabled) {
  QWidget::setEnabled(enabled);
  if (!enabled) m_hover = false;
  update();
}

QSize CBPStyleMenuItem::sizeHint() const {
  QFontMetrics fm(font());
  int width = fm.horizontalAdvance(m_text) + 48;
  if (!m_second.isEmpty()) width += fm.horizontalAdvance(m_second) + 24;
  return QSize(qMax(width, 120), 32);
}

void CBPStyleMenuItem::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const bool on = isEnabled();
  if (m_hover && on) painter.fillRect(rect(), QColor(127, 207, 220));
  painter.setPen(on ? QColor(58, 70, 110) : QColor(170, 170, 170));
  QRect textRect = rect().adjusted(20, 0, -16, 0);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, m_text);
  if (!m_second.isEmpty()) painter.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, m_second);
}

void CBPStyleMenuItem::enterEvent(QEvent* event) {
  QWidget::enterEvent(event);
  m_hover = isEnabled();
  update();
}

void CBPStyleMenuItem::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  m_hover = false;
  update();
}

void CBPStyleMenuItem::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  if (isEnabled() && event->button() == Qt::LeftButton && rect().contains(event->pos())) Q_EMIT clicked();
}
