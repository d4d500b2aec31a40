#include "CLeftContent.h"

#include <QVBoxLayout>

#include "CBPNotifyCentor.h"
#include "CLeftTools.h"
#include "MsgDefine.h"

CLeftContent::CLeftContent(QWidget* parent)
    : CBPQtWidget(parent), CBPMsgReceiver(CBPNotifyCentor::instance(), MSG_HIDE_LEFT_PANE) {
  setObjectName(QStringLiteral("LeftContent"));
  setAttribute(Qt::WA_StyledBackground, true);
  setStyleSheet(QStringLiteral("#LeftContent{background-color:rgb(42,48,78);}"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 2);
  m_tools = new CLeftTools;
  layout->addLayout(m_tools);
  setFixedWidth(249);
}

CLeftContent::~CLeftContent() = default;

int CLeftContent::ReceiveMsg(__MsgData msg) {
  if (msg.id == MSG_HIDE_LEFT_PANE) hide();
  return 0;
}
