// Splash window: one full-size picture, closed on MSG_TITLE_CLOSE.
#pragma once

#include <QDialog>

#include "CBPMsgReceiver.h"

class QLabel;
class QVBoxLayout;

class CStartDlg : public QDialog, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CStartDlg(QWidget* parent = nullptr);
  ~CStartDlg() override;
  void InitUI();
  int ReceiveMsg(__MsgData msg) override;

 private:
  QVBoxLayout* m_layout = nullptr;
  QLabel* m_picture = nullptr;
};
