// The Ext2 reader over a device made of the fuzz input: superblock checks,
// the descriptor-table search and the probe.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "CExt2FileSystem.h"
#include "CExt2Volume.h"
#include "FuzzMemoryDevice.h"
#include "IStorageDevice.h"
#include "VolumeProbeFlag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input is placed from byte 1024 on (where the superblock lives) in a
  // device of at least 64 KiB, so descriptor tables and backups are reachable.
  MemoryDevice device(FuzzDiskBytes(data, size, 512, 1024, 65536));
  VolumeProbeActive = (size & 1) ? 1 : 0;
  CExt2Volume volume(&device, 0);
  char label[40];
  volume.GetVolumeLabel(label, sizeof label);
  try {
    CExt2FileSystem fs(&device, 2);
    uint64_t block = 0;
    uint32_t offset = 0;
    for (uint32_t inode : {1u, 2u, 11u, 0xFFFFFFFFu}) fs.GetInodeLocation(inode, &block, &offset);
    std::vector<uint8_t> buf(8192);
    fs.ReadBlocks(buf.data(), 1, 1);
  } catch (const std::exception&) {
  }
  return 0;
}
