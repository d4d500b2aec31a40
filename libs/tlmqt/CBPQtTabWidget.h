// Tab widget base of the page area.
#pragma once

#include <QTabWidget>

class CBPQtTabWidget : public QTabWidget {
  Q_OBJECT
 public:
  explicit CBPQtTabWidget(QWidget* parent = nullptr);
  ~CBPQtTabWidget() override;
};
