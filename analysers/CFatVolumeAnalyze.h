// The FAT volume analyser: a FAT16 or FAT32 boot sector at the start, its
// size and the label of its root directory. FAT12 is not recognised.
#pragma once

#include <cstdint>

#include "CBootSectorVolumeAnalyze.h"

class CFatVolumeAnalyze : public CBootSectorVolumeAnalyze {
 public:
  // `start` is in the device's sectors; the device stays the caller's.
  CFatVolumeAnalyze(IStorageDevice* device, uint64_t start);
};
