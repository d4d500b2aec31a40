// What a wipe run tells the one watching it (the progress dialog over the
// bus, vtctl, the tests). Calls come from the run's thread.
#pragma once

#include <cstdint>

class IWipeObserver {
 public:
  virtual ~IWipeObserver() = default;
  // Before each write of pass `pass` (0-based), and before each read while
  // the last pass is read back (`verifying`). `sectorsDone` counts the
  // sectors of the partition the pass (or the read-back) has passed so far.
  virtual void Progress(int pass, uint64_t sectorsDone, bool verifying) = 0;
  // Once, at the very end (after the format): the run's EraseResult.
  virtual void Done(int result, bool cancelled) = 0;
};
