// An exFAT volume as the exFAT searches see it: its geometry, its first FAT
// (cached), the clusters known to be in use, and the node builder that turns
// a parsed directory entry set into a CFileNode with its properties and
// runs. Runs count from the cluster heap: run cluster 0 is cluster 2, so a
// node's geometry is (heap start, sectors per cluster).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CExFatFATCache.h"
#include "CSearchedPartitionInfo.h"

class CExFatDataRunList;
class CFileNode;

// One file or folder as its directory entry set describes it.
struct ExFatEntrySetRecord {
  uint64_t size = 0;  // DataLength of the stream entry
  uint32_t firstCluster = 0;
  uint8_t noFatChain = 0;  // GeneralSecondaryFlags bit 1
  uint8_t inUse = 0;       // the File entry's in-use bit
  uint16_t attributes = 0;
  uint32_t creation = 0, modification = 0, access = 0;  // raw exFAT timestamps
  uint64_t position = 0;                                // sector of the File entry
  std::string name;                                     // UTF-8
  uint8_t nameLength = 0;                               // NameLength of the stream entry, in characters
};

class CExFatPartition : public CSearchedPartitionInfo {
 public:
  static constexpr uint32_t kEndOfChain = 0xFFFFFFFF;
  static constexpr uint32_t kFirstCluster = 2;
  static constexpr uint32_t kLastCluster = 0xFFFFFFF5;

  explicit CExFatPartition(int bytesPerSector = 512);

  EPartitionKind GetSearchKind() override { return EPartitionKind::exFAT; }

  static bool IsClusterNumber(uint32_t c) { return c >= kFirstCluster && c <= kLastCluster; }
  // The sector where `cluster` begins.
  uint64_t ClusterToOffset(uint32_t cluster) const {
    return static_cast<uint64_t>(cluster - kFirstCluster) * m_sectorsPerCluster + m_heapStart;
  }
  // The cluster after `cluster`: the next one for a contiguous chain, else
  // its FAT entry; kEndOfChain when that is not below the cluster count.
  uint32_t GetNextCluster(uint32_t cluster, bool contiguous);
  // The record's runs (none for a folder), marking their clusters in use
  // where the run is known to be right.
  std::unique_ptr<CExFatDataRunList> BuildDataRunList(const ExFatEntrySetRecord& record);
  void MarkClustersUsed(uint64_t firstHeapIndex, uint64_t count);
  // One bit per heap index, all clear, when the root cluster is known.
  void SizeClusterMap();
  bool IsClusterUsed(uint64_t heapIndex) const {
    return heapIndex < m_inUse.size() && m_inUse[static_cast<size_t>(heapIndex)];
  }
  // Bit i: heap index i (cluster i + 2) is in use.
  const std::vector<bool>& ClusterMap() const { return m_inUse; }
  // A node with its properties and runs, or null.
  CFileNode* CreateFileNode(const ExFatEntrySetRecord& record);
  // A node with the record's properties but no runs, or null (a node
  // without properties when they could not be made).
  static CFileNode* CreateNodeWithoutRuns(const ExFatEntrySetRecord& record);
  // Copies the geometry into the base record.
  void SyncBaseFields();

  CExFatFATCache& FatCache() { return m_fat; }
  uint32_t GetSectorSize() const { return m_sectorSize; }
  void SetSectorSize(uint32_t v) { m_sectorSize = v; }
  uint32_t GetClusterSectors() const { return m_sectorsPerCluster; }
  void SetClusterSectors(uint32_t v) { m_sectorsPerCluster = v; }
  uint32_t GetClusterCount() const { return m_clusterCount; }
  void SetClusterCount(uint32_t v) { m_clusterCount = v; }
  uint32_t GetRootCluster() const { return m_rootCluster; }
  void SetRootCluster(uint32_t v) { m_rootCluster = v; }
  uint32_t GetClusterSize() const { return m_clusterSize; }
  uint64_t GetHeapStart() const { return m_heapStart; }
  void SetHeapStart(uint64_t v) { m_heapStart = v; }
  uint64_t GetVolumeStart() const { return m_volumeStart; }
  void SetVolumeStart(uint64_t v) { m_volumeStart = v; }
  uint64_t GetVolumeLength() const { return m_volumeLength; }
  void SetVolumeLength(uint64_t v) { m_volumeLength = v; }
  void UpdateClusterSize() { m_clusterSize = m_sectorSize * m_sectorsPerCluster; }

 private:
  CExFatFATCache m_fat;
  uint32_t m_sectorSize = 512;
  uint32_t m_sectorsPerCluster = 1;
  uint32_t m_clusterCount = 0;
  uint32_t m_rootCluster = 0xFFFFFFFF;
  uint32_t m_clusterSize = 512;
  uint64_t m_heapStart = 0;
  uint64_t m_volumeStart = 0;
  uint64_t m_volumeLength = 0;
  std::vector<bool> m_inUse;
};
