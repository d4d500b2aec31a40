// An Ext2/Ext3/Ext4 file system found by the complete search while it scans
// a whole device: made from a sector that holds a valid superblock (the
// primary or a backup copy), it collects the group-descriptor sectors that
// follow that superblock, tells whether another candidate is the same file
// system, and keeps the block-use bitmap of its tree.
//
// Units: the search itself works in 512-byte sectors (FoundSector512,
// Start512, the descriptor sectors); the base record answers in sectors of
// the scanned device (GetStartSector, GetSectorCount, GetClusterStartSector,
// GetSectorsPerCluster), which the framework and the file reader use.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "CExt2SuperBlock.h"
#include "CSearchedPartitionInfo.h"

class IStorageDevice;

class CExt2SearchedPartitionInfo : public CSearchedPartitionInfo {
 public:
  // The base record plus the 512-byte found sector and the valid flag.
  static constexpr uint32_t kSavedSize = kSavedBaseSize + 12;

  // `superBlock` holds CExt2SuperBlock::kSize bytes found at 512-byte sector
  // `foundSector512` of a device with `bytesPerSector`-byte sectors. The
  // caller makes sure the primary superblock lies on the device
  // (PrimarySector512 >= 2).
  CExt2SearchedPartitionInfo(const uint8_t* superBlock, uint64_t foundSector512, int bytesPerSector);
  // An empty record, for Load.
  explicit CExt2SearchedPartitionInfo(int bytesPerSector);

  // The 512-byte sector of the primary superblock a superblock found at
  // `foundSector512` belongs to; negative when it would lie before the
  // device's first sector.
  static int64_t PrimarySector512(const CExt2SuperBlock& super, uint64_t foundSector512);

  EPartitionKind GetSearchKind() override { return EPartitionKind::Ext2; }
  int IsNodeInPartition(CFileNode* node) override;
  int LoadNodeDataRuns(CFileNode* node) override;
  bool Save(IScanStream* stream) override;
  bool Load(IScanStream* stream) override;

  const CExt2SuperBlock& GetSuperBlock() const { return m_super; }
  // The superblock as the search trusts it (normalized).
  CExt2SuperBlock GetNormalizedSuperBlock() const;
  uint64_t GetFoundSector512() const { return m_found512; }
  uint64_t GetStart512() const { return m_start512; }
  uint32_t GetTimesFound() const { return m_timesFound; }
  void AddTimeFound() { ++m_timesFound; }
  bool IsSuperBlockValid() const { return m_superValid; }
  bool IsBackupCopy() const { return m_super.BlockGroupNr() != 0; }
  uint64_t GetFirstDescriptorSector512() const { return m_firstDescriptor512; }

  // The descriptor table collected so far (GetDescriptorBytes bytes).
  const uint8_t* GetDescriptorTable() const { return m_table.empty() ? nullptr : m_table.data(); }
  size_t GetDescriptorBytes() const { return m_table.size(); }
  bool HasNoDescriptorTable() const { return m_table.empty(); }
  // Bytes of the whole table: group count x descriptor size.
  uint64_t GetDescriptorTableBytes() const;
  bool IsDescriptorTableComplete() const;
  // True for a sector at or after the block that follows the superblock's.
  bool IsGroupDescriptorSector(uint64_t sector512) const;
  // Appends what the table still lacks from one 512-byte sector.
  void AddGroupDescriptorSector(const uint8_t* sector, uint64_t sector512);
  // The superblock is valid and every descriptor places its bitmaps and
  // inode table where the layout allows.
  bool HasValidGroupDescriptors() const;
  bool IsSamePartition(const CExt2SearchedPartitionInfo& other) const;
  // Re-reads the superblock and the whole descriptor table through a device
  // with 512-byte sectors; false when a read fails or the table is damaged.
  bool ReadGroupDescriptors(IStorageDevice* device512);

  const std::vector<bool>& GetBlockUseBitmap() const { return m_blockUse; }
  void SetBlockUseBitmap(std::vector<bool> bits) { m_blockUse = std::move(bits); }

 private:
  void SetGeometry();
  // Recomputes m_tableBytes from the superblock.
  void SetTableBytes();

  CExt2SuperBlock m_super;  // as read
  uint32_t m_timesFound = 0;
  uint64_t m_found512 = 0;
  uint64_t m_start512 = 0;
  uint64_t m_firstDescriptor512 = 0;
  bool m_superValid = false;
  std::vector<uint8_t> m_table;
  uint64_t m_tableBytes = 0;  // GetDescriptorTableBytes, kept: the scan asks for it at every sector
  std::vector<bool> m_blockUse;
};
