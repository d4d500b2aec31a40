// The run list of one exFAT file: runs of consecutive clusters counted from
// the cluster heap (run start = cluster - 2), merged as they are appended.
#pragma once

#include "IDataRunList.h"

class CExFatDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::exFAT; }
  // Appends the run, or lengthens the last one when the new run continues it.
  void AddRun(const DataRun& run) { AppendMerged(run); }
};
