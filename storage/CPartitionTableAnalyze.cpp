#include "CPartitionTableAnalyze.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CBasicPartitionDevice.h"
#include "CVolumeAnalyzeList.h"
#include "GptPartitionTypeTable.h"
#include "IStorageDevice.h"

namespace {

constexpr size_t kEntryTable = 446;

// One disk being read: its geometry and what went wrong so far.
struct DiskScan {
  IStorageDevice* disk = nullptr;
  uint64_t sectors = 0;
  size_t sectorSize = 0;
  uint32_t problems = 0;
  int ebrCount = 0;
  std::set<uint64_t> visitedEbrs;

  bool Init(IStorageDevice* d) {
    disk = d;
    if (!d) {
      problems |= kPartitionTableUnreadable;
      return false;
    }
    const int ss = d->GetSectorSize();
    if (ss < 512 || ss > 65536 || ss % 512 != 0) {
      problems |= kPartitionTableBadSectorSize;
      return false;
    }
    sectorSize = size_t(ss);
    sectors = d->GetSectorCount();
    if (sectors == 0) {
      problems |= kPartitionTableUnreadable;
      return false;
    }
    return true;
  }
  // Reads `count` sectors at `first`; false outside the disk or on failure.
  bool Read(std::vector<uint8_t>& buffer, uint64_t first, uint64_t count) {
    if (first >= sectors || count == 0 || count > sectors - first) return false;
    buffer.assign(size_t(count) * sectorSize, 0);
    return disk->ReadSectors(buffer.data(), first, count) != 0;
  }
};

// One GPT as read from the disk: the entries of its array.
struct GptTable {
  uint32_t entrySize = 0;
  std::vector<uint8_t> entries;  // entryCount x entrySize bytes
  size_t Count() const { return entrySize ? entries.size() / entrySize : 0; }
  const uint8_t* Entry(size_t i) const { return entries.data() + i * entrySize; }
};

bool IsZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// Reads and checks the GPT header at `lba` and its entry array.
bool ReadGptAt(DiskScan& scan, uint64_t lba, GptTable& out, uint64_t* alternate) {
  std::vector<uint8_t> header;
  if (!scan.Read(header, lba, 1)) return false;
  const uint8_t* h = header.data();
  if (memcmp(h, "EFI PART", 8) != 0) return false;
  const uint32_t headerSize = ReadLE32(h + 12);
  if (headerSize < 92 || headerSize > scan.sectorSize) return false;
  const uint32_t headerCrc = ReadLE32(h + 16);
  std::vector<uint8_t> copy(h, h + headerSize);
  memset(copy.data() + 16, 0, 4);
  if (GptCrc32(copy.data(), copy.size()) != headerCrc) return false;
  if (ReadLE64(h + 24) != lba) return false;
  if (alternate) *alternate = ReadLE64(h + 32);
  const uint64_t arrayLba = ReadLE64(h + 72);
  const uint32_t count = ReadLE32(h + 80);
  const uint32_t entrySize = ReadLE32(h + 84);
  const uint32_t arrayCrc = ReadLE32(h + 88);
  if (entrySize < 128 || entrySize > kMaxGptEntrySize || entrySize % 128 != 0) return false;
  if (count == 0 || count > kMaxGptEntryCount) return false;
  const uint64_t bytes = uint64_t(count) * entrySize;
  if (bytes > kMaxGptArrayBytes) return false;
  const uint64_t arraySectors = (bytes + scan.sectorSize - 1) / scan.sectorSize;
  if (arrayLba == 0 || arrayLba == lba || arrayLba >= scan.sectors || arraySectors > scan.sectors - arrayLba)
    return false;
  std::vector<uint8_t> array;
  if (!scan.Read(array, arrayLba, arraySectors)) return false;
  if (GptCrc32(array.data(), size_t(bytes)) != arrayCrc) return false;
  array.resize(size_t(bytes));
  out.entrySize = entrySize;
  out.entries = std::move(array);
  return true;
}

// The primary GPT, or the backup one when the primary fails its checks.
bool LoadGpt(DiskScan& scan, GptTable& out) {
  uint64_t alternate = 0;
  if (ReadGptAt(scan, 1, out, &alternate)) return true;
  scan.problems |= kPartitionTableBadGptPrimary;
  const uint64_t last = scan.sectors - 1;
  if (last > 1 && ReadGptAt(scan, last, out, nullptr)) return true;
  if (alternate > 1 && alternate != last && alternate < scan.sectors && ReadGptAt(scan, alternate, out, nullptr))
    return true;
  scan.problems |= kPartitionTableBadGptBackup;
  return false;
}

bool ReadSector0(DiskScan& scan, std::vector<uint8_t>& sector) { return scan.Read(sector, 0, 1); }

bool HasMbrType(const std::vector<uint8_t>& sector, uint8_t type) {
  for (int i = 0; i < 4; ++i)
    if (sector[kEntryTable + 16 * i + 4] == type) return true;
  return false;
}

bool IsProtective(const std::vector<uint8_t>& sector) {
  return sector[510] == 0x55 && sector[511] == 0xAA && sector[kEntryTable + 4] == 0xEE;
}

bool GptHasLdm(const GptTable& gpt) {
  for (size_t i = 0; i < gpt.Count(); ++i)
    if (IsLdmGptPartitionType(gpt.Entry(i))) return true;
  return false;
}

bool IsListedStart(const PartitionRecordList& list, uint64_t start) {
  for (const PartitionRecord* r : list)
    if (r && r->startSector == start) return true;
  return false;
}

// What the volume analysers found at a start.
struct ProbeResult {
  EFileSystemType type = EFileSystemType::Unknown;
  char label[100] = {};
  uint64_t sectors = 0;
};

ProbeResult Probe(IStorageDevice* disk, uint64_t start) {
  ProbeResult result;
  CVolumeAnalyzeList analysers(disk, start);
  IVolume* volume = analysers.GetRecognizedVolume();
  if (volume && volume->GetFileSystemType() != EFileSystemType::Unknown) {
    result.type = volume->GetFileSystemType();
    volume->GetVolumeLabel(result.label, sizeof result.label);
    result.label[sizeof result.label - 1] = 0;
    result.sectors = volume->GetSectorCount();
  }
  return result;
}

// The common part of every record: clip at the disk's end, probe, window.
// A start on or past the disk's end, or an empty extent, adds nothing, and
// no two records share a start.
PartitionRecord* AddRecord(DiskScan& scan, uint64_t start, uint64_t count, PartitionRecordList& list,
                           EPartitionSource source, const ProbeResult* probed = nullptr) {
  if (start >= scan.sectors || count == 0) {
    scan.problems |= kPartitionTableBadEntry;
    return nullptr;
  }
  if (IsListedStart(list, start)) return nullptr;
  if (count > scan.sectors - start) count = scan.sectors - start;

  const ProbeResult found = probed ? *probed : Probe(scan.disk, start);
  PartitionRecord* record = new PartitionRecord;
  record->startSector = start;
  record->sectorCount = count;
  record->fileSystemSectors = count;
  record->source = source;
  if (found.type != EFileSystemType::Unknown) {
    record->fileSystem = found.type;
    memcpy(record->label, found.label, sizeof record->label);
    if (found.sectors != 0 && found.sectors <= count) record->fileSystemSectors = found.sectors;
  }
  record->device = new CBasicPartitionDevice(scan.disk, start, count);
  list.push_back(record);
  return record;
}

// One record from a GPT entry: first LBA to last LBA, inclusive.
void AddBasicPartition(DiskScan& scan, const uint8_t* entry, PartitionRecordList& list) {
  const uint64_t first = ReadLE64(entry + 32);
  const uint64_t last = ReadLE64(entry + 40);
  if (last < first || first >= scan.sectors) {
    scan.problems |= kPartitionTableBadEntry;
    return;
  }
  const uint64_t count = last - first == UINT64_MAX ? UINT64_MAX : last - first + 1;
  PartitionRecord* r = AddRecord(scan, first, count, list, EPartitionSource::Gpt);
  if (r) memcpy(r->gptType, entry, 16);
}

// The entries of listed types (not the LDM ones, which make a disk dynamic).
void AddGptEntries(DiskScan& scan, const GptTable& gpt, PartitionRecordList& list) {
  for (size_t i = 0; i < gpt.Count(); ++i) {
    const uint8_t* e = gpt.Entry(i);
    if (IsZero(e, 16)) continue;  // unused entry
    if (!FindGptPartitionType(e) || IsLdmGptPartitionType(e)) continue;
    AddBasicPartition(scan, e, list);
  }
}

// A file system at sector 0; answers whether it owns sector 0 (a boot
// sector in place of an MBR).
bool AddWholeDiskPartition(DiskScan& scan, PartitionRecordList& list) {
  if (IsListedStart(list, 0)) return false;
  const ProbeResult found = Probe(scan.disk, 0);
  if (found.type == EFileSystemType::Unknown) return false;
  PartitionRecord* r = AddRecord(scan, 0, scan.sectors, list, EPartitionSource::WholeDisk, &found);
  return r && (IsFatFamily(found.type) || found.type == EFileSystemType::NTFS || found.type == EFileSystemType::exFAT);
}

void AddMbrEntryPartition(DiskScan& scan, const MbrEntry& entry, uint64_t base, PartitionRecordList& list,
                 EPartitionSource source) {
  if (base >= scan.sectors || entry.StartSector() >= scan.sectors - base) {
    scan.problems |= kPartitionTableBadEntry;
    return;
  }
  PartitionRecord* r = AddRecord(scan, base + entry.StartSector(), entry.SectorCount(), list, source);
  if (r) r->mbrType = entry.type;
}

void WalkExtendedPartitions(DiskScan& scan, uint64_t extStart, uint64_t ebr, PartitionRecordList& list, int depth) {
  if (depth > kMaxExtendedDepth || scan.ebrCount >= kMaxExtendedRecords || !scan.visitedEbrs.insert(ebr).second) {
    scan.problems |= kPartitionTableChainLoop;
    return;
  }
  ++scan.ebrCount;
  std::vector<uint8_t> sector;
  if (!scan.Read(sector, ebr, 1) || !IsValidTableSector(sector.data(), sector.size())) {
    scan.problems |= kPartitionTableBadEbr;
    return;
  }
  for (int i = 0; i < 4; ++i) {
    const MbrEntry entry = MbrEntry::Parse(sector.data() + kEntryTable + 16 * i);
    if (entry.empty) continue;
    if (ebr < scan.sectors && entry.StartSector() < scan.sectors - ebr &&
        IsListedStart(list, ebr + entry.StartSector()))
      return;
    if (entry.type == 0x42) continue;
    if (entry.IsExtended()) {
      const uint64_t next = extStart + entry.StartSector();
      if (next >= scan.sectors) {
        scan.problems |= kPartitionTableBadEntry;
        continue;
      }
      WalkExtendedPartitions(scan, extStart, next, list, depth + 1);
    } else {
      AddMbrEntryPartition(scan, entry, ebr, list, EPartitionSource::Logical);
    }
  }
}

void ReadMbrPartitions(DiskScan& scan, PartitionRecordList& list) {
  std::vector<uint8_t> sector;
  if (!ReadSector0(scan, sector)) {
    scan.problems |= kPartitionTableUnreadable;
    return;
  }
  if (!IsValidTableSector(sector.data(), sector.size())) return;
  for (int i = 0; i < 4; ++i) {
    const MbrEntry entry = MbrEntry::Parse(sector.data() + kEntryTable + 16 * i);
    if (entry.empty || entry.type == 0x42) continue;
    if (entry.type == 0xEE) continue;  // the GPT, read before
    if (!entry.IsExtended() && entry.count != 0xFFFFFFFFu) {
      AddMbrEntryPartition(scan, entry, 0, list, EPartitionSource::Primary);
    } else if (entry.StartSector() == 0 || entry.StartSector() >= scan.sectors) {
      scan.problems |= kPartitionTableBadEntry;
    } else {
      WalkExtendedPartitions(scan, entry.StartSector(), entry.StartSector(), list, 0);
    }
  }
}

void CollectBasic(DiskScan& scan, PartitionRecordList& list) {
  if (AddWholeDiskPartition(scan, list)) return;  // sector 0 is a boot sector, not an MBR
  ReadMbrPartitions(scan, list);
}

// Sector 0 and, on a GPT disk, the GPT: answers whether the disk is dynamic.
bool ProbeDynamic(DiskScan& scan, const std::vector<uint8_t>& sector0, GptTable* gpt, bool* haveGpt) {
  if (HasMbrType(sector0, 0x42)) return true;
  if (!IsProtective(sector0)) return false;
  GptTable local;
  GptTable& table = gpt ? *gpt : local;
  const bool ok = LoadGpt(scan, table);
  if (haveGpt) *haveGpt = ok;
  return ok && GptHasLdm(table);
}

}  // namespace

