// The modal progress dialog of a partition wipe: a thin shell over
// CWipePartitionRun. It starts the run on its own thread with the method
// the user chose, follows it over the bus (MSG_WIPE_PARTITION_PROGRESS and
// MSG_WIPE_PARTITION_DONE) and closes when the run has ended (the format,
// when there is one, has finished by then). Cancel, Escape and the title
// bar's close button ask the run to stop; the dialog stays until it has.
//
// The partition page: construct with the main window as parent, SetParams
// (and SetExpectedDisk / SetExtentCount from the confirmed row), StartWipe,
// exec(), GetResult() for CEraseRstDlg (mode 1) and the history row.
#pragma once

#include <QString>
#include <cstdint>

#include "CRunProgressDlg.h"
#include "CRoundBtn.h"
#include "CWipeBusObserver.h"
#include "CWipePartitionRun.h"

class CProgressWidget;
class CRoundBtn;
class QLabel;

class CErasePtProgressDlg : public CRunProgressDlg {
  Q_OBJECT
 public:
  explicit CErasePtProgressDlg(QWidget* parent = nullptr);
  ~CErasePtProgressDlg() override;  // stops and waits for a run still going

  // The confirmed volume (see CWipePartitionRun::SetParams).
  void SetParams(int sectorsPerChunk, char driveLetter, int diskNumber, uint64_t startSector, uint64_t sectorCount,
                 int bytesPerSector, uint64_t endSector);
  // The identity of the confirmed row's disk and the volume's extent count.
  void SetExpectedDisk(const platform::DiskIdentity& disk) { m_run.SetExpectedDisk(disk); }
  void SetVolumeLabel(const std::string& label) { m_run.SetVolumeLabel(label); }
  void SetExtentCount(int extents) { m_run.SetExtentCount(extents); }
  // Builds the body and starts the run with CUIPublic's pass count.
  void StartWipe();
  // The run's EraseResult, once it has ended.
  int GetResult() const { return m_result; }

  // The run itself (its formatter, for tests); change it only before StartWipe.
  CWipePartitionRun& Run() { return m_run; }
  CProgressWidget* Progress() const { return m_progress; }
  CRoundBtn* CancelButton() const { return m_cancel; }
  const QString& SizeText() const { return m_sizeText; }
  const QString& MethodName() const { return m_methodName; }

  int ReceiveMsg(__MsgData msg) override;

 protected:
  void CancelRun() override { m_run.Cancel(); }
  QWidget* CancelWidget() const override { return m_cancel; }

 private:
  void InitUI();

  CWipeBusObserver m_observer;
  CWipePartitionRun m_run;  // after the observer: its thread goes first
  QString m_sizeText;
  QString m_methodName;
  int m_result = 0;
  CProgressWidget* m_progress = nullptr;
  CRoundBtn* m_cancel = nullptr;
};
