// Base of every dialog: the painted frame and title bar of CWinDlgFrm, a bus
// receiver joined to the centre and the program's window icon.
#pragma once

#include <QVector>

#include "CWinDlgFrm.h"

class CTitleBtn;

class CBaseDialog : public CWinDlgFrm {
  Q_OBJECT
 public:
  explicit CBaseDialog(QWidget* parent = nullptr);
  ~CBaseDialog() override;
  bool HasEnded() const { return m_ended; }

  // A parentless icon button from four images (normal, hover, pressed,
  // disabled); the caller places it.
  static CTitleBtn* CreateIconButton(const QVector<QString>& iconFiles);

  int ReceiveMsg(__MsgData msg) override;
  void done(int result) override;

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // How the about, method and history dialogs close: their native window
  // goes away; a modal loop running on them ends too, so the opener's
  // exec() returns (with Rejected).
  void DestroyNativeWindow();

 private:
  // Set once the dialog has ended (done); a late activation of its window
  // must not bring a finished dialog back.
  bool m_ended = false;
};
