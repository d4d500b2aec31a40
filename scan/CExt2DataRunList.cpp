#include "CExt2DataRunList.h"

void CExt2DataRunList::AddExtent(const DataRun& run) {
  std::deque<DataRun>& runs = MutableRuns();
  if (!runs.empty()) {
    DataRun& last = runs.back();
    const bool bothHoles = last.IsSparse() && run.IsSparse();
    const bool continues = !last.IsSparse() && !run.IsSparse() && last.start + last.length == run.start;
    if (bothHoles || continues) {
      last.length += run.length;
      return;
    }
  }
  runs.push_back(run);
}
