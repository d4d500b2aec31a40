// Restart-page and log-page tests, and the restart-page collection over a
// fuzzed block: restart pages, $LogFile records and log pages cut by the
// block's end.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CNTFSLogFileAnalyzer.h"
#include "CNTFSRestartPageCollection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  const int length = static_cast<int>(size);
  volatile int sink = IsRestartPage(bytes.data(), length);
  if (size >= 4096) sink = sink + IsValidRecordPage(bytes.data());
  (void)sink;
  // Whole 512-byte sectors, cut in two blocks so that pages are stitched.
  const uint64_t sectors = size / 512;
  if (sectors == 0) return 0;
  NTFSCandidateMap map;
  CNTFSCandidateFlagUpdater updater(&map, sectors + 64);
  CNTFSRestartPageCollection collection(&map, &updater, 512);
  collection.SetDeviceSectors(sectors + 64);
  for (uint64_t s = 0; s < sectors; ++s) {
    const uint8_t* p = bytes.data() + s * 512;
    const int left = static_cast<int>((sectors - s) * 512);
    collection.AddLogFileRecord(64 + s, p, left);
    collection.AnalyzeRSTRRecord(64 + s, p, left);
  }
  const uint64_t half = sectors / 2;
  if (half) collection.EndBlock(bytes.data(), 64, half);
  collection.EndBlock(bytes.data() + half * 512, 64 + half, sectors - half);
  for (auto& [key, c] : map) collection.ResolveCandidate(*c);
  return 0;
}
