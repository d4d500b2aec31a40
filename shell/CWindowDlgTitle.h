// Title bar of the dialogs: logo, caption and a close button. It drags its
// dialog; its close button broadcasts MSG_TITLE_CLOSE and every open dialog
// decides what closing means for it.
#pragma once

#include "CTitleBarBase.h"

class QLabel;

class CWindowDlgTitle : public CTitleBarBase {
  Q_OBJECT
 public:
  explicit CWindowDlgTitle(QWidget* parent = nullptr);
  ~CWindowDlgTitle() override;

  // Sets the caption; an empty caption also hides the logo.
  void SetTitle(const QString& text);
  void SetCaption(const QString& text);
  void SetCaptionWhite();

  QLabel* CaptionLabel() const { return m_caption; }
  QLabel* LogoLabel() const { return m_logo; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnBtnClicked();

 private:
  QLabel* m_logo = nullptr;
  QLabel* m_caption = nullptr;
};
