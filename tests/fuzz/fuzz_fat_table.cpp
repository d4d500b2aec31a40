// FAT tables over arbitrary bytes: loading, validation and lookups.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

#include "FuzzMemoryDevice.h"
#include "IFATTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int type = data[0] % 4;  // 3: no such type
  const int sectorSize = (data[1] & 1) ? 4096 : 512;
  const uint64_t clusterCount = (data[2] & 0x80) ? 0 : (static_cast<uint64_t>(data[2]) << 8 | data[3]);
  const uint8_t* fat = data + 4;
  const size_t fatBytes = size - 4;
  // The smallest FAT each type loads, so that short inputs are validated.
  const uint32_t k = static_cast<uint32_t>(sectorSize / 512);
  uint32_t minSectors = type == 2 ? 256 / k : (type == 1 ? 12 / k : 1);
  if (minSectors == 0) minSectors = 1;
  uint32_t sectors = static_cast<uint32_t>((fatBytes + sectorSize - 1) / sectorSize);
  if (sectors < minSectors) sectors = minSectors;
  std::vector<uint8_t> disk(static_cast<size_t>(sectors) * 2 * sectorSize, 0);
  for (size_t i = 0; i < fatBytes; ++i) disk[i] = disk[i + static_cast<size_t>(sectors) * sectorSize] = fat[i];
  MemoryDevice dev(disk, sectorSize);

  std::unique_ptr<CDoubleFATTable> table(CreateFATTable(&dev, 0, type, sectors, data[1] & 2, data[1] & 4, clusterCount));
  // Walk a few chains the way callers do: visited set, bounded steps.
  for (uint32_t start = 0; start < 64; ++start) {
    std::unordered_set<uint32_t> seen;
    uint32_t c = start;
    for (int steps = 0; steps < 100000 && c >= 2 && c < 0x0FFFFFF7u && seen.insert(c).second; ++steps)
      c = table->GetEntry(c);
  }
  (void)table->GetEntry(0xFFFFFFFFu);
  return 0;
}
