// Tells the message bus how a free-space wipe goes: MSG_WIPE_FREESPACE_START
// when a phase begins, MSG_WIPE_FREESPACE_PROGRESS with the pass index
// (value and extra2) as filler is written, MSG_WIPE_FREESPACE_DONE with
// value 100, the run's EraseResult and flag 1 when cancelled. The progress
// dialog asks BytesWritten()/FreeBytes() for its texts.
#pragma once

#include <atomic>
#include <cstdint>

#include "IFreeSpaceObserver.h"

class CFreeSpaceBusObserver : public IFreeSpaceObserver {
 public:
  // next (may be null) is told the same after the bus.
  explicit CFreeSpaceBusObserver(IFreeSpaceObserver* next = nullptr) : m_next(next) {}
  void Started() override;
  void Progress(int pass, uint64_t bytesWritten, uint64_t freeBytes) override;
  void Done(int result, bool cancelled) override;

  uint64_t BytesWritten() const { return m_written.load(); }
  uint64_t FreeBytes() const { return m_free.load(); }

 private:
  IFreeSpaceObserver* m_next;
  std::atomic<uint64_t> m_written{0};
  std::atomic<uint64_t> m_free{0};
};
