// What an erase run tells the one watching it (the progress dialog, vtctl,
// the tests). Calls come from the run's thread.
#pragma once

#include <string>

#include "IEraseRunObserver.h"

class IRunObserver : public IEraseRunObserver {
 public:
  // Before each item: value is the running item number 1..count. A run of
  // one item reports value 2 once more after the item (a bar of 0..2).
  // displayName is the item's last name (the whole path for "/").
  virtual void Progress(int value, int count, const std::string& displayName) = 0;
};
