// The entries of one directory, read through a two-block window (the
// previous and the current block of the directory), so that an entry near
// a block's end is read whole. The next block is loaded as soon as the
// offset comes within 264 bytes (the longest entry) of it. Blocks with
// checksum tails and hashed-directory index blocks read as plain entries:
// their empty entries are passed over, never taken for the end.
//
// With a deleted-name store, the slack behind each live entry of the
// directory's first block is searched for the entries of deleted files,
// whose names go to the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CExt2BlockIterator.h"
#include "CExt2Inode.h"

class CExt2DeletedNames;

class CExt2DirEntryIterator {
 public:
  static constexpr uint32_t kLookAhead = 264;

  // The directory inode must outlive the iterator. `offset` at or beyond
  // the directory's size makes the end iterator; when the first block
  // cannot be loaded the iterator starts at the end.
  CExt2DirEntryIterator(const CExt2Inode* directory, uint64_t offset, CExt2DeletedNames* names = nullptr);

  // The current entry in the window; throws CExt2DirEntry::CBadDir without
  // a window. `available` gets the bytes from the entry to the window's end.
  const uint8_t* GetEntry(size_t* available = nullptr) const;
  CExt2DirEntryIterator& operator++();
  void SetEnd();
  // At or past the directory's size, or nothing loaded.
  bool IsEnd() const;
  // Two iterators at their end are equal; otherwise equal when they walk the
  // same directory object at the same offset.
  bool operator==(const CExt2DirEntryIterator& o) const;
  bool operator!=(const CExt2DirEntryIterator& o) const { return !(*this == o); }
  // The inode the current entry names, loaded when the entry is valid, named
  // by the entry. Read errors pass to the caller.
  CExt2Inode operator*() const;
  // The current entry's inode number and name without reading the inode;
  // false for an entry that is not valid.
  bool GetEntryInode(uint32_t& number, std::string& name) const;

  uint64_t GetOffset() const { return m_offset; }
  // The directory block that sits last in the window.
  uint64_t GetWindowBlock() const { return m_blocks.GetIndex(); }

 private:
  bool LoadNextBlock();
  void ScanSlack(const uint8_t* p, size_t length);

  const CExt2Inode* m_directory;
  CExt2DeletedNames* m_names;
  uint32_t m_blockSize = 0;
  uint64_t m_size = 0;
  uint64_t m_offset;
  std::vector<uint8_t> m_window;
  CExt2BlockIterator m_blocks;
};
