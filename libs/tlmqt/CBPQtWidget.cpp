#include "CBPQtWidget.h"

#include <QPainter>
#include <QStyleOption>

CBPQtWidget::CBPQtWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

CBPQtWidget::~CBPQtWidget() = default;

void CBPQtWidget::paintEvent(QPaintEvent*) {
  // A plain QWidget subclass ignores style-sheet backgrounds unless it draws
  // the primitive itself.
  QStyleOption option;
  option.initFrom(this);
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
