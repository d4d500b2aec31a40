// Entry of the navigation column: a filled rectangle, an icon and a text
// that is bold while the entry's page is shown. A plain entry opens a
// dialog and never stays selected.
#pragma once

#include "CBPQtPushBtn.h"

class CLeftBtn : public CBPQtPushBtn {
  Q_OBJECT
 public:
  CLeftBtn(bool plain, int fontPixelSize, QWidget* parent = nullptr);
  void SetSelected(bool selected);
  bool IsSelected() const { return m_selected; }

 protected:
  bool paintDerived(QPainter* painter) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool m_selected = false;
  bool m_plain;
  int m_fontPixelSize;
};
