// One basic partition of a disk, as the partition-table parser lists it.
#pragma once

#include <cstdint>
#include <list>

#include "FileSystemTypes.h"

class CBasicPartitionDevice;

// Where a record came from.
enum class EPartitionSource : int32_t {
  Gpt = 0,        // an entry of the GPT entry array
  WholeDisk = 1,  // a file system that starts at sector 0 (no partition table)
  Primary = 2,    // one of the four entries of the MBR
  Logical = 3,    // an entry of an extended boot record
};

struct PartitionRecord {
  uint64_t startSector = 0;
  // The extent the partition table gives (cut at the disk's end): the
  // window of `device`, and what a partition wipe covers.
  uint64_t sectorCount = 0;
  char label[100] = {};
  char driveLetter = 0;  // 0 until the volume collection gives one
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  CBasicPartitionDevice* device = nullptr;  // owned by the record's holder
  // The size the file system reports, at most `sectorCount`: for display
  // and file-system work only. Equals `sectorCount` when nothing reported one.
  uint64_t fileSystemSectors = 0;
  EPartitionSource source = EPartitionSource::Primary;
  uint8_t mbrType = 0;         // MBR and EBR entries
  uint8_t gptType[16] = {};    // GPT entries: the type GUID as stored
};

using PartitionRecordList = std::list<PartitionRecord*>;

// Deletes every record and its device and empties the list.
void DeletePartitionRecords(PartitionRecordList& list);
