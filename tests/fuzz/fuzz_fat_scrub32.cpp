// The FAT scrub over a small FAT32 volume of 4096-byte sectors whose FAT
// entries and data area (with the root folder in cluster 2) come from the
// input (the layout: FatScrubVolume.h). Slower than the FAT16 target: the
// FAT32 table loads no FAT under 128 KiB, one large allocation per run.
#include <cstddef>
#include <cstdint>

#include "FatScrubVolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FatScrubVolume volume(true);
  volume.Run(data, size);
  return 0;
}
