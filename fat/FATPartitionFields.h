// What the quick scrub learns of its FAT partition: the geometry a later
// rebuild needs and the flags that say how the partition was found. The FAT
// searched-partition record (CFATSearchedPartitionInfo) takes it over.
#pragma once

#include <cstdint>

// Flag bits (OR-ed).
enum FATPartitionFlag : uint32_t {
  kFATFlagFAT12Boot = 0x01,         // FAT12 found through its main boot sector
  kFATFlagFAT16Boot = 0x02,         // FAT16 found through its main boot sector
  kFATFlagFAT32Boot = 0x04,         // FAT32 found through its main boot sector
  kFATFlagFAT32Backup = 0x08,       // FAT32 found (also) through its backup boot sector
  kFATFlagFromDirectory = 0x10,     // inferred from a first directory cluster
  kFATFlagPrimaryFATSeen = 0x40,    // a FAT sector lies exactly at the primary FAT start
  kFATFlagLoadPrimary = 0x80,       // load the primary FAT copy
  kFATFlagSecondaryFATSeen = 0x100, // a FAT sector lies exactly at the secondary FAT start
  kFATFlagLoadSecondary = 0x200,    // load the secondary FAT copy
};

struct FATPartitionFields {
  // Fields the FAT side fills in the base record.
  uint32_t fileSystemType = 9;  // EFileSystemType code
  uint32_t sectorsPerCluster = 0;
  uint64_t dataStart = 0;  // first sector of cluster 2
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
  uint32_t bytesPerSector = 512;

  // The FAT record's own fields.
  uint16_t reservedSectors = 0;
  uint32_t fatSize = 0;
  uint32_t clusterCount = 0;
  uint32_t rootInfo = 0;  // FAT12/16: root directory sectors; FAT32: root cluster
  uint32_t flags = 0;

  void AddFlags(uint32_t f) { flags |= f; }
  // Found through a boot sector (any of the four boot bits).
  bool FoundByBootSector() const { return (flags & 0x0F) != 0; }
};
