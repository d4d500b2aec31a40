// Plain styled widget base: a QWidget that honours style-sheet backgrounds.
#pragma once

#include <QWidget>

class CBPQtWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CBPQtWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~CBPQtWidget() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
