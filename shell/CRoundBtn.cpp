#include "CRoundBtn.h"

#include <QPainter>

#include "UiHelpers.h"

CRoundBtn::CRoundBtn(int cornerRadius, QWidget* parent) : CBPQtToolButton(parent), m_radius(cornerRadius) {}

void CRoundBtn::SetColors(const QVector<QColor>& colors) {
  m_obj.setBgColor(colors);
  m_obj.setFrmColor(colors);
  setFocusPolicy(Qt::NoFocus);
  update();
}

void CRoundBtn::SetText(const QString& text, const QColor& color) {
  m_text = text;
  m_textColor = color;
  update();
}

void CRoundBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing);
  const int state = m_obj.state();
  painter.setBrush(m_obj.bgColor(state));
  QPen pen(m_obj.frmColor(state));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  painter.drawRoundedRect(rect(), m_radius, m_radius, Qt::AbsoluteSize);
  QRect textRect = rect();
  const QPixmap pixmap = icon().pixmap(iconSize(), StateIconMode(state), QIcon::Off);
  if (!pixmap.isNull()) {
    const QSize size = pixmap.size() / pixmap.devicePixelRatio();
    painter.drawPixmap((width() - size.width()) / 2 - size.width(), (height() - size.height()) / 2, pixmap);
    textRect.setLeft(textRect.left() + 30);
  }
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(15);
  painter.setFont(font);
  painter.setPen(m_textColor);
  painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter, m_text);
}
