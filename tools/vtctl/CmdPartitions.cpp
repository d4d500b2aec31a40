// vtctl partitions: the basic partitions the partition-table parser finds on
// one disk of the disk table.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "CDiskDevice.h"
#include "CPartitionTableAnalyze.h"
#include "GptPartitionTypeTable.h"
#include "VtCommand.h"

namespace {

const char* KindName(EFileSystemType t) {
  static const char* const names[] = {"FAT12", "FAT16", "FAT32", "NTFS",  "EXT2",
                                      "EXT3",  "RAW",   "EXFAT", "HFS+", "UNKNOWN"};
  const int i = int(t);
  return i >= 0 && i <= 9 ? names[i] : "UNKNOWN";
}

const char* SourceName(EPartitionSource s) {
  switch (s) {
    case EPartitionSource::Gpt: return "gpt";
    case EPartitionSource::WholeDisk: return "disk";
    case EPartitionSource::Primary: return "primary";
    case EPartitionSource::Logical: return "logical";
  }
  return "?";
}

}  // namespace

static int CmdPartitions(const std::vector<std::string>& args) {
  char* end = nullptr;
  const long number = args.size() == 1 ? strtol(args[0].c_str(), &end, 10) : -1;
  if (args.size() != 1 || !end || *end || number < 0 || number > 19) {
    fprintf(stderr, "usage: vtctl partitions DISK\n");
    return 2;
  }
  CDiskDevice disk{int(number)};
  if (disk.GetSectorCount() == 0) {
    fprintf(stderr, "vtctl partitions: disk %ld cannot be opened\n", number);
    return 1;
  }
  PartitionRecordList list;
  uint32_t problems = 0;
  const int count = AnalyzePartitionTable(&disk, list, &problems);
  char problemText[128];
  FormatPartitionTableProblems(problems, problemText, sizeof problemText);
  printf("disk %ld: sector %d, sectors %" PRIu64 ", dynamic %d, partitions %d, tables %s\n", number,
         disk.GetSectorSize(), disk.GetSectorCount(), IsDynamicDisk(&disk) ? 1 : 0, count, problemText);
  printf("%-3s %-8s %12s %12s %12s %-8s %-38s %s\n", "#", "source", "start", "sectors", "fs-sectors", "fs", "type",
         "label");
  int index = 0;
  for (const PartitionRecord* r : list) {
    char type[40];
    if (r->source == EPartitionSource::Gpt)
      FormatGuidString(r->gptType, type);
    else if (r->source == EPartitionSource::WholeDisk)
      snprintf(type, sizeof type, "-");
    else
      snprintf(type, sizeof type, "0x%02x", r->mbrType);
    printf("%-3d %-8s %12" PRIu64 " %12" PRIu64 " %12" PRIu64 " %-8s %-38s %s\n", index++, SourceName(r->source),
           r->startSector, r->sectorCount, r->fileSystemSectors, KindName(r->fileSystem), type, r->label);
  }
  DeletePartitionRecords(list);
  return 0;
}

static VtRegistrar reg("partitions",
                       "partitions DISK: the basic partitions found on disk DISK (start, sectors, file-system "
                       "sectors, type, label)",
                       CmdPartitions);
