#include "CRightBtn.h"

#include <QMouseEvent>
#include <QPainter>

#include "UiHelpers.h"

CRightBtn::CRightBtn(QWidget* parent) : CBPQtPushBtn(parent) {
  m_obj.setTextColor(QVector<QColor>(4, QColor(255, 158, 0)));
  m_obj.setBgColor(QVector<QColor>(4, Qt::white));
  m_obj.setFrmColor(QVector<QColor>(4, QColor(255, 0, 0)));
  setFixedSize(70, 25);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CRightBtn::SetSelected(bool selected) {
  m_selected = selected;
  repaint();
}

void CRightBtn::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_selected = true;
  CBPQtPushBtn::mousePressEvent(event);
}

bool CRightBtn::paintDerived(QPainter* painter) {
  int state = m_obj.state();
  QIcon::Mode mode = StateIconMode(state);
  if (m_selected) {
    state = 1;
    mode = QIcon::Active;
  }
  QRect r = rect();
  r.setLeft(1);
  r.setRight(70);
  r.setBottom(25);
  painter->setPen(Qt::white);
  painter->setBrush(Qt::white);
  painter->drawRect(r);
  const QPixmap pixmap = icon().pixmap(GetIconActualSize(icon()), mode, QIcon::Off);
  int pixW = 0;
  if (!pixmap.isNull()) {
    painter->drawPixmap(1, 2, pixmap);
    pixW = pixmap.width() / static_cast<int>(pixmap.devicePixelRatio());
  }
  QFont font(QStringLiteral("Segoe UI"));
  font.setPixelSize(12);
  painter->setFont(font);
  painter->setPen(m_obj.textColor(state));
  QRect textRect = r;
  textRect.setLeft(r.left() + pixW + 7);
  textRect.setRight(70);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text());
  return true;
}
