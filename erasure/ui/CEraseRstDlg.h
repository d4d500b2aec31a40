// The small dialog shown after an erase run: a success layout for code 0
// and a failure layout for any other code, with a text chosen by the erase
// mode (EraseMode) and the run's EraseResult.
#pragma once

#include "CBaseDialog.h"

class CBPQtLabel;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

class CEraseRstDlg : public CBaseDialog {
  Q_OBJECT
 public:
  CEraseRstDlg(int width, int height, int mode, int code, QWidget* parent = nullptr);
  ~CEraseRstDlg() override;

  void InitUI();

  int Mode() const { return m_mode; }
  int Code() const { return m_code; }
  CBPQtLabel* TitleLabel() const { return m_title; }
  CBPQtLabel* TextLabel() const { return m_text; }
  QLabel* IconLabel() const { return m_icon; }
  QPushButton* CloseButton() const { return m_close; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OKClicked();

 private:
  void InitSuccessUI();
  void InitFailureUI();
  void SetSuccessText();
  void SetFailureText();
  QHBoxLayout* MakeButtonRow();

  int m_width;
  int m_height;
  int m_mode;
  int m_code;
  QVBoxLayout* m_layout = nullptr;
  QLabel* m_icon = nullptr;
  CBPQtLabel* m_title = nullptr;
  CBPQtLabel* m_text = nullptr;
  QPushButton* m_close = nullptr;
};
