#include "CBPQtTabWidget.h"

CBPQtTabWidget::CBPQtTabWidget(QWidget* parent) : QTabWidget(parent) {}

CBPQtTabWidget::~CBPQtTabWidget() = default;
