// Tells the message bus how an erase run goes: MSG_ERASE_FILES_PROGRESS
// before each item and MSG_ERASE_FILES_DONE at the end (code = the run's
// EraseResult, flag 1 when cancelled). The progress dialog listens on the
// bus and asks DisplayName() for the item being erased.
#pragma once

#include <mutex>
#include <string>

#include "IRunObserver.h"

class CEraseBusObserver : public IRunObserver {
 public:
  // next (may be null) is told the same after the bus.
  explicit CEraseBusObserver(IRunObserver* next = nullptr) : m_next(next) {}
  void Progress(int value, int count, const std::string& displayName) override;
  // The done message's value is the run's number of work items.
  void Done(int result, bool cancelled) override;
  // The last display name sent (any thread).
  std::string DisplayName() const;
  // The run's number of work items, known from its first progress (0 for a
  // run without items; any thread).
  int Count() const;

 private:
  IRunObserver* m_next;
  mutable std::mutex m_mutex;
  std::string m_displayName;
  int m_count = 0;
};
