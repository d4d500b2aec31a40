// White popup menu whose rows are widget actions that paint themselves.
// Used with the mouse only: keys do nothing in it.
#pragma once

#include <QMenu>

class CMenuStyle;

class CStyleMenu : public QMenu {
  Q_OBJECT
 public:
  explicit CStyleMenu(QWidget* parent = nullptr);
  ~CStyleMenu() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  CMenuStyle* m_style = nullptr;
  bool m_shift = false;
};
