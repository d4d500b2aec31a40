// The partition-table parser on disks built in memory: MBR and extended
// chains, GPT with its checks, dynamic disks, and damaged tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CBasicPartitionDevice.h"
#include "CPartitionTableAnalyze.h"
#include "GptPartitionTypeTable.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "VolumeTypeServices.h"

using testutil::MemoryDevice;

namespace {

void Put32(std::vector<unsigned char>& d, size_t at, uint32_t v) { WriteLE32(d.data() + at, v); }
void Put64(std::vector<unsigned char>& d, size_t at, uint64_t v) { WriteLE64(d.data() + at, v); }

struct Entry {
  uint8_t type;
  uint32_t start;
  uint32_t count;
};

// Writes a table sector (MBR or EBR) at `sector`.
void PutTable(std::vector<unsigned char>& d, size_t ss, uint64_t sector, const std::vector<Entry>& entries) {
  const size_t base = size_t(sector) * ss;
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = base + 446 + 16 * i;
    d[at + 4] = entries[i].type;
    Put32(d, at + 8, entries[i].start);
    Put32(d, at + 12, entries[i].count);
  }
  d[base + 510] = 0x55;
  d[base + 511] = 0xAA;
}

// GUID bytes from text "AABBCCDD-EEFF-GGHH-IIJJ-KKLLMMNNOOPP".
std::vector<uint8_t> Guid(const std::string& t) {
  auto hex = [&](size_t at) { return uint8_t(std::stoul(t.substr(at, 2), nullptr, 16)); };
  std::vector<uint8_t> g = {hex(6), hex(4), hex(2), hex(0), hex(11), hex(9), hex(16), hex(14)};
  for (size_t at : {19, 21, 24, 26, 28, 30, 32, 34}) g.push_back(hex(at));
  return g;
}

const char* const kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
const char* const kLinux = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";
const char* const kLdmData = "AF9B60A0-1431-4F62-BC68-3311714A69AD";
const char* const kMbrScheme = "024DEE41-33E7-11D3-9D69-0008C781F39F";
const char* const kUnlisted = "11111111-2222-3333-4444-555555555555";

struct GptEntry {
  const char* type;
  uint64_t first;
  uint64_t last;
};

// A protective MBR, primary and backup GPT (128 entries of 128 bytes).
void PutGpt(std::vector<unsigned char>& d, size_t ss, const std::vector<GptEntry>& entries) {
  const uint64_t n = d.size() / ss;
  PutTable(d, ss, 0, {{0xEE, 1, uint32_t(n - 1)}});
  std::vector<unsigned char> array(128 * 128, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::vector<uint8_t> g = Guid(entries[i].type);
    memcpy(array.data() + 128 * i, g.data(), 16);
    array[128 * i + 16] = uint8_t(i + 1);  // unique partition GUID
    Put64(array, 128 * i + 32, entries[i].first);
    Put64(array, 128 * i + 40, entries[i].last);
  }
  const uint64_t arraySectors = (array.size() + ss - 1) / ss;
  const uint32_t arrayCrc = GptCrc32(array.data(), array.size());
  auto header = [&](uint64_t self, uint64_t other, uint64_t arrayLba) {
    std::vector<unsigned char> h(ss, 0);
    memcpy(h.data(), "EFI PART", 8);
    Put32(h, 8, 0x00010000);
    Put32(h, 12, 92);
    Put64(h, 24, self);
    Put64(h, 32, other);
    Put64(h, 40, 2 + arraySectors);
    Put64(h, 48, n - 2 - arraySectors);
    Put64(h, 72, arrayLba);
    Put32(h, 80, 128);
    Put32(h, 84, 128);
    Put32(h, 88, arrayCrc);
    Put32(h, 16, GptCrc32(h.data(), 92));
    memcpy(d.data() + self * ss, h.data(), ss);
    memcpy(d.data() + arrayLba * ss, array.data(), array.size());
  };
  header(1, n - 1, 2);
  header(n - 1, 1, n - 1 - arraySectors);
}

// Rewrites the header CRC of the GPT header at `lba` after a change.
void FixHeaderCrc(std::vector<unsigned char>& d, size_t ss, uint64_t lba) {
  unsigned char* h = d.data() + lba * ss;
  memset(h + 16, 0, 4);
  std::vector<unsigned char> copy(h, h + 92);
  Put32(d, lba * ss + 16, GptCrc32(copy.data(), 92));
}

struct Extent {
  uint64_t start, count;
  bool operator==(const Extent& o) const { return start == o.start && count == o.count; }
};
std::ostream& operator<<(std::ostream& os, const Extent& e) { return os << "{" << e.start << "," << e.count << "}"; }

