// A run of consecutive sectors that hold valid exFAT directory entries, as
// the sector scan of a whole device finds them: the entry sets read there,
// the clusters they name, and the cluster sizes that fit them.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "CExFatPartition.h"

struct ExFatDirectoryGroup {
  enum Flag : uint32_t {
    kLabelSeen = 1,
    kBitmapSeen = 2,
    kUpcaseSeen = 4,
    kBeginsWithContinuation = 8,
    kEndsWithCutSet = 0x10,
    kClaimed = 0x20,
    kRootFlags = kLabelSeen | kBitmapSeen | kUpcaseSeen,
  };
  static constexpr uint32_t kLargestCluster = 0x2000000;  // 32 MiB

  std::vector<ExFatEntrySetRecord> inUse;  // sorted by first cluster
  std::vector<ExFatEntrySetRecord> deleted;  // in the order found
  std::set<uint32_t> subdirClusters;
  uint32_t lowestCluster = 0xFFFFFFF6;
  uint32_t highestCluster = 0;
  uint32_t leastClusterSize = 512;                // bytes, sectors after the bounds
  uint32_t greatestClusterSize = kLargestCluster;  // bytes, sectors after the bounds
  uint64_t firstSector = ~0ull;
  uint32_t sectorCount = 0;
  uint32_t flags = 0;
  uint32_t clustersReferenced = 2;
  uint32_t bitmapClusters = 0;
  uint32_t upcaseCluster = 0;
  uint64_t upcaseLength = 0;
  char16_t label[16] = {};
  ExFatDirectoryGroup* previous = nullptr;
  ExFatDirectoryGroup* next = nullptr;

  bool IsRoot() const { return (flags & kRootFlags) == kRootFlags; }
  bool HasSets() const { return !inUse.empty() || !deleted.empty(); }
  // Takes a finished entry set: cluster range, the folder's size limit on
  // the cluster size, and the in-use or deleted list.
  void FinishSet(const ExFatEntrySetRecord& set);
  // Narrows the cluster-size bounds from the spacing of contiguous files and
  // turns both bounds from bytes into sectors.
  void ComputeClusterSizeBounds(uint32_t sectorSize);
  // True when a cluster of `sectors` sectors fits the bounds (in sectors).
  bool AcceptsClusterSectors(uint64_t sectors) const {
    return sectors >= leastClusterSize && sectors <= greatestClusterSize;
  }
};
