// Walks inode numbers and hands out each inode from a cached copy of its
// group's inode table (one read per group). The range a scan covers is
// [Begin, End) of the file system: from the first non-reserved inode to the
// scan bound.
#pragma once

#include <cstdint>
#include <vector>

#include "CExt2Inode.h"

class CExt2FileSystem;
class CExt2SuperBlock;

class CExt2InodeIterator {
 public:
  CExt2InodeIterator(const CExt2FileSystem* fs, uint32_t number);

  CExt2InodeIterator& operator++() {
    ++m_number;
    return *this;
  }
  bool operator==(const CExt2InodeIterator& o) const { return m_fs == o.m_fs && m_number == o.m_number; }
  bool operator!=(const CExt2InodeIterator& o) const { return !(*this == o); }
  uint32_t GetInodeNumber() const { return m_number; }
  const CExt2FileSystem* GetFileSystem() const { return m_fs; }

  // The current inode (empty name). A group whose table cannot be read, or
  // a number beyond the groups, gives all-zero inodes (not in use).
  CExt2Inode GetInode();
  // Inode `number` through the same cached table (the iterator moves there).
  CExt2Inode GetInode(uint32_t number) {
    m_number = number;
    return GetInode();
  }
  // Groups whose inode table could not be read so far.
  uint32_t GetUnreadableGroups() const { return m_unreadableGroups; }

  // The first inode a scan visits: the first non-reserved one.
  static uint32_t Begin(const CExt2SuperBlock& super);
  // One past the last inode a scan visits: the last inode, or sooner a
  // hundred times the inodes in use (64-bit arithmetic).
  static uint64_t End(const CExt2SuperBlock& super);

 private:
  const CExt2FileSystem* m_fs;
  uint32_t m_number;
  std::vector<uint8_t> m_table;
  uint64_t m_group = UINT64_MAX;
  uint32_t m_unreadableGroups = 0;
};
