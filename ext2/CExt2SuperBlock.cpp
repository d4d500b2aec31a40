#include "CExt2SuperBlock.h"

#include <cstdio>
#include <cstring>

#include "ByteOrder.h"

namespace {
// Block sizes the reader accepts: 1024 << 0..3.
constexpr uint32_t kMaxLogBlockSize = 3;
}  // namespace

CExt2SuperBlock::CExt2SuperBlock() {
  m_raw.fill(0);
}

CExt2SuperBlock::CExt2SuperBlock(const uint8_t* bytes) {
  std::memcpy(m_raw.data(), bytes, kSize);
}

uint32_t CExt2SuperBlock::U32(size_t off) const {
  return ReadLE32(m_raw.data() + off);
}
uint16_t CExt2SuperBlock::U16(size_t off) const {
  return ReadLE16(m_raw.data() + off);
}
void CExt2SuperBlock::SetU32(size_t off, uint32_t v) {
  WriteLE32(m_raw.data() + off, v);
}
void CExt2SuperBlock::SetU16(size_t off, uint16_t v) {
  WriteLE16(m_raw.data() + off, v);
}

void CExt2SuperBlock::SetBlockGroupNr(uint16_t nr) {
  SetU16(90, nr);
}

uint32_t CExt2SuperBlock::GetBlockSize() const {
  uint32_t log = LogBlockSize();
  return log <= kMaxLogBlockSize ? (1024u << log) : 0;
}

uint64_t CExt2SuperBlock::GetGroupCount() const {
  uint64_t perGroup = BlocksPerGroup();
  if (perGroup == 0 || FirstDataBlock() >= BlocksCount()) return 0;
  return (BlocksCount() - FirstDataBlock() + perGroup - 1) / perGroup;
}

uint32_t CExt2SuperBlock::GetDescriptorSize() const {
  return Is64Bit() ? DescSizeField() : 32;
}

std::string CExt2SuperBlock::UnknownIncompatNames() const {
  static const struct {
    uint32_t bit;
    const char* name;
  } kNames[] = {{0x0001, "compression"}, {0x0008, "journal_dev"}, {0x0010, "meta_bg"},
                {0x0400, "ea_inode"},    {0x1000, "dirdata"},     {0x4000, "large_dir"},
                {0x8000, "inline_data"}, {0x10000, "encrypt"},    {0x20000, "casefold"}};
  std::string text;
  uint32_t left = UnknownIncompatFeatures();
  for (const auto& n : kNames) {
    if (!(left & n.bit)) continue;
    if (!text.empty()) text += ", ";
    text += n.name;
    left &= ~n.bit;
  }
  if (left) {
    char hex[16];
    snprintf(hex, sizeof hex, "0x%x", left);
    if (!text.empty()) text += ", ";
    text += hex;
  }
  return text;
}

uint64_t CExt2SuperBlock::GetInodeGroup(uint32_t inode) const {
  if (inode == 0 || InodesPerGroup() == 0) return 0;
  return (inode - 1) / InodesPerGroup();
}

uint64_t CExt2SuperBlock::GetInodeTableBlocks() const {
  uint64_t blockSize = GetBlockSize();
  if (blockSize == 0) return 0;
  return (static_cast<uint64_t>(GetInodeSize()) * InodesPerGroup() + blockSize - 1) / blockSize;
}

int64_t CExt2SuperBlock::GetCopyOffsetSectors() const {
  int64_t offset = static_cast<int64_t>(BlockGroupNr()) * BlocksPerGroup() * GetSectorsPerBlock();
  if (FirstDataBlock() == 0) offset -= 2;
  return offset;
}

void CExt2SuperBlock::Normalize() {
  if (RevLevel() == 0) SetU16(88, 128);
  uint32_t blockSize = GetBlockSize();
  if (blockSize != 0) SetU32(20, blockSize == 1024 ? 1 : 0);
  uint64_t groups = GetGroupCount();
  uint64_t perGroup = InodesPerGroup();
  if (groups == 0 || perGroup == 0) return;
  uint64_t inodes = InodesCount();
  uint64_t full = groups * perGroup;
  if (inodes <= GetFirstInode() || inodes <= (groups - 1) * perGroup || inodes > full)
    SetU32(0, full > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(full));
}

bool CExt2SuperBlock::IsValid() const {
  if (Magic() != kMagic) return false;
  if (BlocksCount() == 0 || InodesCount() == 0 || BlocksPerGroup() == 0 || InodesPerGroup() == 0) return false;
  const uint32_t blockSize = GetBlockSize();
  if (blockSize == 0) return false;
  if (FirstDataBlock() >= BlocksCount()) return false;
  const uint64_t groups = GetGroupCount();
  if (BlockGroupNr() > groups) return false;
  // Inode sizes are powers of two from 128 up to the block size.
  const uint32_t inodeSize = GetInodeSize();
  if (inodeSize < 128 || inodeSize > blockSize || (inodeSize & (inodeSize - 1)) != 0) return false;
  // One bitmap block per group maps the group's blocks and its inodes.
  const uint64_t bitsPerBlock = 8ull * blockSize;
  if (BlocksPerGroup() > bitsPerBlock || InodesPerGroup() > bitsPerBlock) return false;
  // 64-byte descriptors or larger powers of two up to 1024 with the 64bit
  // feature; the descriptor table has to fit in a group.
  const uint32_t descSize = GetDescriptorSize();
  if (descSize < 32 || descSize > 1024 || (descSize & (descSize - 1)) != 0 || (Is64Bit() && descSize < 64))
    return false;
  if (groups * descSize > static_cast<uint64_t>(BlocksPerGroup()) * blockSize) return false;
  if (GetFirstInode() >= InodesCount()) return false;
  if (InodesCount() > groups * InodesPerGroup()) return false;
  return FreeInodesCount() <= InodesCount();
}

bool CExt2SuperBlock::IsSameAs(const CExt2SuperBlock& o) const {
  return Magic() == o.Magic() && LogBlockSize() == o.LogBlockSize() && BlocksCount() == o.BlocksCount() &&
         InodesCount() == o.InodesCount() && BlocksPerGroup() == o.BlocksPerGroup() &&
         InodesPerGroup() == o.InodesPerGroup() && InodeSizeField() == o.InodeSizeField() &&
         FirstDataBlock() == o.FirstDataBlock() && std::memcmp(Uuid(), o.Uuid(), 16) == 0;
}

uint64_t GetGroupDescriptorSectors(uint64_t groups, uint32_t descriptorSize) {
  return (groups * descriptorSize + 511) / 512;
}
