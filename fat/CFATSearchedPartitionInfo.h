// The FAT kind of searched-partition record: the base record plus the FAT
// geometry a rebuild needs (reserved sectors, FAT size, cluster count, root
// directory sectors or root cluster) and the flags of FATPartitionFields.h.
#pragma once

#include <cstdint>

#include "CSearchedPartitionInfo.h"
#include "FATPartitionFields.h"

class CFATSearchedPartitionInfo : public CSearchedPartitionInfo {
 public:
  // The bytes saved after the base record.
  static constexpr uint32_t kSavedFATSize = 18;

  explicit CFATSearchedPartitionInfo(int bytesPerSector = 512) : CSearchedPartitionInfo(bytesPerSector) {}

  EPartitionKind GetSearchKind() override { return EPartitionKind::FAT; }
  // The base record, then reserved sectors (2 bytes), FAT size, cluster
  // count, root information and flags (4 bytes each).
  bool Save(IScanStream* stream) override;
  // The same order; nothing of the FAT part changes on a short stream.
  bool Load(IScanStream* stream) override;

  void SetReservedSectors(uint16_t v) { m_reservedSectors = v; }
  uint16_t GetReservedSectors() const { return m_reservedSectors; }
  void SetFATSize(uint32_t v) { m_fatSize = v; }
  uint32_t GetFATSize() const { return m_fatSize; }
  void SetClusterCount(uint32_t v) { m_clusterCount = v; }
  uint32_t GetClusterCount() const { return m_clusterCount; }
  // FAT12/16: root directory sectors; FAT32: root cluster.
  void SetRootInfo(uint32_t v) { m_rootInfo = v; }
  uint32_t GetRootInfo() const { return m_rootInfo; }
  void AddFlags(uint32_t f) { m_flags |= f; }
  uint32_t GetFlags() const { return m_flags; }
  // Found through a boot sector (any of the four boot bits).
  bool FoundByBootSector() const { return (m_flags & 0x0F) != 0; }

  // Takes over what the quick scrub learnt (base fields included).
  void Assign(const FATPartitionFields& fields);

 private:
  uint16_t m_reservedSectors = 0;
  uint32_t m_fatSize = 0;
  uint32_t m_clusterCount = 0;
  uint32_t m_rootInfo = 0;
  uint32_t m_flags = 0;
};

CFATSearchedPartitionInfo* CreateFATSearchedPartitionInfo(int bytesPerSector);
// Deletes a record when it is not null.
void DeleteFATSearchedPartitionInfo(CSearchedPartitionInfo* record);
