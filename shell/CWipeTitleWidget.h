// Section header of the navigation column: a small caption and a line.
#pragma once

#include <QWidget>

class CWipeTitleWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CWipeTitleWidget(QWidget* parent = nullptr);
  void InitUI(const QString& title);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
