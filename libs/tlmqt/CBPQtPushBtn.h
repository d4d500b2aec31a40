// Push button that tracks its visual state (normal, hover, pressed,
// disabled) in a CBPBtnObj and lets subclasses paint from it.
#pragma once

#include <QPushButton>

#include "CBPBtnObj.h"

class CBPQtPushBtn : public QPushButton {
  Q_OBJECT
 public:
  explicit CBPQtPushBtn(QWidget* parent = nullptr);
  CBPQtPushBtn(QString text, QWidget* parent = nullptr);
  ~CBPQtPushBtn() override;

  CBPBtnObj* btnObj() { return &m_obj; }
  const CBPBtnObj* btnObj() const { return &m_obj; }
  // Makes this the dialog's default button (Enter presses it).
  void setAsDefaultBtn(bool on = true);

 protected:
  // Subclasses paint here; returning false falls back to the plain button.
  virtual bool paintDerived(QPainter* painter);
  void paintEvent(QPaintEvent* event) override;
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
