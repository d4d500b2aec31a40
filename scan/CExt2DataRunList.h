// The run list of the Ext2 engine.
#pragma once

#include "IDataRunList.h"

class CExt2DataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::Ext2; }
  // Lengthens the last run when the new one continues it or both are holes
  // (start 0); otherwise appends a copy.
  void AddExtent(const DataRun& run);
};
