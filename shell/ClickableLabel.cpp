#include "ClickableLabel.h"

#include <QMouseEvent>

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  event->accept();
  Q_EMIT clicked();
}
