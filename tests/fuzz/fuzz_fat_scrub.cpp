// The FAT scrub over a small FAT16 volume whose FAT entries, root directory
// and data area come from the input (the layout: FatScrubVolume.h).
#include <cstddef>
#include <cstdint>

#include "FatScrubVolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FatScrubVolume volume(false);
  volume.Run(data, size);
  return 0;
}
