// One inode in memory: the first 128 bytes of its on-disk record, its
// number, and the name under which a directory entry reached it. Answers
// what the inode is (directory, regular file, deleted, sparse), its sizes,
// and whether its block pointers or extent tree are plausible; its data is
// walked with CExt2BlockIterator and a directory's entries with
// CExt2DirEntryIterator.
#pragma once

#include <cstdint>
#include <string>

class CExt2BlockIterator;
class CExt2FileSystem;

class CExt2Inode {
 public:
  static constexpr uint32_t kRawSize = 128;
  static constexpr uint32_t kExtentsFlag = 0x80000;
  static constexpr uint32_t kHugeFileFlag = 0x40000;

  CExt2Inode();
  // Loads the inode (read errors pass to the caller).
  CExt2Inode(const CExt2FileSystem* fs, uint32_t number);
  // A copy of `raw` (kRawSize bytes).
  CExt2Inode(const CExt2FileSystem* fs, const uint8_t* raw, uint32_t number);

  // Stores the number and zeroes the record, then reads it when the inode
  // has a location. Read errors pass to the caller.
  void Load(uint32_t number);
  void SetName(const std::string& name) { m_name = name; }

  const CExt2FileSystem* GetFileSystem() const { return m_fs; }
  const std::string& GetName() const { return m_name; }
  uint32_t GetNameLength() const { return static_cast<uint32_t>(m_name.size()); }
  uint32_t GetInodeNumber() const { return m_number; }
  const uint8_t* GetRawInode() const { return m_raw; }

  uint16_t Mode() const;
  uint32_t Flags() const;
  uint32_t AccessTime() const;
  uint32_t ChangeTime() const;
  uint32_t ModificationTime() const;
  uint32_t DeletionTime() const;
  // i_block[i], 0 <= i < 15.
  uint32_t BlockPointer(int i) const;

  bool IsInUse() const { return Mode() != 0; }
  bool IsDirectory() const { return (Mode() & 0xF000) == 0x4000; }
  bool IsRegular() const { return (Mode() & 0xF000) == 0x8000; }
  bool IsSymlink() const { return (Mode() & 0xF000) == 0xA000; }
  bool IsDeleted() const { return DeletionTime() != 0; }
  bool UsesExtents() const { return (Flags() & kExtentsFlag) != 0; }
  // A symbolic link whose target lies in i_block itself (no data blocks).
  bool IsFastSymlink() const;
  // Regular files: i_size + i_size_high * 2^32; others: i_size.
  uint64_t GetRawSize() const;
  // The raw size, or the allocated bytes when the raw size is 0.
  uint64_t GetSize() const;
  // Allocated 512-byte units (data, map and attribute blocks).
  uint64_t GetAllocatedSectors() const;
  // Fewer units allocated than the size needs: the file has holes.
  bool IsSparse() const { return GetRawSize() / 512 > GetAllocatedSectors(); }
  // Logical blocks the size covers.
  uint64_t GetBlockCount() const;
  // In use, and: with extents, a well-formed root node whose entries name
  // blocks inside the file system; with block maps, each of the first
  // min(size / block size, 13) pointers zero or inside the file system.
  bool HasValidBlockPointers() const;

  // An inode time (seconds since 1970, UTC; negative values taken as 0) as
  // a FILETIME in UTC, whatever the machine's time zone.
  static uint64_t TimeToFileTime(uint32_t seconds);

  CExt2BlockIterator BlocksBegin() const;
  CExt2BlockIterator BlocksEnd() const;

 private:
  uint32_t U32(size_t off) const;
  const CExt2FileSystem* m_fs = nullptr;
  uint8_t m_raw[kRawSize];
  std::string m_name;
  uint32_t m_number = 0;
};
