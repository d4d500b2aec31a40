#include "CWipeTitleWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "UiHelpers.h"

CWipeTitleWidget::CWipeTitleWidget(QWidget* parent) : QWidget(parent) { setFixedSize(249, 30); }

void CWipeTitleWidget::InitUI(const QString& title) {
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(18, 0, 16, 0);
  auto* caption = new QLabel(title);
  SetWidgetFont(caption, 12);
  SetWidgetTextColor(caption, QColor(98, 103, 133));
  auto* line = new QLabel;
  line->setPixmap(QPixmap(QStringLiteral("./Resources/Line.png")));
  layout->addWidget(caption);
  layout->addWidget(line);
  setLayout(layout);
}

void CWipeTitleWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(42, 48, 78));
  painter.setBrush(QColor(42, 48, 78));
  painter.drawRect(rect());
}
