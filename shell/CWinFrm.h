// Frame of the main window: a frameless, translucent main window that paints
// a white rounded window with a grey body, and stacks the main title bar
// above a body layout that the main window fills. Also a bus receiver.
#pragma once

#include "CBPMsgReceiver.h"
#include "CBPQtMainWindow.h"

class CWindowTitle;
class QVBoxLayout;

class CWinFrm : public CBPQtMainWindow, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CWinFrm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
  ~CWinFrm() override;

  void InitLayout();
  CWindowTitle* TitleBar() const { return m_title; }
  QVBoxLayout* BodyLayout() const { return m_body; }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

  CWindowTitle* m_title = nullptr;
  QVBoxLayout* m_body = nullptr;
  QVBoxLayout* m_main = nullptr;
};
