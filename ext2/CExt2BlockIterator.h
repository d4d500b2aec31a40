// Walks an inode's logical blocks: through the direct, single-, double- and
// triple-indirect block maps, or through the extent tree of an inode with
// the extents flag (header magic 0xF30A, entry counts within the node, depth
// at most 5, 48-bit starts; uninitialised extents read as holes). Map and
// extent-tree blocks are cached one per level, so walking consecutive blocks
// reads each of them once. Unreadable or damaged map blocks, and block
// numbers outside the file system, read as holes: nothing here throws.
#pragma once

#include <cstdint>
#include <vector>

class CExt2Inode;
class CExt2FileSystem;

struct Ext2BlockData {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  uint64_t block = 0;
};

class CExt2BlockIterator {
 public:
  static constexpr int kMaxExtentDepth = 5;
  static constexpr uint16_t kExtentMagic = 0xF30A;

  // The inode must outlive the iterator.
  CExt2BlockIterator(const CExt2Inode* inode, uint64_t index);
  // Copies inode, index and the data buffer; the map cache starts empty.
  CExt2BlockIterator(const CExt2BlockIterator& other);
  CExt2BlockIterator& operator=(const CExt2BlockIterator& other);

  CExt2BlockIterator& operator++() {
    ++m_index;
    return *this;
  }
  bool operator==(const CExt2BlockIterator& o) const { return m_inode == o.m_inode && m_index == o.m_index; }
  bool operator!=(const CExt2BlockIterator& o) const { return !(*this == o); }
  uint64_t GetIndex() const { return m_index; }

  // The block that holds logical block `logical` (the current one without
  // an argument); 0 for a hole.
  uint64_t GetBlockNumber() { return GetBlockNumber(m_index); }
  uint64_t GetBlockNumber(uint64_t logical) {
    uint64_t count = 0;
    return Map(logical, count);
  }
  // The block that holds `logical` (0: a hole) and in `count` how many
  // logical blocks from there on continue the same way (contiguous on disk,
  // or hole); at least 1, UINT64_MAX for a hole to the end of the map.
  uint64_t Map(uint64_t logical, uint64_t& count);
  // Reads the current block: {data, length, block}; the last block of the
  // file is cut at the size. {null, 0, block} for a hole or a failed read.
  Ext2BlockData ReadBlock();

  // Whether an extent-tree node of `bytes` bytes has a sound header (magic,
  // entries <= max, max fitting the node, depth <= 5).
  static bool IsExtentNode(const uint8_t* node, uint32_t bytes);

 private:
  struct Slot {
    uint64_t block = 0;
    bool loaded = false;
    std::vector<uint8_t> data;
  };
  uint64_t MapBlockTree(uint32_t root, int depth, uint64_t logical, uint64_t& count);
  uint64_t MapExtents(uint64_t logical, uint64_t& count);
  // The block cached at `level`, read when another one is there; null
  // only without a file system.
  const uint8_t* LoadLevel(int level, uint64_t block);

  const CExt2Inode* m_inode;
  uint64_t m_index;
  std::vector<uint8_t> m_data;
  Slot m_cache[kMaxExtentDepth + 1];
};
