// The FAT kind of data-run list. Runs of a FAT file are cluster runs counted
// from cluster 2 (start = cluster - 2) or sector runs, by builder.
#pragma once

#include "IDataRunList.h"

class CFATDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::FAT; }
};
