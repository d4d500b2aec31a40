// What a wipe run tells the one watching it (the progress dialog over the
// bus, vtctl, the tests). Calls come from the run's thread.
#pragma once

#include <cstdint>

#include "IEraseRunObserver.h"

class IWipeObserver : public IEraseRunObserver {
 public:
  // Before each write of pass `pass` (0-based), and before each read while
  // the last pass is read back (`verifying`). `sectorsDone` counts the
  // sectors of the partition the pass (or the read-back) has passed so far.
  virtual void Progress(int pass, uint64_t sectorsDone, bool verifying) = 0;
  // Done comes after the format.
};
