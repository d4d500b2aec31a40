// Small busy box playing an animation; closed on MSG_TITLE_CLOSE.
#pragma once

#include <QDialog>

#include "CBPMsgReceiver.h"

class QLabel;

class CRefreshDlg : public QDialog, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CRefreshDlg(QWidget* parent = nullptr);
  // Left edge at the parent's horizontal centre, vertically centred on it.
  void PlaceOnParent(QWidget* parent);
  void InitUI();
  QLabel* AnimationLabel() const { return m_label; }
  int ReceiveMsg(__MsgData msg) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* m_label = nullptr;
};
