// Flat icon button of the title bars and icon-only tool buttons: paints
// nothing but its state icon (see MakeStateIcon).
#pragma once

#include "CBPQtToolButton.h"

class CTitleBtn : public CBPQtToolButton {
  Q_OBJECT
 public:
  explicit CTitleBtn(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
