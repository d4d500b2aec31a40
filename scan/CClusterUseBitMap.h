// Whether a sector's cluster is in use, from a bit vector of clusters. The
// carved-file placement asks it before it puts a carved file into a tree: a
// carved file that starts in a cluster the file system still uses is a piece
// of a live file, not a lost one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The map counts clusters the way the engine's data runs do: bit i stands for
// run cluster i, and `firstSector` is the sector of run cluster 0, that is the
// partition's CSearchedPartitionInfo::GetClusterStartSector (for FAT the data
// start, where cluster 2 lies), in sectors of the scanned device.
struct ClusterUseBitMapInfo {
  const std::vector<bool>* bits = nullptr;  // borrowed; set = in use
  uint64_t firstSector = 0;
  uint32_t sectorsPerCluster = 0;
  uint64_t clusterCount = 0;
};

class IIsClusterUsed {
 public:
  virtual ~IIsClusterUsed() = default;
  virtual bool IsClusterUsed(uint64_t sector) const = 0;
};

class CClusterUseBitMap : public IIsClusterUsed {
 public:
  explicit CClusterUseBitMap(const ClusterUseBitMapInfo& info) : m_info(info) {}
  // False with no clusters; true before run cluster 0, past the last
  // cluster, or where the map cannot answer; else the cluster's bit.
  bool IsClusterUsed(uint64_t sector) const override;

 private:
  ClusterUseBitMapInfo m_info;
};
