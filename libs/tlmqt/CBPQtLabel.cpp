#include "CBPQtLabel.h"

#include <QMouseEvent>

CBPQtLabel::CBPQtLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

CBPQtLabel::CBPQtLabel(QWidget* parent) : QLabel(parent) {}

CBPQtLabel::~CBPQtLabel() = default;

void CBPQtLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->pos())) Q_EMIT clicked();
}
