// A label that emits clicked() on a press of any mouse button.
#pragma once

#include <QLabel>

class ClickableLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickableLabel(const QString& text = QString(), QWidget* parent = nullptr);

 Q_SIGNALS:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};
