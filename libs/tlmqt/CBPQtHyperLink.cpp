#include "CBPQtHyperLink.h"

#include <QMouseEvent>

CBPQtHyperLink::CBPQtHyperLink(const QString& text, QWidget* parent, Qt::WindowFlags flags)
    : QLabel(text, parent, flags) {
  setCursor(Qt::PointingHandCursor);
}

CBPQtHyperLink::~CBPQtHyperLink() = default;

void CBPQtHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->pos())) {
    QString current = text();
    Q_EMIT linkClicked(current);
  }
}
