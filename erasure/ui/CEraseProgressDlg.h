// The modal progress dialog of a file and folder erase: a thin shell over
// CEraseFilesRun. It starts the run on its own thread with the method the
// user chose, follows it over the bus (MSG_ERASE_FILES_PROGRESS and
// MSG_ERASE_FILES_DONE) and closes a second after the run's end. Cancel,
// Escape and the title bar's close button ask the run to stop; the dialog
// stays until the run has ended.
#pragma once

#include <string>
#include <vector>

#include <QPushButton>

#include "CRunProgressDlg.h"
#include "CEraseBusObserver.h"
#include "CEraseFilesRun.h"
#include "EraseItem.h"

class CProgressWidget;
class QLabel;
class QPushButton;
class QTimer;

class CEraseProgressDlg : public CRunProgressDlg {
  Q_OBJECT
 public:
  explicit CEraseProgressDlg(QWidget* parent = nullptr);
  ~CEraseProgressDlg() override;  // stops and waits for a run still going

  void SetItems(const std::vector<EraseItem>& files, const std::vector<EraseItem>& folders);
  // Builds the body and starts the run with CUIPublic's pass count.
  void StartErase();
  // True when the run was not cancelled.
  bool IsCompleted() const { return !m_run.IsCancelled(); }
  // The run's EraseResult, once its done message has arrived: 0 completed,
  // ERASE_FILES_CANCELLED, or ERASE_FILES_ITEMS_FAILED when an item stayed.
  int Result() const { return m_result; }

  // The run itself (its overwriter, its pauses) for tests and diagnostics;
  // change it only before StartErase.
  CEraseFilesRun& Run() { return m_run; }
  // The wait between the run's end and the dialog's close (default 1000 ms).
  void SetCloseDelay(int ms) { m_closeDelayMs = ms; }

  CProgressWidget* Progress() const { return m_progress; }
  QPushButton* CancelButton() const { return m_cancel; }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void CancelRun() override { m_run.Cancel(); }
  QWidget* CancelWidget() const override { return m_cancel; }

 private:
  void CreateBody();

  std::vector<EraseItem> m_files;
  std::vector<EraseItem> m_folders;
  CEraseBusObserver m_observer;
  CEraseFilesRun m_run;  // after the observer: its thread goes first
  int m_result = 0;
  int m_closeDelayMs = 1000;
  CProgressWidget* m_progress = nullptr;
  QPushButton* m_cancel = nullptr;
};
