#include "CExt2Inode.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CExt2BlockIterator.h"
#include "CExt2FileSystem.h"

CExt2Inode::CExt2Inode() {
  std::memset(m_raw, 0, sizeof m_raw);
}

CExt2Inode::CExt2Inode(const CExt2FileSystem* fs, uint32_t number) : m_fs(fs) {
  Load(number);
}

CExt2Inode::CExt2Inode(const CExt2FileSystem* fs, const uint8_t* raw, uint32_t number) : m_fs(fs), m_number(number) {
  if (raw)
    std::memcpy(m_raw, raw, sizeof m_raw);
  else
    std::memset(m_raw, 0, sizeof m_raw);
}

void CExt2Inode::Load(uint32_t number) {
  m_number = number;
  std::memset(m_raw, 0, sizeof m_raw);
  uint64_t block = 0;
  uint32_t offset = 0;
  if (!m_fs || !m_fs->GetInodeLocation(number, &block, &offset)) return;
  const uint32_t blockSize = m_fs->GetSuperBlock().GetBlockSize();
  if (offset > blockSize || blockSize - offset < kRawSize) return;
  std::vector<uint8_t> buffer(blockSize);
  m_fs->ReadBlocks(buffer.data(), block, 1);
  std::memcpy(m_raw, buffer.data() + offset, kRawSize);
}

uint32_t CExt2Inode::U32(size_t off) const {
  return ReadLE32(m_raw + off);
}
uint16_t CExt2Inode::Mode() const {
  return ReadLE16(m_raw);
}
uint32_t CExt2Inode::Flags() const {
  return U32(32);
}
uint32_t CExt2Inode::AccessTime() const {
  return U32(8);
}
uint32_t CExt2Inode::ChangeTime() const {
  return U32(12);
}
uint32_t CExt2Inode::ModificationTime() const {
  return U32(16);
}
uint32_t CExt2Inode::DeletionTime() const {
  return U32(20);
}
uint32_t CExt2Inode::BlockPointer(int i) const {
  return (i >= 0 && i < 15) ? U32(40 + 4 * i) : 0;
}

uint64_t CExt2Inode::GetRawSize() const {
  if (IsRegular()) return (static_cast<uint64_t>(U32(108)) << 32) | U32(4);
  return U32(4);
}

uint64_t CExt2Inode::GetSize() const {
  const uint64_t raw = GetRawSize();
  return raw != 0 ? raw : GetAllocatedSectors() << 9;
}

uint64_t CExt2Inode::GetAllocatedSectors() const {
  uint64_t units = U32(28);
  if (!m_fs || !m_fs->GetSuperBlock().HasHugeFiles()) return units;
  units |= static_cast<uint64_t>(ReadLE16(m_raw + 116)) << 32;
  // With the huge-file flag the count is in blocks.
  if (Flags() & kHugeFileFlag) units *= m_fs->GetSuperBlock().GetBlockSize() / 512;
  return units;
}

bool CExt2Inode::IsFastSymlink() const {
  if (!IsSymlink() || UsesExtents()) return false;
  const uint64_t blockUnits = m_fs ? m_fs->GetSuperBlock().GetBlockSize() / 512 : 0;
  const uint64_t attributeUnits = U32(104) != 0 ? blockUnits : 0;
  return GetAllocatedSectors() <= attributeUnits;
}

uint64_t CExt2Inode::GetBlockCount() const {
  const uint64_t blockSize = m_fs ? m_fs->GetSuperBlock().GetBlockSize() : 0;
  if (blockSize == 0) return 0;
  const uint64_t size = GetRawSize();
  return size / blockSize + (size % blockSize != 0);
}

bool CExt2Inode::HasValidBlockPointers() const {
  if (!IsInUse() || !m_fs) return false;
  if (UsesExtents()) {
    const uint8_t* root = m_raw + 40;
    if (!CExt2BlockIterator::IsExtentNode(root, 60)) return false;
    const uint16_t entries = ReadLE16(root + 2);
    const bool leaf = ReadLE16(root + 6) == 0;
    for (uint16_t i = 0; i < entries; ++i) {
      const uint8_t* e = root + 12 + 12 * i;
      if (leaf) {
        const uint16_t raw = ReadLE16(e + 4);
        const uint64_t length = raw > 32768 ? raw - 32768u : raw;
        const uint64_t start = (static_cast<uint64_t>(ReadLE16(e + 6)) << 32) | ReadLE32(e + 8);
        if (length != 0 && (!m_fs->IsValidBlock(start) || !m_fs->IsValidBlock(start + length - 1))) return false;
      } else {
        const uint64_t child = (static_cast<uint64_t>(ReadLE16(e + 8)) << 32) | ReadLE32(e + 4);
        if (!m_fs->IsValidBlock(child)) return false;
      }
    }
    return true;
  }
  const uint64_t blockSize = m_fs->GetSuperBlock().GetBlockSize();
  if (blockSize == 0) return false;
  const uint64_t checked = std::min<uint64_t>(GetRawSize() / blockSize, 13);
  for (uint64_t i = 0; i < checked; ++i) {
    const uint32_t b = BlockPointer(static_cast<int>(i));
    if (b != 0 && !m_fs->IsValidBlock(b)) return false;
  }
  return true;
}

CExt2BlockIterator CExt2Inode::BlocksBegin() const {
  return CExt2BlockIterator(this, 0);
}
CExt2BlockIterator CExt2Inode::BlocksEnd() const {
  return CExt2BlockIterator(this, GetBlockCount());
}

uint64_t CExt2Inode::TimeToFileTime(uint32_t seconds) {
  constexpr uint64_t kEpochDifference = 11644473600ull;  // 1601-01-01 to 1970-01-01
  const int32_t value = static_cast<int32_t>(seconds);
  return (static_cast<uint64_t>(value < 0 ? 0 : value) + kEpochDifference) * 10000000ull;
}
