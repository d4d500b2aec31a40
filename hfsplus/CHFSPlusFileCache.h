// The catalog file's reader: a CHFSPlusRawfile in that role (no cache is kept).
#pragma once

#include "CHFSPlusRawfile.h"

class CHFSPlusFileCache : public CHFSPlusRawfile {
 public:
  CHFSPlusFileCache(CHFSPlusVolume* volume, uint32_t fileId, const HFSPlusForkData& fork)
      : CHFSPlusRawfile(volume, fileId, fork) {}
};
