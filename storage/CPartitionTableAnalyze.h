// The partition-table parser: turns the first sectors of a physical disk
// into a list of basic partitions (GPT entries, a file system at sector 0,
// the MBR and its extended boot records), each probed by the volume
// analysers and given a CBasicPartitionDevice window over its table extent.
// Disks with dynamic-disk (LDM) partitions give no basic partitions here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PartitionRecord.h"

class IStorageDevice;

// What went wrong while reading the tables; a bit set. Whatever was found
// before a problem stays in the list.
enum PartitionTableProblem : uint32_t {
  kPartitionTableFine = 0,
  kPartitionTableUnreadable = 1u << 0,     // no device, no size, or sector 0 unreadable
  kPartitionTableBadSectorSize = 1u << 1,  // sector size not 512 to 65536, multiple of 512
  kPartitionTableBadGptPrimary = 1u << 2,  // primary GPT header or entry array failed its checks
  kPartitionTableBadGptBackup = 1u << 3,   // ... and so did the backup (no GPT entries used)
  kPartitionTableBadEntry = 1u << 4,       // an entry outside the disk or ending before its start
  kPartitionTableBadEbr = 1u << 5,         // an extended boot record unreadable or without its marks
  kPartitionTableChainLoop = 1u << 6,      // an extended chain that loops or runs too long
};

// Limits on what the tables may claim.
constexpr uint32_t kMaxGptEntryCount = 4096;
constexpr uint32_t kMaxGptEntrySize = 4096;
constexpr uint32_t kMaxGptArrayBytes = 1u << 20;
constexpr int kMaxExtendedDepth = 128;  // links followed in one chain
constexpr int kMaxExtendedRecords = 1024;

// The MBR entry: 16 bytes at 446 + 16 x i of sector 0 or of an EBR.
struct MbrEntry {
  uint8_t bootIndicator = 0;
  uint8_t type = 0;
  uint32_t start = 0;  // relative
  uint32_t count = 0;
  bool empty = true;   // all 16 bytes zero

  static MbrEntry Parse(const uint8_t* bytes);
  uint64_t StartSector() const { return start; }
  uint64_t SectorCount() const { return count; }
  bool IsExtended() const { return type == 0x05 || type == 0x0F || type == 0x85; }
};

// The two tests of every table sector: 0x55 0xAA at 510, and every boot
// indicator 0x00 or 0x80. `size` is the sector size.
bool IsValidTableSector(const uint8_t* sector, size_t size);

// The entry point: fills `list` and answers its size. `problems` (when not
// null) receives the PartitionTableProblem bits.
int AnalyzePartitionTable(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems = nullptr);

// True when sector 0 has an entry of type 0x42, or the disk's GPT has a
// partition of the LDM metadata or data type.
bool IsDynamicDisk(IStorageDevice* disk);
// Sector 0 has its 0x55 0xAA mark and a first entry of type 0xEE.
bool IsGptProtectiveMbr(IStorageDevice* disk);
// The GPT entries whose types are listed (rows 2 to 52) in entry order;
// answers the list's size.
int ReadGptPartitions(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems = nullptr);
// A file system at sector 0, then the MBR and its extended chains; answers
// the list's size.
int CollectBasicPartitions(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems = nullptr);

// The CRC-32 of GPT headers and entry arrays.
uint32_t GptCrc32(const uint8_t* data, size_t size);

// Text of the problem bits, for logs and vtctl ("fine" when none).
void FormatPartitionTableProblems(uint32_t problems, char* out, size_t size);

// Never instantiated; the parser is the free functions above.
class CPartitionTableAnalyze {
 public:
  virtual ~CPartitionTableAnalyze() = default;
};
