#include "CRightContent.h"

#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CRightTab.h"
#include "MsgDefine.h"
#include "PageFactories.h"

CRightContent::CRightContent(QWidget* parent) : CBPQtWidget(parent), CBPMsgReceiver(CBPNotifyCentor::instance(), MSG_SWITCH_PAGE) {
  setObjectName(QStringLiteral("RightContent"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_tab = new CRightTab;
  layout->addWidget(m_tab);
}

CRightContent::~CRightContent() = default;

void CRightContent::ShowPage(int page, int param1, int param2) {
  if (page < 0 || page >= kPageCount || !m_tab) return;
  m_previousPage = m_tab->CurrentPageId();
  m_tab->SwitchToPage(page, param1, param2);
  if ((page == kPartitionPage || page == kFreeSpacePage) && m_tab->CurrentPageId() == page) {
    bool& shown = m_diskPageShown[page - kPartitionPage];
    if (!shown) {
      shown = true;
      SendBusMsg(page == kPartitionPage ? MSG_PARTITION_RESCAN : MSG_FREESPACE_RESCAN);
    }
  }
}

int CRightContent::ReceiveMsg(__MsgData msg) {
  if (msg.id != MSG_SWITCH_PAGE) return 0;
  if (msg.data && msg.size >= sizeof(PageMsgData)) {
    const auto* record = static_cast<const PageMsgData*>(msg.data);
    ShowPage(record->page, record->param1, record->param2);
  } else {
    ShowPage(m_previousPage, -1, -1);
  }
  return 0;
}
