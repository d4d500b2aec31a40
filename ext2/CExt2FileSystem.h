// An Ext2 or Ext3 file system on a device that presents 512-byte sectors:
// its superblock, its group-descriptor table, the mapping from blocks to
// sectors and checked block reads. Failures throw (see Ext2Exceptions.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CExt2SuperBlock.h"
#include "FileSystemTypes.h"

class IStorageDevice;

class CExt2FileSystem {
 public:
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
  uint64_t BlockToSector(uint32_t block) const;
  // Reads `count` blocks from `first`; throws std::range_error outside the
  // device and CExt2ReadSectorError (buffer zeroed) when the read fails.
  uint64_t ReadBlocks(void* buffer, uint32_t first, uint32_t count) const;
  bool GetInodeLocation(uint32_t inode, uint32_t* block, uint32_t* offset) const;
  bool IsValidBlock(uint32_t block) const { return block < m_super.BlocksCount(); }
  bool IsSameFileSystem(const CExt2FileSystem& other) const;
  uint64_t GetTotalBytes() const;
  EFileSystemType GetFileSystemType() const;
  // The 16-byte volume name up to its first NUL.
  std::string GetVolumeName() const;
  // Chooses the descriptor table to trust among the primary and its backups;
  // empty when none passes.
  std::vector<uint8_t> FindBackupSuperBlock() const;

  // True when every descriptor's bitmaps and inode table lie in its own group.
  static bool CheckGroupDescriptors(const uint8_t* table, uint64_t count, uint32_t firstDataBlock,
                                    uint32_t blocksPerGroup);

 private:
  void Init(IStorageDevice* device, uint64_t sector, const CExt2SuperBlock& super);
  uint32_t DescriptorField(uint64_t group, size_t offset) const;

  CExt2SuperBlock m_super;
  std::vector<uint8_t> m_descriptors;
  IStorageDevice* m_device = nullptr;
  uint64_t m_superBlockSector = 0;
};
