// The modal progress dialog of a free-space wipe: a thin shell over
// CWipeFreeSpaceRun. It starts the run on its own thread with CUIPublic's
// pass count, follows it over the bus (MSG_WIPE_FREESPACE_START, _PROGRESS,
// _DONE) and closes when the run has ended. Cancel, Escape and the title
// bar's close button ask the run to stop; the run removes its filler first.
//
// The page's order: construct → SetPartition → SetFileSystem (and
// ExpectIdentity) → StartWipe → exec() → GetResult.
#pragma once

#include <cstdint>
#include <string>

#include "CRunProgressDlg.h"
#include "CRoundBtn.h"
#include "CFreeSpaceBusObserver.h"
#include "CWipeFreeSpaceRun.h"

class CProgressWidget;
class QLabel;
class CRoundBtn;

class CEraseFreeSpaceProgressDlg : public CRunProgressDlg {
  Q_OBJECT
 public:
  explicit CEraseFreeSpaceProgressDlg(QWidget* parent = nullptr);
  ~CEraseFreeSpaceProgressDlg() override;  // stops and waits for a run still going

  void SetPartition(char driveLetter, int diskNumber, uint64_t startSector);
  // The file system our analysers found (chooses the scrub), and whether the
  // volume has several extents (never scrubbed then).
  void SetFileSystem(EFileSystemType type, bool multiExtent = false);
  void SetVolumeLabel(const std::string& label) { m_run.SetVolumeLabel(label); }
  void ExpectIdentity(const platform::VolumeExpectation& expect) { m_run.ExpectIdentity(expect); }
  // Builds the body and starts the run.
  void StartWipe();
  // The run's EraseResult (free-space mode) once its done message arrived.
  int GetResult() const { return m_result; }

  // "GB", "MB" or "KB" and the scaled value of `bytes`.
  static void CalcSizeUnit(uint64_t bytes, double* value, QString* unit);

  CWipeFreeSpaceRun& Run() { return m_run; }
  CFreeSpaceBusObserver& Observer() { return m_observer; }
  CProgressWidget* Progress() const { return m_progress; }
  CRoundBtn* CancelButton() const { return m_cancel; }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void CancelRun() override { m_run.Cancel(); }
  QWidget* CancelWidget() const override { return m_cancel; }

 private:
  void InitUI();

  char m_letter = 0;
  int m_diskNumber = -1;
  uint64_t m_startSector = 0;
  EFileSystemType m_type = EFileSystemType::Unknown;
  CFreeSpaceBusObserver m_observer;
  CWipeFreeSpaceRun m_run;  // after the observer: its thread goes first
  int m_result = 0;
  CProgressWidget* m_progress = nullptr;
  CRoundBtn* m_cancel = nullptr;
};