std::vector<Extent> Analyze(IStorageDevice* disk, uint32_t* problems = nullptr) {
  PartitionRecordList list;
  AnalyzePartitionTable(disk, list, problems);
  std::vector<Extent> out;
  for (const PartitionRecord* r : list) {
    out.push_back({r->startSector, r->sectorCount});
    EXPECT_TRUE(r->device);
    if (r->device) {
      EXPECT_EQ(r->device->GetStartSector(), r->startSector);
      EXPECT_EQ(r->device->GetSectorCount(), r->sectorCount);
    }
    EXPECT_EQ(r->fileSystem, EFileSystemType::Unknown);
    EXPECT_EQ(r->fileSystemSectors, r->sectorCount);
  }
  DeletePartitionRecords(list);
  return out;
}

}  // namespace

TEST(GptTypeTable, RowsGuidTextAndLookups) {
  for (int i = 0; i < kGptPartitionTypeRows; ++i) {
    EXPECT_EQ(GptPartitionTypeTable[i].row, i + 1);
    EXPECT_EQ(strlen(GptPartitionTypeTable[i].guid), 36u);
    // Every row's text survives the round trip through the on-disk form.
    char text[37];
    FormatGuidString(Guid(GptPartitionTypeTable[i].guid).data(), text);
    EXPECT_STREQ(text, GptPartitionTypeTable[i].guid);
  }
  EXPECT_FALSE(FindGptPartitionType(Guid(kMbrScheme).data()));
  EXPECT_FALSE(FindGptPartitionType(Guid(kUnlisted).data()));
  EXPECT_TRUE(FindGptPartitionType(Guid(kBasicData).data()));
  EXPECT_TRUE(IsLdmGptPartitionType(Guid(kLdmData).data()));
  EXPECT_FALSE(IsLdmGptPartitionType(Guid(kLinux).data()));
  // Rows 25 and 35 share a GUID; the lookup stops at the first.
  EXPECT_EQ(FindGptPartitionTypeRow(Guid("6A898CC3-1DD2-11B2-99A6-080020736631").data())->row, 25);
}

TEST(VolumeTypeNames, MbrTypesAndNames) {
  const struct {
    uint8_t type;
    EFileSystemType fs;
  } cases[] = {{0x01, EFileSystemType::FAT12}, {0x11, EFileSystemType::FAT12}, {0x06, EFileSystemType::FAT16},
               {0x1E, EFileSystemType::FAT16}, {0x0B, EFileSystemType::FAT32}, {0x1B, EFileSystemType::FAT32},
               {0x07, EFileSystemType::NTFS},  {0x17, EFileSystemType::NTFS},  {0x83, EFileSystemType::Ext2},
               {0x93, EFileSystemType::Ext2},  {0x05, EFileSystemType::Unknown}, {0x42, EFileSystemType::Unknown}};
  for (const auto& c : cases) EXPECT_EQ(MbrTypeToFileSystem(c.type), c.fs) << int(c.type);
  char name[40];
  GetFileSystemTypeName(EFileSystemType::FAT32, name);
  EXPECT_STREQ(name, "FAT32");
  GetFileSystemTypeName(EFileSystemType::Ext3, name);
  EXPECT_STREQ(name, "EXT3");
  GetFileSystemTypeName(EFileSystemType::exFAT, name);
  EXPECT_STREQ(name, "UNKNOWN");
  GetDynamicVolumeTypeName(EDynamicVolumeType::Striped, name);
  EXPECT_STREQ(name, "STRIPPED");
  GetDynamicVolumeTypeName(static_cast<EDynamicVolumeType>(9), name);
  EXPECT_STREQ(name, "UNKNOWN");
}

TEST(PartitionTable, MbrPrimariesAndExtendedChain) {
  std::vector<unsigned char> d(4096 * 512, 0);
  PutTable(d, 512, 0, {{0x83, 100, 200}, {0x07, 300, 5000}, {0x05, 1000, 2000}, {0x0C, 3500, 100}});
  PutTable(d, 512, 1000, {{0x83, 10, 50}, {0x05, 500, 600}});
  PutTable(d, 512, 1500, {{0x07, 10, 60}, {0x05, 1000, 100}});
  PutTable(d, 512, 2000, {{0x0B, 20, 30}});
  MemoryDevice disk(d);
  uint32_t problems = 99;
  // The entry passing the disk's end keeps its start and is cut there;
  // logical partitions follow their extended entry, in link order.
  const std::vector<Extent> want = {{100, 200}, {300, 3796}, {1010, 50}, {1510, 60}, {2020, 30}, {3500, 100}};
  EXPECT_EQ(Analyze(&disk, &problems), want);
  EXPECT_EQ(problems, 0u);
  EXPECT_FALSE(IsDynamicDisk(&disk));
  EXPECT_FALSE(IsGptProtectiveMbr(&disk));
}

