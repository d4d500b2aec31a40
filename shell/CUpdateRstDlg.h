// Outcome of the update check, with an optional "Update" button that opens
// the download page. Both buttons broadcast MSG_TITLE_CLOSE.
#pragma once

#include "CBaseDialog.h"

class QLabel;
class QPushButton;

class CUpdateRstDlg : public CBaseDialog {
  Q_OBJECT
 public:
  CUpdateRstDlg(int width, int height, QWidget* parent = nullptr);
  void InitUI(const QString& text, bool warning, bool withButtons);
  QPushButton* UpdateButton() const { return m_update; }
  QPushButton* CancelButton() const { return m_cancel; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void UpdateClicked();
  void CancelClicked();

 private:
  int m_width;
  int m_height;
  QLabel* m_text = nullptr;
  QLabel* m_picture = nullptr;
  QLabel* m_icon = nullptr;
  QPushButton* m_update = nullptr;
  QPushButton* m_cancel = nullptr;
};
