// An Ext2/Ext3/Ext4 superblock (1024 bytes at byte 1024 of the file
// system), kept as the bytes read, with the checks and the values derived
// from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CExt2SuperBlock {
 public:
  static constexpr uint32_t kSize = 1024;
  static constexpr uint16_t kMagic = 0xEF53;

  CExt2SuperBlock();
  explicit CExt2SuperBlock(const uint8_t* bytes);  // kSize bytes

  const uint8_t* Bytes() const { return m_raw.data(); }

  uint32_t InodesCount() const { return U32(0); }
  // With the 64bit feature the high half at 336 counts too.
  uint64_t BlocksCount() const { return Is64Bit() ? (uint64_t(U32(336)) << 32) | U32(4) : U32(4); }
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
  // Feature words (revision 1 and later; a revision-0 record has none).
  uint32_t FeatureCompat() const { return RevLevel() == 0 ? 0 : U32(92); }
  uint32_t FeatureIncompat() const { return RevLevel() == 0 ? 0 : U32(96); }
  uint32_t FeatureRoCompat() const { return RevLevel() == 0 ? 0 : U32(100); }
  uint16_t DescSizeField() const { return U16(254); }

  static constexpr uint32_t kIncompatFileType = 0x0002;
  static constexpr uint32_t kIncompatRecover = 0x0004;
  static constexpr uint32_t kIncompatExtents = 0x0040;
  static constexpr uint32_t kIncompat64Bit = 0x0080;
  static constexpr uint32_t kIncompatMmp = 0x0100;
  static constexpr uint32_t kIncompatFlexBg = 0x0200;
  static constexpr uint32_t kIncompatCsumSeed = 0x2000;
  // The incompatible features the reader reads; any other one refuses the
  // whole file system.
  static constexpr uint32_t kKnownIncompat = kIncompatFileType | kIncompatRecover | kIncompatExtents | kIncompat64Bit |
                                             kIncompatMmp | kIncompatFlexBg | kIncompatCsumSeed;
  static constexpr uint32_t kRoCompatHugeFile = 0x0008;

  bool Is64Bit() const { return (FeatureIncompat() & kIncompat64Bit) != 0; }
  bool HasFlexBg() const { return (FeatureIncompat() & kIncompatFlexBg) != 0; }
  bool HasHugeFiles() const { return (FeatureRoCompat() & kRoCompatHugeFile) != 0; }
  uint32_t UnknownIncompatFeatures() const { return FeatureIncompat() & ~kKnownIncompat; }
  // The names of the unknown incompatible features, comma-separated
  // ("inline_data", "meta_bg", or "0x..." for one without a name).
  std::string UnknownIncompatNames() const;

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
  // Bytes per group descriptor: 32, or s_desc_size with the 64bit feature.
  uint32_t GetDescriptorSize() const;
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

// 512-byte sectors that hold a descriptor table of `groups` entries of
// `descriptorSize` bytes.
uint64_t GetGroupDescriptorSectors(uint64_t groups, uint32_t descriptorSize = 32);
