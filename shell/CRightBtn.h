// Small white button with an icon and an orange text.
#pragma once

#include "CBPQtPushBtn.h"

class CRightBtn : public CBPQtPushBtn {
  Q_OBJECT
 public:
  explicit CRightBtn(QWidget* parent = nullptr);
  void SetSelected(bool selected);
  bool IsSelected() const { return m_selected; }

 protected:
  bool paintDerived(QPainter* painter) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool m_selected = false;
};
