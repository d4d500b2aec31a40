// The NTFS volume analyser: an NTFS boot sector at the start, its size and
// the $Volume name.
#pragma once

#include <cstdint>

#include "CBootSectorVolumeAnalyze.h"

class CNtfsVolumeAnalyze : public CBootSectorVolumeAnalyze {
 public:
  // `start` is in the device's sectors; the device stays the caller's. The
  // size is the boot sector's count, rescaled when the volume's sectors are
  // not the device's.
  CNtfsVolumeAnalyze(IStorageDevice* device, uint64_t start);
};
