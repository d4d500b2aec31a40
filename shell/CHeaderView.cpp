#include "CHeaderView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "CBPNotifyCentor.h"
#include "MsgDefine.h"

CHeaderView::CHeaderView(Qt::Orientation orientation, QWidget* parent, bool withCheckBox)
    : QHeaderView(orientation, parent), m_withCheckBox(withCheckBox) {
  SetNotifyCentor(CBPNotifyCentor::instance());
  RegisterMsg(MSG_SET_HEADER_CHECK);
}

bool CHeaderView::SortFlag(int section) const { return section >= 1 && section <= 3 && m_sort[section - 1]; }

bool CHeaderView::ArrowShown(int section) const { return section >= 1 && section <= 3 && m_arrow[section - 1]; }

QString CHeaderView::CheckImage() const {
  switch (m_checkState) {
    case 0: return QStringLiteral("./Resources/checkbox_no.png");
    case 1: return QStringLiteral("./Resources/checkbox_semi_election.png");
    default: return QStringLiteral("./Resources/checkbox_yes.png");
  }
}

QString CHeaderView::ArrowImage(int section) const {
  // Section 2 shows its arrows the other way round.
  const bool ascending = section == 2 ? !SortFlag(section) : SortFlag(section);
  return ascending ? QStringLiteral("./Resources/arrow_ascending.png") : QStringLiteral("./Resources/arrow_descending.png");
}

int CHeaderView::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_SET_HEADER_CHECK && msg.data && msg.size >= sizeof(int32_t)) {
    m_checkState = static_cast<const HeaderCheckMsgData*>(msg.data)->checkState;
    updateSection(0);
  }
  return 0;
}

void CHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  painter->save();
  QHeaderView::paintSection(painter, rect, logicalIndex);
  painter->restore();
  if (!m_withCheckBox) return;
  if (logicalIndex == 0) {
    const QPixmap box(CheckImage());
    painter->save();
    painter->drawPixmap(CheckBoxRect().topLeft(), box);
    painter->restore();
  } else if (logicalIndex >= 1 && logicalIndex <= 3) {
    int x = 10;
    for (int i = 0; i <= logicalIndex; ++i) x += sectionSize(i);
    if (m_arrow[logicalIndex - 1]) {
      const QPixmap arrow(ArrowImage(logicalIndex));
      painter->save();
      painter->drawPixmap(x - 25, 10, arrow);
      painter->restore();
    }
  }
}

void CHeaderView::SortClicked(int section) {
  for (int i = 1; i <= 3; ++i) {
    if (i == section) {
      m_sort[i - 1] = !m_sort[i - 1];
    } else {
      m_sort[i - 1] = false;
    }
    m_arrow[i - 1] = i == section;
  }
  for (int i = 3; i >= 0; --i) {
    if (i != section) updateSection(i);
  }
}

void CHeaderView::mousePressEvent(QMouseEvent* event) {
  if (!m_withCheckBox) {
    QHeaderView::mousePressEvent(event);
    return;
  }
  if (CheckBoxRect().contains(event->pos())) {
    m_checkState = m_checkState == 2 ? 0 : 2;
    updateSection(0);
    HeaderCheckMsgData record;
    record.checkState = m_checkState;
    SendBusMsg(MSG_HEADER_CHECK_TOGGLED, record);
    return;
  }
  const int section = visualIndexAt(event->pos().x());
  if (section >= 1 && section <= 3) SortClicked(section);
  QHeaderView::mousePressEvent(event);
}
