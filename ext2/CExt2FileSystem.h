// An Ext2, Ext3 or Ext4 file system on a device that presents 512-byte
// sectors: its superblock, its group-descriptor table (32-byte descriptors,
// or larger ones with the 64bit feature), the mapping from blocks to sectors
// and checked block reads. Block numbers are 64-bit throughout. A file
// system with an incompatible feature the reader does not read (meta_bg,
// inline_data, encrypt...) is refused as a whole with
// CExt2UnsupportedFeature once its descriptors are needed; the volume probe,
// which reads the superblock only, still reports it. Failures throw (see
// Ext2Exceptions.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CExt2SuperBlock.h"
#include "FileSystemTypes.h"

class IStorageDevice;

class CExt2FileSystem {
 public:
  // A descriptor table larger than this is taken as damage, not allocated.
  static constexpr uint64_t kMaxDescriptorBytes = 64ull << 20;

  // Reads the superblock at `superBlockSector`, then Init.
  CExt2FileSystem(IStorageDevice* device, uint64_t superBlockSector);
  // Init with a superblock the caller already holds (kSize bytes).
  CExt2FileSystem(IStorageDevice* device, uint64_t superBlockSector, const uint8_t* superBlock);
  // A partition found by a search: the superblock copy is taken as the
  // primary at partitionStart + 2, with the descriptor table given.
  CExt2FileSystem(IStorageDevice* device, uint64_t partitionStart, const uint8_t* superBlock,
                  const uint8_t* descriptors);
  CExt2FileSystem(const CExt2FileSystem&) = default;
  CExt2FileSystem& operator=(const CExt2FileSystem&) = default;
  virtual ~CExt2FileSystem();

  static CExt2SuperBlock ReadSuperBlock(IStorageDevice* device, uint64_t sector);

  CExt2SuperBlock GetSuperBlock() const { return m_super; }
  IStorageDevice* GetDevice() const { return m_device; }
  bool HasGroupDescriptors() const { return !m_descriptors.empty(); }
  uint64_t GetPrimarySuperBlockSector() const;
  uint64_t BlockToSector(uint64_t block) const;
  // Reads `count` blocks from `first`; throws std::range_error outside the
  // device and CExt2ReadSectorError (buffer zeroed) when the read fails.
  uint64_t ReadBlocks(void* buffer, uint64_t first, uint32_t count) const;
  bool GetInodeLocation(uint32_t inode, uint64_t* block, uint32_t* offset) const;
  bool IsValidBlock(uint64_t block) const { return block < m_super.BlocksCount(); }
  // The first block of a group's inode table (0 without descriptors or for
  // a group beyond the table).
  uint64_t GetInodeTableBlock(uint64_t group) const;
  bool IsSameFileSystem(const CExt2FileSystem& other) const;
  uint64_t GetTotalBytes() const;
  EFileSystemType GetFileSystemType() const;
  // The 16-byte volume name up to its first NUL.
  std::string GetVolumeName() const;
  // Chooses the descriptor table to trust among the primary and its backups;
  // empty when none passes.
  std::vector<uint8_t> FindBackupSuperBlock() const;

  // True when every descriptor's bitmaps and inode table lie in its own
  // group (32-byte descriptors).
  static bool CheckGroupDescriptors(const uint8_t* table, uint64_t count, uint32_t firstDataBlock,
                                    uint32_t blocksPerGroup);
  // The same for the layout the superblock gives: descriptor size, 64-bit
  // positions, and with flex_bg bitmaps and inode tables anywhere inside the
  // file system (the whole inode table inside it).
  static bool CheckGroupDescriptors(const uint8_t* table, uint64_t count, const CExt2SuperBlock& super);

 private:
  void Init(IStorageDevice* device, uint64_t sector, const CExt2SuperBlock& super);
  // Field `index` (0 block bitmap, 1 inode bitmap, 2 inode table) of a
  // descriptor, with its high half when descriptors are 64 bytes or more.
  static uint64_t DescriptorBlock(const uint8_t* table, uint64_t group, int index, uint32_t descriptorSize);

  CExt2SuperBlock m_super;
  std::vector<uint8_t> m_descriptors;
  IStorageDevice* m_device = nullptr;
  uint64_t m_superBlockSector = 0;
};
