// The four anchor collections and the system-record tracker over a fuzzed
// stream of 512-byte sectors fed in two blocks, then resolved.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../ntfs/NTFSAnchorDriver.h"
#include "NTFSRecordRuns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 512 || size > 131072) return 0;
  SetNTFSEngineSectorSize(512);
  const uint64_t sectors = size / 512;
  std::vector<uint8_t> bytes(data, data + sectors * 512);
  // The stream starts at a sector chosen by its first byte, so that records
  // can place partitions before it.
  const uint64_t first = 8 * uint64_t(bytes[0]);
  ntfstest::AnchorSearch search(512, first + sectors + 1024);
  const uint64_t half = sectors / 2;
  if (half) search.Feed(bytes.data(), first, half);
  search.Feed(bytes.data() + half * 512, first + half, sectors - half);
  search.Resolve();
  return 0;
}
