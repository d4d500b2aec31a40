// What an erase run tells the one watching it (the progress dialog, vtctl,
// the tests). Calls come from the run's thread.
#pragma once

#include <string>

class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  // Before each item: value is the running item number 1..count. A run of
  // one item reports value 2 once more after the item (a bar of 0..2).
  // displayName is the item's last name (the whole path for "/").
  virtual void Progress(int value, int count, const std::string& displayName) = 0;
  // Once, at the end, after the history has been written: the number of
  // work items, the run's EraseResult and whether it was cancelled.
  virtual void Done(int count, int result, bool cancelled) = 0;
};
