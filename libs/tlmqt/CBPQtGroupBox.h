// Group box that paints its own background (title bars draw on it).
#pragma once

#include <QGroupBox>

class CBPQtGroupBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit CBPQtGroupBox(QWidget* parent = nullptr);
  ~CBPQtGroupBox() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