MbrEntry MbrEntry::Parse(const uint8_t* b) {
  MbrEntry e;
  e.bootIndicator = b[0];
  e.type = b[4];
  e.start = ReadLE32(b + 8);
  e.count = ReadLE32(b + 12);
  e.empty = IsZero(b, 16);
  return e;
}

bool IsValidTableSector(const uint8_t* sector, size_t size) {
  if (!sector || size < 512) return false;
  if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
  for (int i = 0; i < 4; ++i) {
    const uint8_t boot = sector[kEntryTable + 16 * i];
    if (boot != 0x00 && boot != 0x80) return false;
  }
  return true;
}

int AnalyzePartitionTable(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems) {
  DiskScan scan;
  std::vector<uint8_t> sector0;
  if (scan.Init(disk) && !ReadSector0(scan, sector0)) scan.problems |= kPartitionTableUnreadable;
  if (!sector0.empty()) {
    GptTable gpt;
    bool haveGpt = false;
    if (!ProbeDynamic(scan, sector0, &gpt, &haveGpt)) {
      if (haveGpt) AddGptEntries(scan, gpt, list);
      CollectBasic(scan, list);
    }
  }
  if (problems) *problems = scan.problems;
  return int(list.size());
}

bool IsDynamicDisk(IStorageDevice* disk) {
  DiskScan scan;
  std::vector<uint8_t> sector0;
  if (!scan.Init(disk) || !ReadSector0(scan, sector0)) return false;
  return ProbeDynamic(scan, sector0, nullptr, nullptr);
}

