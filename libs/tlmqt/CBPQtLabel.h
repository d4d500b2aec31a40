// Plain label; emits clicked() when released under the mouse.
#pragma once

#include <QLabel>

class CBPQtLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CBPQtLabel(const QString& text, QWidget* parent = nullptr);
  explicit CBPQtLabel(QWidget* parent = nullptr);
  ~CBPQtLabel() override;

 Q_SIGNALS:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
