// Header of the list trees. With the check box it paints a tri-state
// select-all box in section 0 and sort arrows in sections 1 to 3, reports a
// click on the box with MSG_HEADER_CHECK_TOGGLED and takes the rows' state
// back from MSG_SET_HEADER_CHECK.
#pragma once

#include <QHeaderView>

#include "CBPMsgReceiver.h"

class CHeaderView : public QHeaderView, public CBPMsgReceiver {
  Q_OBJECT
 public:
  CHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr, bool withCheckBox = true);

  int CheckState() const { return m_checkState; }
  bool HasCheckBox() const { return m_withCheckBox; }
  // Sort flag and arrow visibility of section 1 to 3.
  bool SortFlag(int section) const;
  bool ArrowShown(int section) const;
  // The image painted for section 0 and for a section's arrow.
  QString CheckImage() const;
  QString ArrowImage(int section) const;
  // Where the check box is drawn and clicked.
  static QRect CheckBoxRect() { return QRect(14, 6, 14, 14); }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void SortClicked(int section);
  bool m_sort[3] = {true, false, false};
  bool m_arrow[3] = {false, false, false};
  int m_checkState = 0;
  bool m_withCheckBox;
};
