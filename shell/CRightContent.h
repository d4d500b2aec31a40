// The page area: the body of the main window beside the navigation column.
// Shows the page that MSG_SWITCH_PAGE names.
#pragma once

#include "CBPMsgReceiver.h"
#include "CBPQtWidget.h"

class CRightTab;

class CRightContent : public CBPQtWidget, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CRightContent(QWidget* parent = nullptr);
  ~CRightContent() override;

  // Pages 0 to 4 (4 has no page and changes nothing); other values are
  // ignored. The first showing of the partition or free-space page sends it
  // its rescan message (MSG_PARTITION_RESCAN, MSG_FREESPACE_RESCAN).
  void ShowPage(int page, int param1, int param2);
  int ReceiveMsg(__MsgData msg) override;

  CRightTab* Tab() const { return m_tab; }
  int PreviousPage() const { return m_previousPage; }

 private:
  CRightTab* m_tab = nullptr;
  int m_previousPage = 0;
  // The disk pages that have been on show: each scans its volumes the first
  // time it shows.
  bool m_diskPageShown[2] = {false, false};
};
