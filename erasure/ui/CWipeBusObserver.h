// Tells the message bus how a wipe run goes: a progress message before each
// write {value = pass, extra2 = pass, extra1 = 1 while the last pass is read
// back} and one done message at the end {value 100, code = the run's
// EraseResult}. The ids are the run's own (the partition wipe sends
// MSG_WIPE_PARTITION_PROGRESS and MSG_WIPE_PARTITION_DONE).
#pragma once

#include <cstdint>

#include "IWipeObserver.h"

class CWipeBusObserver : public IWipeObserver {
 public:
  // next (may be null) is told the same after the bus.
  CWipeBusObserver(uint32_t progressId, uint32_t doneId, IWipeObserver* next = nullptr)
      : m_progressId(progressId), m_doneId(doneId), m_next(next) {}
  void Progress(int pass, uint64_t sectorsDone, bool verifying) override;
  void Done(int result, bool cancelled) override;

 private:
  uint32_t m_progressId;
  uint32_t m_doneId;
  IWipeObserver* m_next;
};
