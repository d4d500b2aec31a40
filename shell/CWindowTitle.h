// Title bar of the main window: logo, product caption and the buttons for the
// erasure method, the erasure history, the options menu, minimise and close.
// It drags the window; a double click changes nothing.
#pragma once

#include "CTitleBarBase.h"

class QLabel;

class CWindowTitle : public CTitleBarBase {
  Q_OBJECT
 public:
  explicit CWindowTitle(QWidget* parent = nullptr);
  ~CWindowTitle() override;

  void ResetCaption();

  CTitleBtn* MethodButton() const { return m_method; }
  CTitleBtn* HistoryButton() const { return m_history; }
  CTitleBtn* MenuButton() const { return m_menu; }
  QWidget* MinimizeButton() const { return m_min; }
  QLabel* CaptionLabel() const { return m_caption; }

  int ReceiveMsg(__MsgData msg) override;

 public Q_SLOTS:
  void OnBtnClicked();
  void MethodClicked();
  void HistoryClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  CTitleBtn* m_menu = nullptr;
  CTitleBtn* m_method = nullptr;
  CTitleBtn* m_history = nullptr;
  QLabel* m_caption = nullptr;
};
