// What the three erase runs (files and folders, partition, free space) have
// in common, without any window: the thread a run may go on, the cancel
// flag, the observer told of its end, its outcome (an EraseResult of the
// run's mode and, for a failure, why), and its row or rows in the erasure
// history, written by the run itself in one way, before the observer hears
// of the end.
//
// A derived run does its work in Execute and names its history rows in
// HistoryRows. Its destructor ends a started run (Join or CancelAndJoin)
// while its own members are still there.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "EraseItem.h"
#include "IEraseRunObserver.h"

class CEraseRun {
 public:
  virtual ~CEraseRun();
  CEraseRun(const CEraseRun&) = delete;
  CEraseRun& operator=(const CEraseRun&) = delete;

  // The method's pass count (1, 3, 7 or 35; anything else counts as 1).
  void SetPasses(int passes);
  int Passes() const { return m_passes; }
  // Whether the method reads its last pass back.
  bool Verifies() const;
  // The history file; empty (the default) writes no history. The program's
  // dialogs give CHistoryDataBase::DefaultPath().
  void SetHistoryPath(const std::string& path) { m_historyPath = path; }
  // The label of the volume a disk run works on, for its history row.
  void SetVolumeLabel(const std::string& label) { m_volumeLabel = label; }

  // Runs on the calling thread until the run has ended: the work, the
  // history rows, then the observer's Done.
  void Run();
  // Runs on a thread of its own; Join waits for it.
  void Start();
  void Join();

  // Any thread: asks the run to stop.
  void Cancel() { m_cancel.store(1); }
  bool IsCancelled() const { return m_cancel.load() != 0; }
  std::atomic<int>& CancelFlag() { return m_cancel; }
  // True once the run has ended (its result is final and its history row
  // written); set before the observer's Done.
  bool IsFinished() const { return m_finished.load(); }

  // After the run: its EraseResult (in the run's mode), why it failed
  // (empty when it did not), and the time text of its history rows.
  int Mode() const { return m_mode; }
  int Result() const { return m_result; }
  const std::string& Message() const { return m_message; }
  const std::string& TimeText() const { return m_time; }

 protected:
  // mode: ERASE_MODE_FILES, ERASE_MODE_PARTITION or ERASE_MODE_FREESPACE.
  explicit CEraseRun(int mode);

  // The run's work; returns its EraseResult.
  virtual int Execute() = 0;
  // The rows of the run in the history (text and result; every row gets the
  // run's pass count).
  virtual std::vector<EraseItem> HistoryRows() const = 0;
  // How the run names itself in the log ("Wipe of E:").
  virtual std::string LogName() const = 0;

  // How a disk run's history row names its volume. A letter lives only as
  // long as the process that gave it, so the device node (or the image and
  // byte offset of a window) and the label follow it:
  // "D (/dev/loop3p1, VTPAGEFAT)"; the letter alone when it no longer
  // resolves.
  std::string VolumeHistoryName(char letter) const;

  // Notes why the run ends with `result`, logs it, and returns `result`.
  int Fail(int result, const std::string& why);
  // Asks a started run that has not ended to stop, then waits for it.
  void CancelAndJoin();

  // The observer, set by the derived run's SetObserver with its own kind.
  void SetRunObserver(IEraseRunObserver* observer) { m_observer = observer; }
  IEraseRunObserver* RunObserver() const { return m_observer; }

 private:
  const int m_mode;
  int m_passes = 1;
  std::string m_historyPath;
  std::string m_volumeLabel;
  IEraseRunObserver* m_observer = nullptr;
  std::atomic<int> m_cancel{0};
  std::atomic<bool> m_finished{false};
  int m_result = 0;
  std::string m_message;
  std::string m_time;
  std::thread m_thread;
};
