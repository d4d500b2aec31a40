#include "CBPQtGroupBox.h"

#include <QPainter>
#include <QStyleOption>

CBPQtGroupBox::CBPQtGroupBox(QWidget* parent) : QGroupBox(parent) { setFlat(true); }

CBPQtGroupBox::~CBPQtGroupBox() = default;

void CBPQtGroupBox::paintEvent(QPaintEvent*) {
  QStyleOption option;
  option.initFrom(this);
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
