// The numbering schemes of file-system kinds. Each part of the engine
// counts kinds its own way; each scheme is its own enum with its own values,
// and FileSystemTypes.cpp holds the one table that converts between them.
#pragma once

#include <cstdint>

// The file-system type of a volume (volume list, pages, runs, controllers).
enum class EFileSystemType : int32_t {
  FAT12 = 0,
  FAT16 = 1,
  FAT32 = 2,
  NTFS = 3,
  Ext2 = 4,
  Ext3 = 5,
  RAW = 6,
  exFAT = 7,
  HFSPlus = 8,
  Unknown = 9,
};

// The kind answered by searched partitions and file properties.
enum class EPartitionKind : int32_t {
  NTFS = 0,
  FAT = 1,
  Ext2 = 2,
  RAW = 3,
  exFAT = 4,
  HFSPlus = 5,
  None = 6,
};

// The kind of the complete-search controllers.
enum class ECompleteSearchKind : int32_t {
  NTFS = 0,
  FAT = 1,
  RAW = 2,
  Ext2 = 3,
  exFAT = 4,
  HFSPlus = 5,
};

// The tree kind of the directory-tree builder.
enum class ETreeKind : int32_t {
  FAT = 0,
  NTFS = 1,
  Ext2 = 2,
  RAW = 3,
  exFAT = 4,
  HFSPlus = 5,
  None = 6,
};

// The kind of a data-run list.
enum class EDataRunKind : int32_t {
  FAT = 0,
  NTFSResident = 1,
  NTFSNonResident = 2,
  RAW = 3,
  Ext2 = 4,
  exFAT = 5,
  HFSPlus = 6,
};

// FAT12, FAT16 and FAT32 are one family wherever kinds are compared.
inline bool IsFatFamily(EFileSystemType t) {
  return t == EFileSystemType::FAT12 || t == EFileSystemType::FAT16 || t == EFileSystemType::FAT32;
}

// Conversions between the schemes, all read from one table. A kind with no
// counterpart answers false (the output unchanged). FAT12, FAT16 and FAT32
// all map to the FAT kinds; the FAT kinds map back to FAT32, and Ext2 kinds
// to Ext2.
bool ToPartitionKind(EFileSystemType type, EPartitionKind& out);
bool ToFileSystemType(EPartitionKind kind, EFileSystemType& out);
bool ToCompleteSearchKind(EPartitionKind kind, ECompleteSearchKind& out);
bool ToPartitionKind(ECompleteSearchKind kind, EPartitionKind& out);
bool ToTreeKind(EFileSystemType type, ETreeKind& out);
bool ToTreeKind(EPartitionKind kind, ETreeKind& out);
// FAT12 and FAT16 become FAT32; every other type stays.
EFileSystemType FatGroup(EFileSystemType type);
