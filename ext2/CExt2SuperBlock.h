// An Ext2/Ext3 superblock (1024 bytes at byte 1024 of the file system),
// kept as the bytes read, with the checks and the values derived from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class CExt2SuperBlock {
 public:
  static constexpr uint32_t kSize = 1024;
  static constexpr uint16_t kMagic = 0xEF53;

  CExt2SuperBlock();
  explicit CExt2SuperBlock(const uint8_t* bytes);  // kSize bytes

  const uint8_t* Bytes() const { return m_raw.data(); }

  uint32_t InodesCount() const { return U32(0); }
  uint32_t BlocksCount() const { return U32(4); }
  uint32_t FreeInodesCount() const { return U32(16); }
  uint32_t FirstDataBlock() const { return U32(20); }
  uint32_t LogBlockSize() const { return U32(24); }
  uint32_t BlocksPerGroup() const { return U32(32); }
  uint32_t InodesPerGroup() const { return U32(40); }
  uint16_t Magic() const { return U16(56); }
  uint32_t RevLevel() const { return U32(76); }
  uint32_t FirstIno() const { return U32(84); }
  uint16_t InodeSizeField() const { return U16(88); }
  uint16_t BlockGroupNr() const { return U16(90); }
  const uint8_t* Uuid() const { return m_raw.data() + 104; }
  const uint8_t* VolumeName() const { return m_raw.data() + 120; }  // 16 bytes, maybe unterminated
  uint32_t JournalInum() const { return U32(224); }

  void SetBlockGroupNr(uint16_t nr);

  // Derived values. Those that divide or shift answer 0 while the fields
  // they need are out of range, so nothing here faults on a damaged record.
  uint32_t GetBlockSize() const;  // 0 when s_log_block_size is out of range
  uint32_t GetSectorsPerBlock() const { return GetBlockSize() / 512; }
  uint64_t GetGroupCount() const;
  uint32_t GetInodeSize() const { return RevLevel() == 0 ? 128 : InodeSizeField(); }
  uint32_t GetFirstInode() const { return RevLevel() == 0 ? 11 : FirstIno(); }
  uint64_t GetInodeGroup(uint32_t inode) const;
  uint64_t GetInodeTableBlocks() const;
  // Signed distance in 512-byte sectors from the primary superblock to this copy.
  int64_t GetCopyOffsetSectors() const;

  // Rewrites the fields the reader does not trust (inode size of revision 0,
  // first data block, an implausible inode count).
  void Normalize();
  bool IsValid() const;
  bool IsSameAs(const CExt2SuperBlock& other) const;
  bool IsDifferent(const CExt2SuperBlock& other) const { return !IsSameAs(other); }

 private:
  uint32_t U32(size_t off) const;
  uint16_t U16(size_t off) const;
  void SetU32(size_t off, uint32_t v);
  void SetU16(size_t off, uint16_t v);
  std::array<uint8_t, kSize> m_raw;
};

// 512-byte sectors that hold a descriptor table of `groups` entries.
uint64_t GetGroupDescriptorSectors(uint64_t groups);
