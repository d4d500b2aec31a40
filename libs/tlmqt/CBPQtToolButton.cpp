#include "CBPQtToolButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "BtnStateTracking.h"

CBPQtToolButton::~CBPQtToolButton() = default;

void CBPQtToolButton::UpdateState() {
  m_obj.setState(ButtonVisualState(this, m_hover));
  update();
}

void CBPQtToolButton::mousePressEvent(QMouseEvent* event) {
  QToolButton::mousePressEvent(event);
  UpdateState();
}

void CBPQtToolButton::mouseReleaseEvent(QMouseEvent* event) {
  QToolButton::mouseReleaseEvent(event);
  m_hover = CursorOverButton(this);
  UpdateState();
}

void CBPQtToolButton::enterEvent(QEvent* event) {
  m_hover = true;
  QToolButton::enterEvent(event);
  UpdateState();
}

void CBPQtToolButton::leaveEvent(QEvent* event) {
  m_hover = false;
  QToolButton::leaveEvent(event);
  UpdateState();
}

void CBPQtToolButton::focusInEvent(QFocusEvent* event) {
  QToolButton::focusInEvent(event);
  UpdateState();
}

void CBPQtToolButton::focusOutEvent(QFocusEvent* event) {
  QToolButton::focusOutEvent(event);
  UpdateState();
}

void CBPQtToolButton::changeEvent(QEvent* event) {
  QToolButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) UpdateState();
}

CBPQtToolButton::CBPQtToolButton(QWidget* parent) : QToolButton(parent) { UpdateState(); }