bool IsGptProtectiveMbr(IStorageDevice* disk) {
  DiskScan scan;
  std::vector<uint8_t> sector0;
  return scan.Init(disk) && ReadSector0(scan, sector0) && IsProtective(sector0);
}

int ReadGptPartitions(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems) {
  DiskScan scan;
  GptTable gpt;
  if (scan.Init(disk) && LoadGpt(scan, gpt) && !GptHasLdm(gpt)) AddGptEntries(scan, gpt, list);
  if (problems) *problems |= scan.problems;
  return int(list.size());
}

int CollectBasicPartitions(IStorageDevice* disk, PartitionRecordList& list, uint32_t* problems) {
  DiskScan scan;
  if (scan.Init(disk)) CollectBasic(scan, list);
  if (problems) *problems |= scan.problems;
  return int(list.size());
}

uint32_t GptCrc32(const uint8_t* data, size_t size) {
  struct Table {
    uint32_t v[256];
    Table() {
      for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        v[i] = c;
      }
    }
  };
  static const Table table;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table.v[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void FormatPartitionTableProblems(uint32_t problems, char* out, size_t size) {
  if (!out || size == 0) return;
  static const struct {
    uint32_t bit;
    const char* text;
  } names[] = {
      {kPartitionTableUnreadable, "unreadable"},
      {kPartitionTableBadSectorSize, "bad-sector-size"},
      {kPartitionTableBadGptPrimary, "bad-gpt-primary"},
      {kPartitionTableBadGptBackup, "bad-gpt-backup"},
      {kPartitionTableBadEntry, "bad-entry"},
      {kPartitionTableBadEbr, "bad-ebr"},
      {kPartitionTableChainLoop, "chain-loop"},
  };
  std::string text;
  for (const auto& n : names) {
    if (!(problems & n.bit)) continue;
    if (!text.empty()) text += ',';
    text += n.text;
  }
  if (text.empty()) text = "fine";
  snprintf(out, size, "%s", text.c_str());
}
