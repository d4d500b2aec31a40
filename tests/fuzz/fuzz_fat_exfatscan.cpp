// The exFAT sector scan over fuzzed blocks: the first byte picks the sector
// size (512 or 4096), the block length and whether some blocks fail to read, the rest is the device, handed
// over block by block through the scan buffer. Boot sectors, FAT
// starts and directory groups all meet the candidate set, which attaches the
// groups to its candidates and hands out the scored ones.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ExFatCandidateSet.h"
#include "ExFatEntryScanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t sectorSize = (data[0] & 1) ? 4096 : 512;
  const uint64_t blockSectors = 1 + ((data[0] >> 1) & 15);
  ++data;
  --size;
  const uint64_t sectors = size / sectorSize;
  ExFatEntryScanner scanner;
  ExFatCandidateSet candidates;
  scanner.SetGeometry(sectors, sectorSize);
  candidates.SetGeometry(sectorSize, sectors);
  std::vector<std::unique_ptr<ExFatDirectoryGroup>> groups;
  const ExFatGroupSink sink = [&](std::unique_ptr<ExFatDirectoryGroup> g) { groups.push_back(std::move(g)); };
  ExFatScanBuffer buffer;
  buffer.Reset(sectorSize, blockSectors);
  for (uint64_t first = 0; first < sectors; first += blockSectors) {
    const uint64_t n = first + blockSectors <= sectors ? blockSectors : sectors - first;
    uint8_t* at = buffer.Prepare(n);
    // Every third block fails to read: it is scanned as zeros.
    const bool readOk = (first / blockSectors) % 3 != 2 || !(data[-1] & 0x80);
    if (readOk) std::memcpy(at, data + first * sectorSize, n * sectorSize);
    buffer.Analyze(first, n, readOk, scanner, candidates, sink);
  }
  buffer.Finish(scanner, candidates, sink);
  scanner.Clear();
  for (const auto& g : groups) candidates.AddGroup(g.get());
  std::vector<std::unique_ptr<CExFatPartitionEx>> out;
  candidates.CollectCandidates(out);
  return 0;
}