TEST(PartitionTable, DamagedMbrEntriesAreDropped) {
  const struct {
    const char* what;
    std::vector<Entry> entries;
    std::vector<Extent> want;
    uint32_t problems;
  } cases[] = {
      {"start past the end", {{0x83, 4096, 10}, {0x83, 5000, 10}, {0x83, 10, 5}}, {{10, 5}}, kPartitionTableBadEntry},
      {"empty extent", {{0x83, 100, 0}, {0x07, 200, 10}}, {{200, 10}}, kPartitionTableBadEntry},
      {"same start twice", {{0x83, 100, 50}, {0x07, 100, 80}}, {{100, 50}}, 0},
      {"extended past the end", {{0x05, 0xFFFFFF00u, 10}}, {}, kPartitionTableBadEntry},
      {"extended at sector 0", {{0x0F, 0, 10}}, {}, kPartitionTableBadEntry},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> d(4096 * 512, 0);
    PutTable(d, 512, 0, c.entries);
    MemoryDevice disk(d);
    uint32_t problems = 0;
    EXPECT_EQ(Analyze(&disk, &problems), c.want) << c.what;
    EXPECT_EQ(problems, c.problems) << c.what;
  }
}

TEST(PartitionTable, ExtendedChainsThatLoopEnd) {
  // A chain that links back to its first EBR, one that links to itself, and
  // one that runs through far more EBRs than any disk holds.
  for (int kind = 0; kind < 3; ++kind) {
    std::vector<unsigned char> d(8192 * 512, 0);
    PutTable(d, 512, 0, {{0x05, 100, 8000}});
    if (kind == 0) {
      PutTable(d, 512, 100, {{0x83, 1, 10}, {0x05, 100, 100}});
      PutTable(d, 512, 200, {{0x83, 1, 10}, {0x05, 0, 100}});
    } else if (kind == 1) {
      PutTable(d, 512, 100, {{0x83, 1, 10}, {0x05, 0, 100}});
    } else {
      for (uint32_t e = 0; e < 2000; ++e) PutTable(d, 512, 100 + 3 * e, {{0x83, 1, 1}, {0x05, 3 * (e + 1), 3}});
    }
    MemoryDevice disk(d);
    uint32_t problems = 0;
    const std::vector<Extent> got = Analyze(&disk, &problems);
    EXPECT_TRUE(problems & kPartitionTableChainLoop) << kind;
    if (kind == 0) {
      EXPECT_EQ(got, (std::vector<Extent>{{101, 10}, {201, 10}}));
    }
    if (kind == 1) {
      EXPECT_EQ(got, (std::vector<Extent>{{101, 10}}));
    }
    if (kind == 2) {
      EXPECT_LE(got.size(), size_t(kMaxExtendedDepth + 1));
    }
  }
}

TEST(PartitionTable, TableSectorTests) {
  std::vector<unsigned char> d(4096 * 512, 0);
  PutTable(d, 512, 0, {{0x83, 100, 200}});
  d[446] = 0x12;  // a boot indicator that is neither 0x00 nor 0x80
  MemoryDevice disk(d);
  EXPECT_TRUE(Analyze(&disk).empty());
  d[446] = 0x80;
  d[511] = 0;
  MemoryDevice unmarked(d);
  EXPECT_TRUE(Analyze(&unmarked).empty());
}

TEST(PartitionTable, DynamicMbrDiskHasNoBasicPartitions) {
  std::vector<unsigned char> d(4096 * 512, 0);
  PutTable(d, 512, 0, {{0x07, 100, 200}, {0x42, 300, 1000}});
  MemoryDevice disk(d);
  EXPECT_TRUE(IsDynamicDisk(&disk));
  EXPECT_TRUE(Analyze(&disk).empty());
}

TEST(PartitionTable, GptEntriesInOrder) {
  for (size_t ss : {512u, 4096u}) {
    std::vector<unsigned char> d(4096 * ss, 0);
    PutGpt(d, ss, {{kBasicData, 40, 99},
                   {kUnlisted, 100, 199},     // not a listed type
                   {kMbrScheme, 200, 299},    // row 1: not a partition of its own
                   {kLinux, 500, 400},        // ends before it starts
                   {kLinux, 5000, 5100},      // past the disk's end
                   {kLinux, 3000, 9000},      // cut at the disk's end
                   {kBasicData, 2048, 4095}}); // the same start as nothing before
    MemoryDevice disk(d, int(ss));
    uint32_t problems = 0;
    EXPECT_TRUE(IsGptProtectiveMbr(&disk));
    EXPECT_FALSE(IsDynamicDisk(&disk));
    const std::vector<Extent> want = {{40, 60}, {3000, 1096}, {2048, 2048}};
    EXPECT_EQ(Analyze(&disk, &problems), want) << ss;
    EXPECT_EQ(problems, uint32_t(kPartitionTableBadEntry)) << ss;
  }
}

