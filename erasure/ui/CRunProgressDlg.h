// What the three progress dialogs of the erase runs share: Cancel, Escape
// and the title bar's close button all ask the run to stop (the dialog then
// waits for the run to end), and Escape closes the dialog only before the
// run started or after it ended.
#pragma once

#include "CBaseDialog.h"

class CRoundBtn;
class QLabel;

class CRunProgressDlg : public CBaseDialog {
  Q_OBJECT
 public:
  explicit CRunProgressDlg(QWidget* parent = nullptr);
  ~CRunProgressDlg() override;

  bool IsDone() const { return m_done; }
  QLabel* StatusLabel() const { return m_status; }

 public Q_SLOTS:
  void OnCancelWipe();
  void reject() override;

 protected:
  // Asks the run to stop; called once per cancel request.
  virtual void CancelRun() = 0;
  // The Cancel button, hidden while the run winds down.
  virtual QWidget* CancelWidget() const = 0;
  // The round Cancel button of the partition and free-space dialogs.
  CRoundBtn* MakeRoundCancelButton();

  bool m_started = false;
  bool m_done = false;
  QLabel* m_status = nullptr;
};
