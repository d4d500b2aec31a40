// The about box: product picture, name, version, web link and legal notice.
#pragma once

#include "CBaseDialog.h"

class CBPQtHyperLink;

class CAboutDlg : public CBaseDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  void InitUI();
  CBPQtHyperLink* Link() const { return m_link; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnLinkClicked();

 private:
  CBPQtHyperLink* m_link = nullptr;
};
