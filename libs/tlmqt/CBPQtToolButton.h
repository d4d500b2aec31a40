// Tool button with the same state tracking as CBPQtPushBtn.
#pragma once

#include <QToolButton>

#include "CBPBtnObj.h"

class CBPQtToolButton : public QToolButton {
  Q_OBJECT
 public:
  explicit CBPQtToolButton(QWidget* parent = nullptr);
  ~CBPQtToolButton() override;

  CBPBtnObj* btnObj() { return &m_obj; }
  const CBPBtnObj* btnObj() const { return &m_obj; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

  CBPBtnObj m_obj;

 private:
  void UpdateState();
  bool m_hover = false;
};
