// The run list of the Ext2 engine, in file-system blocks; holes are sparse
// runs (start DataRun::kSparseStart).
#pragma once

#include "IDataRunList.h"

class CExt2DataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::Ext2; }
  // Lengthens the last run when both are holes, or when neither is and the
  // new one continues the last on disk; otherwise appends a copy. Block 0
  // is a block like any other.
  void AddExtent(const DataRun& run);
};
