#include "CExt2BlockIterator.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "ByteOrder.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"

namespace {
constexpr uint64_t kToTheEnd = UINT64_MAX;
constexpr uint32_t kNodeHeader = 12;
constexpr uint32_t kNodeEntry = 12;
constexpr uint32_t kInodeNodeBytes = 60;  // the root node lives in i_block
constexpr uint16_t kInitMaxLength = 32768;

uint64_t Distance(uint64_t limit, uint64_t logical) {
  return limit == kToTheEnd ? kToTheEnd : limit - logical;
}
}  // namespace

CExt2BlockIterator::CExt2BlockIterator(const CExt2Inode* inode, uint64_t index) : m_inode(inode), m_index(index) {}

CExt2BlockIterator::CExt2BlockIterator(const CExt2BlockIterator& other)
    : m_inode(other.m_inode), m_index(other.m_index), m_data(other.m_data) {}

CExt2BlockIterator& CExt2BlockIterator::operator=(const CExt2BlockIterator& other) {
  if (this == &other) return *this;
  m_inode = other.m_inode;
  m_index = other.m_index;
  m_data = other.m_data;
  for (Slot& slot : m_cache) slot = Slot();
  return *this;
}

bool CExt2BlockIterator::IsExtentNode(const uint8_t* node, uint32_t bytes) {
  if (!node || bytes < kNodeHeader) return false;
  const uint16_t entries = ReadLE16(node + 2), max = ReadLE16(node + 4), depth = ReadLE16(node + 6);
  return ReadLE16(node) == kExtentMagic && entries <= max &&
         kNodeHeader + static_cast<uint32_t>(max) * kNodeEntry <= bytes && depth <= kMaxExtentDepth;
}

const uint8_t* CExt2BlockIterator::LoadLevel(int level, uint64_t block) {
  const CExt2FileSystem* fs = m_inode ? m_inode->GetFileSystem() : nullptr;
  if (!fs || level < 0 || level > kMaxExtentDepth) return nullptr;
  Slot& slot = m_cache[level];
  if (slot.loaded && slot.block == block) return slot.data.data();
  slot.data.assign(fs->GetSuperBlock().GetBlockSize(), 0);
  try {
    fs->ReadBlocks(slot.data.data(), block, 1);
  } catch (const std::exception&) {
    // An unreadable map block reads as zeros: every block behind it is a hole.
    std::fill(slot.data.begin(), slot.data.end(), 0);
  }
  slot.block = block;
  slot.loaded = true;
  return slot.data.data();
}

namespace {
// Entry `index` of a table of `entries` block numbers, and in `count` how
// many entries from there continue it: contiguous valid blocks, or
// entries that are zero or outside the file system (holes).
uint64_t TableRun(const CExt2FileSystem& fs, const uint8_t* table, uint64_t entries, uint64_t index, uint64_t& count) {
  const uint64_t block = ReadLE32(table + 4 * index);
  const bool hole = block == 0 || !fs.IsValidBlock(block);
  count = 1;
  while (index + count < entries) {
    const uint64_t next = ReadLE32(table + 4 * (index + count));
    const bool nextHole = next == 0 || !fs.IsValidBlock(next);
    if (hole ? !nextHole : (nextHole || next != block + count)) break;
    ++count;
  }
  return hole ? 0 : block;
}
}  // namespace

uint64_t CExt2BlockIterator::Map(uint64_t logical, uint64_t& count) {
  count = kToTheEnd;
  const CExt2FileSystem* fs = m_inode ? m_inode->GetFileSystem() : nullptr;
  if (!fs) return 0;
  if (m_inode->UsesExtents()) return MapExtents(logical, count);
  const uint64_t k = fs->GetSuperBlock().GetBlockSize() / 4;
  if (k == 0) return 0;
  if (logical < 12) return TableRun(*fs, m_inode->GetRawInode() + 40, 12, logical, count);
  uint64_t rest = logical - 12;
  uint64_t span = k;
  for (int depth = 1; depth <= 3; ++depth) {
    if (rest < span) return MapBlockTree(m_inode->BlockPointer(11 + depth), depth, rest, count);
    rest -= span;
    span *= k;
  }
  return 0;
}

