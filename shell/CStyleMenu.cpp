#include "CStyleMenu.h"

#include <QKeyEvent>
#include <QPainter>

#include "CMenuStyle.h"

CStyleMenu::CStyleMenu(QWidget* parent) : QMenu(parent), m_style(new CMenuStyle) {
  setStyle(m_style);
}

// The style outlives nothing that uses it once the menu is gone.
CStyleMenu::~CStyleMenu() {
  setStyle(nullptr);
  delete m_style;
}

void CStyleMenu::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::NoPen);
  painter.fillRect(rect(), Qt::white);
}

void CStyleMenu::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift) m_shift = true;
  event->accept();
}

void CStyleMenu::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift) m_shift = false;
  event->accept();
}
