#include "CTitleBtn.h"

#include <QPainter>

#include "UiHelpers.h"

CTitleBtn::CTitleBtn(QWidget* parent) : CBPQtToolButton(parent) {
  const QVector<QColor> dark(4, QColor(42, 48, 78));
  m_obj.setBgColor(dark);
  m_obj.setFrmColor(dark);
  setFocusPolicy(Qt::NoFocus);
}

void CTitleBtn::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int state = m_obj.state();
  painter.setBrush(m_obj.bgColor(state));
  painter.setPen(m_obj.frmColor(state));
  const QPixmap pixmap = icon().pixmap(iconSize(), StateIconMode(state), QIcon::Off);
  if (pixmap.isNull()) return;
  const QSize size = pixmap.size() / pixmap.devicePixelRatio();
  painter.drawPixmap((width() - size.width()) / 2, (height() - size.height()) / 2, pixmap);
}