TEST(PartitionTable, GptLdmPartitionsMakeTheDiskDynamic) {
  std::vector<unsigned char> d(4096 * 512, 0);
  PutGpt(d, 512, {{kBasicData, 40, 99}, {kLdmData, 100, 199}});
  MemoryDevice disk(d);
  EXPECT_TRUE(IsDynamicDisk(&disk));
  EXPECT_TRUE(Analyze(&disk).empty());
  EXPECT_TRUE(MakeLdmVolumeServices().isDynamicDisk(&disk));
}

TEST(PartitionTable, DamagedGptHeaders) {
  const uint64_t n = 4096;
  // Each change spoils the primary header (its CRC rewritten, so only the
  // check of the field itself can refuse it); the backup still serves.
  const struct {
    const char* what;
    size_t offset;
    uint32_t value;
    bool fixCrc;
  } cases[] = {
      {"header CRC", 16, 0x12345678, false},
      {"signature", 0, 0x21494645, true},
      {"header size small", 12, 91, true},
      {"header size past the sector", 12, 513, true},
      {"own LBA", 24, 7, true},
      {"entry size 0", 84, 0, true},
      {"entry size 129", 84, 129, true},
      {"entry size huge", 84, 0x80000000u, true},
      {"entry count huge", 80, 0xFFFFFFFFu, true},
      {"entry count 0", 80, 0, true},
      {"array past the end", 72, 4095, true},
      {"array CRC", 88, 0xDEADBEEF, true},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> d(n * 512, 0);
    PutGpt(d, 512, {{kBasicData, 40, 99}});
    Put32(d, 512 + c.offset, c.value);
    if (c.fixCrc) FixHeaderCrc(d, 512, 1);
    MemoryDevice disk(d);
    uint32_t problems = 0;
    EXPECT_EQ(Analyze(&disk, &problems), (std::vector<Extent>{{40, 60}})) << c.what;
    EXPECT_EQ(problems, uint32_t(kPartitionTableBadGptPrimary)) << c.what;

    // The backup spoilt the same way: no GPT partitions, and the problem told.
    Put32(d, (n - 1) * 512 + c.offset, c.value);
    if (c.fixCrc) FixHeaderCrc(d, 512, n - 1);
    MemoryDevice both(d);
    EXPECT_TRUE(Analyze(&both, &problems).empty()) << c.what;
    EXPECT_EQ(problems, uint32_t(kPartitionTableBadGptPrimary | kPartitionTableBadGptBackup)) << c.what;
  }
}

TEST(PartitionTable, UnreadableDisks) {
  MemoryDevice empty(std::vector<unsigned char>{});
  uint32_t problems = 0;
  EXPECT_TRUE(Analyze(&empty, &problems).empty());
  EXPECT_EQ(problems, uint32_t(kPartitionTableUnreadable));
  EXPECT_TRUE(Analyze(nullptr, &problems).empty());
  EXPECT_FALSE(IsDynamicDisk(nullptr));

  std::vector<unsigned char> d(4096 * 512, 0);
  PutTable(d, 512, 0, {{0x05, 100, 2000}});
  PutTable(d, 512, 100, {{0x83, 1, 10}});
  MemoryDevice failing(d);
  failing.failSector = 100;
  EXPECT_TRUE(Analyze(&failing, &problems).empty());
  EXPECT_EQ(problems, uint32_t(kPartitionTableBadEbr));
  failing.failSector = 0;
  EXPECT_TRUE(Analyze(&failing, &problems).empty());
  EXPECT_EQ(problems, uint32_t(kPartitionTableUnreadable));
}

TEST(PartitionTable, LinuxExtendedIsWalkedNotListed) {
  // Type 0x85 holds logical partitions like 0x05: listing the container as
  // a partition of its own would put a wipe over every logical one.
  std::vector<unsigned char> d(4096 * 512, 0);
  PutTable(d, 512, 0, {{0x83, 100, 200}, {0x85, 1000, 2000}});
  PutTable(d, 512, 1000, {{0x83, 10, 50}, {0x85, 500, 600}});
  PutTable(d, 512, 1500, {{0x83, 10, 60}});
  MemoryDevice disk(d);
  EXPECT_EQ(Analyze(&disk), (std::vector<Extent>{{100, 200}, {1010, 50}, {1510, 60}}));
}
