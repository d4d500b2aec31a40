// The run list of the FAT engine: clusters, merged as they continue.
#pragma once

#include "IDataRunList.h"

class CFATDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::FAT; }
};
