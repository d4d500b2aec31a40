#include "CBPQtPushBtn.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include "BtnStateTracking.h"

CBPQtPushBtn::~CBPQtPushBtn() = default;

void CBPQtPushBtn::UpdateState() {
  m_obj.setState(ButtonVisualState(this, m_hover));
  update();
}

void CBPQtPushBtn::mousePressEvent(QMouseEvent* event) {
  QPushButton::mousePressEvent(event);
  UpdateState();
}

void CBPQtPushBtn::mouseReleaseEvent(QMouseEvent* event) {
  QPushButton::mouseReleaseEvent(event);
  m_hover = CursorOverButton(this);
  UpdateState();
}

void CBPQtPushBtn::enterEvent(QEvent* event) {
  m_hover = true;
  QPushButton::enterEvent(event);
  UpdateState();
}

void CBPQtPushBtn::leaveEvent(QEvent* event) {
  m_hover = false;
  QPushButton::leaveEvent(event);
  UpdateState();
}

void CBPQtPushBtn::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  UpdateState();
}

void CBPQtPushBtn::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  UpdateState();
}

void CBPQtPushBtn::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) UpdateState();
}

CBPQtPushBtn::CBPQtPushBtn(QWidget* parent) : QPushButton(parent) { UpdateState(); }

CBPQtPushBtn::CBPQtPushBtn(QString text, QWidget* parent) : QPushButton(text, parent) { UpdateState(); }

void CBPQtPushBtn::setAsDefaultBtn(bool on) {
  setAutoDefault(on);
  setDefault(on);
  if (on) setFocus(Qt::OtherFocusReason);
}

bool CBPQtPushBtn::paintDerived(QPainter*) { return false; }

void CBPQtPushBtn::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (paintDerived(&painter)) return;
  painter.end();
  QPushButton::paintEvent(event);
}
