// The Ext2 complete search's superblock window, descriptor collection and
// confirmation over a fuzzed 4 MiB block: a valid small volume at its start
// with the input laid over its superblock and descriptors (XOR, so an empty
// input keeps it valid), a copy of it 1 MiB on, and the raw input at 2 MiB.
// The first input byte picks the layout (Ext2FuzzVolume), bit 2 4096-byte
// sectors, bits 3-4 how the block is cut into the pieces handed over.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CEXT2SearchController.h"
#include "CExt2SearchedPartitionInfo.h"
#include "CMemoryScanStream.h"
#include "Ext2FuzzVolume.h"
#include "FuzzMemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kBlockBytes = 4u << 20;
  static std::vector<uint8_t> volume;
  static MemoryDevice device512(std::vector<uint8_t>(kBlockBytes, 0), 512);
  static MemoryDevice device4k(std::vector<uint8_t>(kBlockBytes, 0), 4096);
  const uint8_t layout = size ? data[0] : 0;
  Ext2FuzzVolume made(volume, data, size > 0 ? 1 : 0);
  for (size_t i = 1; i < size && 1024 + i - 1 < volume.size(); ++i) volume[1024 + i - 1] ^= data[i];
  MemoryDevice& device = (layout & 4) ? device4k : device512;
  std::vector<uint8_t>& bytes = device.Bytes();
  std::memset(bytes.data(), 0, bytes.size());
  std::memcpy(bytes.data(), volume.data(), volume.size());
  std::memcpy(bytes.data() + (1u << 20), volume.data(), volume.size());
  if (size > 1) std::memcpy(bytes.data() + (2u << 20), data + 1, std::min(size - 1, kBlockBytes / 2));
  device.readLog.clear();

  CEXT2SearchController search;
  search.SetDevice(&device);
  search.StartSearch();
  const uint64_t sectors = device.GetSectorCount();
  const uint64_t piece = ((layout >> 3) & 3) == 0 ? sectors : ((layout >> 3) & 3) * 7 + 1;
  for (uint64_t at = 0; at < sectors; at += piece) search.AnalyzeBlock(at, std::min(piece, sectors - at));
  search.EndSearch();
  for (CExt2SearchedPartitionInfo* p : search.GetFound()) {
    CMemoryScanStream stream;
    p->Save(&stream);
    CExt2SearchedPartitionInfo back(static_cast<int>(p->GetBytesPerSector()));
    back.Load(&stream);
    p->IsSamePartition(back);
  }
  return 0;
}