uint64_t CExt2BlockIterator::MapBlockTree(uint32_t root, int depth, uint64_t logical, uint64_t& count) {
  const CExt2FileSystem* fs = m_inode->GetFileSystem();
  const uint64_t k = fs->GetSuperBlock().GetBlockSize() / 4;
  uint64_t span = 1;
  for (int i = 0; i < depth; ++i) span *= k;
  uint64_t block = root;
  for (int level = 0; level < depth; ++level) {
    // A missing or impossible map block: a hole as far as it would reach.
    const uint8_t* map = (block == 0 || !fs->IsValidBlock(block)) ? nullptr : LoadLevel(level, block);
    if (!map) {
      count = span - logical;
      return 0;
    }
    span /= k;
    if (level == depth - 1) return TableRun(*fs, map, k, logical, count);
    block = ReadLE32(map + 4 * (logical / span));
    logical %= span;
  }
  return 0;
}

uint64_t CExt2BlockIterator::MapExtents(uint64_t logical, uint64_t& count) {
  const CExt2FileSystem* fs = m_inode->GetFileSystem();
  const uint32_t blockSize = fs->GetSuperBlock().GetBlockSize();
  const uint8_t* node = m_inode->GetRawInode() + 40;
  uint32_t nodeBytes = kInodeNodeBytes;
  uint64_t limit = kToTheEnd;  // where the subtree being walked ends
  int expectedDepth = -1;
  for (int level = 0; level <= kMaxExtentDepth; ++level) {
    if (!IsExtentNode(node, nodeBytes) || (expectedDepth >= 0 && ReadLE16(node + 6) != expectedDepth)) {
      count = Distance(limit, logical);
      return 0;
    }
    const uint16_t entries = ReadLE16(node + 2);
    const uint16_t depth = ReadLE16(node + 6);
    uint64_t next = limit;
    if (depth == 0) {
      for (uint16_t i = 0; i < entries; ++i) {
        const uint8_t* e = node + kNodeHeader + kNodeEntry * i;
        const uint64_t first = ReadLE32(e);
        const uint16_t raw = ReadLE16(e + 4);
        const bool unwritten = raw > kInitMaxLength;
        const uint64_t length = unwritten ? raw - kInitMaxLength : raw;
        if (logical >= first && logical - first < length) {
          count = std::min(first + length - logical, Distance(limit, logical));
          const uint64_t start = (static_cast<uint64_t>(ReadLE16(e + 6)) << 32) | ReadLE32(e + 8);
          // Unwritten extents read as zeros, as do extents outside the file system.
          if (unwritten || start == 0 || !fs->IsValidBlock(start) || !fs->IsValidBlock(start + length - 1)) return 0;
          return start + (logical - first);
        }
        if (first > logical) next = std::min(next, first);
      }
      count = Distance(next, logical);
      return 0;
    }
    int best = -1;
    uint64_t bestFirst = 0;
    for (uint16_t i = 0; i < entries; ++i) {
      const uint64_t first = ReadLE32(node + kNodeHeader + kNodeEntry * i);
      if (first <= logical && (best < 0 || first >= bestFirst)) {
        best = i;
        bestFirst = first;
      } else if (first > logical) {
        next = std::min(next, first);
      }
    }
    limit = next;
    if (best < 0) {
      count = Distance(limit, logical);
      return 0;
    }
    const uint8_t* e = node + kNodeHeader + kNodeEntry * best;
    const uint64_t child = (static_cast<uint64_t>(ReadLE16(e + 8)) << 32) | ReadLE32(e + 4);
    if (child == 0 || !fs->IsValidBlock(child) || !(node = LoadLevel(level, child))) {
      count = Distance(limit, logical);
      return 0;
    }
    nodeBytes = blockSize;
    expectedDepth = depth - 1;
  }
  count = Distance(limit, logical);
  return 0;
}

Ext2BlockData CExt2BlockIterator::ReadBlock() {
  Ext2BlockData result;
  const CExt2FileSystem* fs = m_inode ? m_inode->GetFileSystem() : nullptr;
  if (!fs) return result;
  result.block = GetBlockNumber();
  if (result.block == 0) return result;
  const uint32_t blockSize = fs->GetSuperBlock().GetBlockSize();
  m_data.resize(blockSize);
  try {
    fs->ReadBlocks(m_data.data(), result.block, 1);
  } catch (const std::exception&) {
    return result;
  }
  result.data = m_data.data();
  result.length = blockSize;
  const uint64_t rawSize = m_inode->GetRawSize();
  if (m_inode->GetSize() < (m_index + 1) * blockSize && rawSize % blockSize != 0)
    result.length = static_cast<uint32_t>(rawSize % blockSize);
  return result;
}
