// Whether a sector's cluster is in use, from a bit vector of clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bit i stands for cluster i + 2; `firstSector` is the first sector of
// cluster 2.
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
  // False with no clusters; true before the data area, past the last
  // cluster, or where the map cannot answer; else the cluster's bit.
  bool IsClusterUsed(uint64_t sector) const override;

 private:
  ClusterUseBitMapInfo m_info;
};
