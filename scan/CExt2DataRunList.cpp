#include "CExt2DataRunList.h"

void CExt2DataRunList::AddExtent(const DataRun& run) {
  std::deque<DataRun>& runs = MutableRuns();
  if (!runs.empty()) {
    DataRun& last = runs.back();
    if (last.start + last.length == run.start || (last.start == 0 && run.start == 0)) {
      last.length += run.length;
      return;
    }
  }
  runs.push_back(run);
}
