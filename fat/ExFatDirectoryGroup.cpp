#include "ExFatDirectoryGroup.h"

#include <algorithm>

#include "IFileProperties.h"

namespace {

// The largest power of two that divides `v` (v > 0).
uint32_t LowestBit(uint32_t v) { return v & (~v + 1); }

uint64_t RoundUpToPowerOfTwo(uint64_t v) {
  uint64_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

}  // namespace

void ExFatDirectoryGroup::FinishSet(const ExFatEntrySetRecord& set) {
  lowestCluster = std::min(lowestCluster, set.firstCluster);
  highestCluster = std::max(highestCluster, set.firstCluster);
  const bool folder = (set.attributes & kFileAttributeDirectory) != 0;
  const uint32_t low = static_cast<uint32_t>(set.size);
  if (folder && low != 0) greatestClusterSize = std::min(greatestClusterSize, LowestBit(low));
  if (!set.inUse) {
    deleted.push_back(set);
    return;
  }
  auto at = std::upper_bound(inUse.begin(), inUse.end(), set.firstCluster,
                             [](uint32_t c, const ExFatEntrySetRecord& r) { return c < r.firstCluster; });
  inUse.insert(at, set);
  if (folder) subdirClusters.insert(set.firstCluster);
}

void ExFatDirectoryGroup::ComputeClusterSizeBounds(uint32_t sectorSize) {
  if (sectorSize == 0) sectorSize = 512;
  uint64_t least = leastClusterSize;
  for (size_t i = 0; i + 1 < inUse.size(); ++i) {
    const ExFatEntrySetRecord& s = inUse[i];
    if (!s.noFatChain || s.size == 0 || (s.attributes & kFileAttributeDirectory)) continue;
    const uint32_t d = inUse[i + 1].firstCluster - s.firstCluster;
    if (d == 0) continue;
    least = std::max(least, RoundUpToPowerOfTwo((s.size + d - 1) / d));
  }
  least = std::min<uint64_t>(least, kLargestCluster);
  leastClusterSize = std::max<uint32_t>(1, static_cast<uint32_t>(least / sectorSize));
  greatestClusterSize = greatestClusterSize / sectorSize;
}
