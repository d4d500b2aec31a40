// What a free-space wipe run tells the one watching it (the progress
// dialog, vtctl, the tests). Calls come from the run's thread.
#pragma once

#include <cstdint>

#include "IEraseRunObserver.h"

class IFreeSpaceObserver : public IEraseRunObserver {
 public:
  // The run begins a phase: before the scrub, and again before the passes.
  virtual void Started() = 0;
  // Filler written in pass `pass` (0-based) so far, of the free bytes
  // measured when the run began.
  virtual void Progress(int pass, uint64_t bytesWritten, uint64_t freeBytes) = 0;
  // Done comes after the filler is gone.
};
