// The run list of a carved file, in 512-byte sectors.
#pragma once

#include "IDataRunList.h"

class CRAWDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::RAW; }
  void AddRun(uint64_t start, uint64_t length) { Append({start, length}); }
};
