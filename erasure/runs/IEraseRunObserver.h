// What every erase run tells the one watching it at its end. The observers
// of the three runs (IRunObserver, IWipeObserver, IFreeSpaceObserver) add
// their own progress calls. Calls come from the run's thread.
#pragma once

class IEraseRunObserver {
 public:
  virtual ~IEraseRunObserver() = default;
  // Once, at the very end, after the history has been written: the run's
  // EraseResult and whether it ended because it was cancelled.
  virtual void Done(int result, bool cancelled) = 0;
};
