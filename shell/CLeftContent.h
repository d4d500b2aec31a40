// The widget that holds the navigation column beside the page area.
#pragma once

#include "CBPMsgReceiver.h"
#include "CBPQtWidget.h"

class CLeftTools;

class CLeftContent : public CBPQtWidget, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CLeftContent(QWidget* parent = nullptr);
  ~CLeftContent() override;

  CLeftTools* Tools() const { return m_tools; }
  // MSG_HIDE_LEFT_PANE hides the column.
  int ReceiveMsg(__MsgData msg) override;

 private:
  CLeftTools* m_tools = nullptr;
};
