#include "WipePageRuns.h"

#include "EraseResult.h"
#include "RunLog.h"

namespace {

WipeRunner& RunnerOf(int mode) {
  static WipeRunner partition;
  static WipeRunner freeSpace;
  return mode == ERASE_MODE_FREESPACE ? freeSpace : partition;
}

}  // namespace

// The progress dialogs of the two runs are not part of this build yet: both
// calls refuse to run and report that nothing was opened.
int StartPartitionWipe(const WipeTarget& target, QWidget*) {
  LogError("Partition wipe of %c: no wipe run is available", target.driveLetter);
  return ERASE_PARTITION_OPEN_FAILED;
}

int StartFreeSpaceWipe(const WipeTarget& target, QWidget*) {
  LogError("Free-space wipe of %c: no wipe run is available", target.driveLetter);
  return ERASE_FREESPACE_OPEN_FAILED;
}

void SetWipeRunner(int mode, WipeRunner runner) { RunnerOf(mode) = std::move(runner); }

int RunWipe(int mode, const WipeTarget& target, QWidget* parent) {
  if (const WipeRunner& runner = RunnerOf(mode)) return runner(target, parent);
  return mode == ERASE_MODE_FREESPACE ? StartFreeSpaceWipe(target, parent) : StartPartitionWipe(target, parent);
}
