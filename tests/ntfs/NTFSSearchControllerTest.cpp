// The NTFS complete search's own logic on small made-up disks: the points
// of a candidate, boot-sector hypotheses, reads that fail inside a block,
// and records cut by the end of a block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CFileNode.h"
#include "CNTFSSearchController.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "FaultInjectingDevice.h"
#include "IFileProperties.h"
#include "MemoryDevice.h"
#include "RecordBuilder.h"
#include "RecordingTreeBuilder.h"

using testutil::MemoryDevice;
using namespace ntfstest;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes BootSector(uint64_t totalSectors, uint8_t sectorsPerCluster = 8) {
  Bytes s(512, 0);
  std::memcpy(&s[3], "NTFS    ", 8);
  Put16(s, 11, 512);
  s[13] = sectorsPerCluster;
  s[21] = 0xF8;
  Put64(s, 40, totalSectors);
  Put64(s, 48, 4);
  Put64(s, 56, 100);
  s[64] = 0xF6;
  s[68] = 1;
  Put64(s, 72, 0x1122334455667788ull);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A zeroed disk of `sectors` 512-byte sectors.
Bytes Disk(uint64_t sectors) {
  return Bytes(sectors * 512, 0);
}

void Put(Bytes& disk, uint64_t sector, const Bytes& bytes) {
  std::memcpy(disk.data() + sector * 512, bytes.data(), bytes.size());
}

struct Scan {
  explicit Scan(IStorageDevice* device, uint32_t block) {
    builder.kind = ETreeKind::NTFS;
    search.SetDevice(device);
    search.SetSearchOption(static_cast<int>(block));
    search.SetTreeBuilder(&builder);
    search.StartSearch();
    const uint64_t sectors = device->GetSectorCount();
    for (uint64_t first = 0; first < sectors; first += block)
      search.AnalyzeBlock(first, std::min<uint64_t>(block, sectors - first));
  }
  std::vector<uint64_t> Starts() const {
    std::vector<uint64_t> out;
    for (const auto& [key, c] : search.GetCandidates()) out.push_back(c->GetStartSector());
    return out;
  }
  testutil::RecordingTreeBuilder builder{false};
  CNTFSSearchController search;
};

TEST(NTFSSearchPoints, Table) {
  const uint64_t unset = CSearchedNTFSPartitionInfo::kUnknown;
  const struct {
    const char* what;
    uint32_t flags;
    uint64_t upCase, logPages, attrDef;
    int64_t points;
  } cases[] = {
      {"nothing", 0, unset, unset, unset, 0},
      {"boot sector and backup with 300 $UpCase matches", 1 | 2, 300, unset, unset, 30},
      {"confirmed $MFT alone", 4, unset, unset, unset, 30},
      {"folder evidence adds nothing", 32, unset, unset, unset, 0},
      {"every flag", 1 | 2 | 4 | 8 | 16 | 32 | 64 | 128, unset, unset, unset, 90},
      {"4 $AttrDef matches", 0, unset, unset, 4, 0},
      {"5 $AttrDef matches", 0, unset, unset, 5, 10},
      {"50 $AttrDef matches", 0, unset, unset, 50, 10},
      // Only five $UpCase sectors can match: five reach the threshold.
      {"4 $UpCase matches", 0, 4, unset, unset, 0},
      {"5 $UpCase matches", 0, 5, unset, unset, 10},
      {"9999 log pages", 0, unset, 9999, unset, 0},
      {"10000 log pages", 0, unset, 10000, unset, 10},
      {"everything", 1 | 2 | 4 | 8 | 16 | 64 | 128, 5, 10000, 5, 120},
  };
  for (const auto& c : cases) {
    CSearchedNTFSPartitionInfo p;
    p.SetStateFlags(c.flags);
    p.SetUpCaseMatches(c.upCase);
    p.SetLogPageMatches(c.logPages);
    p.SetAttrDefMatches(c.attrDef);
    EXPECT_EQ(ScoreNTFSCandidate(p), c.points) << c.what;
  }
}

TEST(NTFSSearchBootSectors, PrimaryAndBackupMakeOneCandidateOfTheVolumeSize) {
  // A volume at 100 of 1000 sectors: primary at 100, backup at 100 + 999.
  Bytes disk = Disk(1200);
  Put(disk, 100, BootSector(999));
  Put(disk, 1099, BootSector(999));
  MemoryDevice device(disk, 512);
  Scan scan(&device, 64);
  scan.search.EndSearch();
  ASSERT_EQ(scan.Starts(), (std::vector<uint64_t>{100}));
  const CSearchedNTFSPartitionInfo& c = *scan.search.GetCandidates().begin()->second;
  EXPECT_EQ(c.GetStateFlags(), kNTFSBootSectorFlag | kNTFSBackupBootSectorFlag);
  EXPECT_EQ(c.GetSectorCount(), 999u);
  EXPECT_EQ(c.GetClusterCount(), 999u / 8);
  EXPECT_EQ(c.GetPoints(), 20u);
  EXPECT_EQ(c.GetOwner(), &scan.search);
}

TEST(NTFSSearchBootSectors, ABackupAloneGivesTheVolumeAndAShortDeviceCutsIt) {
  Bytes disk = Disk(1200);
  Put(disk, 1099, BootSector(999));  // primary lost
  Put(disk, 1150, BootSector(5000));  // a volume running past the device's end
  MemoryDevice device(disk, 512);
  Scan scan(&device, 64);
  scan.search.EndSearch();
  std::vector<uint64_t> starts = scan.Starts();
  ASSERT_EQ(starts, (std::vector<uint64_t>{100, 1099, 1150}));
  for (const auto& [key, c] : scan.search.GetCandidates()) {
    if (c->GetStartSector() == 100) {
      EXPECT_EQ(c->GetSectorCount(), 999u);
    }
    if (c->GetStartSector() == 1150) {
      EXPECT_EQ(c->GetSectorCount(), 50u);  // to the device's end
    }
  }
}

// A sector that cannot be read inside a block reads as zeros: the boot
// sector of the block before is not found again at the bad sector.
TEST(NTFSSearchFaults, BadSectorsInsideABlockAddNoShiftedCandidate) {
  Bytes disk = Disk(512);
  Put(disk, 10, BootSector(100));
  MemoryDevice memory(disk, 512);
  auto plan = std::make_shared<testutil::FaultPlan>();
  plan->SetBadSector(64 + 10);  // the same place in the next block
  plan->SetBadSector(64 + 20);
  testutil::FaultInjectingDevice device(&memory, plan);
  Scan scan(&device, 64);
  scan.search.EndSearch();
  EXPECT_EQ(scan.Starts(), (std::vector<uint64_t>{10}));
  EXPECT_GT(plan->FailedReads(), 0);
}

// The tree build reads the records again, in reads ahead of them: a sector
// it cannot read holds no record (never bytes read before it), and one
// beyond the records costs none of them.
TEST(NTFSSearchFaults, TreeBuildLosesOnlyTheRecordsOfUnreadableSectors) {
  Bytes disk = Disk(4096);
  Put(disk, 0, BootSector(4000));
  for (uint32_t i = 0; i < 8; ++i) {
    RecordBuilder b(1024, 40 + i);
    b.StandardInformation(0x20);
    b.FileName(u"file" + std::u16string(1, static_cast<char16_t>(u'0' + i)), 5);
    b.Resident(0x80, Bytes(10, 'x'));
    Put(disk, 64 + 2 * i, b.Finish());
  }
  MemoryDevice memory(disk, 512);
  auto plan = std::make_shared<testutil::FaultPlan>();
  testutil::FaultInjectingDevice device(&memory, plan);
  testutil::PartitionTreeKeeper builder;
  builder.kind = ETreeKind::NTFS;
  CNTFSSearchController search;
  search.SetTreeBuilder(&builder);
  search.SetDevice(&device);
  search.SetSearchOption(64);
  search.StartSearch();
  for (uint64_t first = 0; first < 4096; first += 64) search.AnalyzeBlock(first, 64);
  search.EndSearch();
  std::vector<CSearchedPartitionInfo*> found;
  search.GetPartitions(found);
  std::vector<CSearchedPartitionInfo*> chosen;
  for (CSearchedPartitionInfo* p : found)
    if (p->GetStartSector() == 0) chosen.push_back(p);
  ASSERT_EQ(chosen.size(), 1u);
  plan->SetBadSector(64 + 2 * 3);  // record 3's first sector
  plan->SetBadSector(1500);        // no record's
  search.BuildPartitionTrees(chosen);
  std::vector<std::string> names;
  for (CFileNode* n : builder.Tree()) {
    const char* name = n->GetProperties() ? n->GetProperties()->GetName() : nullptr;
    if (name && std::strncmp(name, "file", 4) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"file0", "file1", "file2", "file4", "file5", "file6", "file7"}));
  EXPECT_GT(plan->FailedReads(), 0);
}

// A FILE record whose first half ends a block is joined with the second
// half at the start of the next one; its node reaches the builder once.
TEST(NTFSSearchJoins, RecordCutByTheEndOfABlockIsReadOnce) {
  RecordBuilder b(1024, 40);
  b.StandardInformation(0x20);
  b.FileName(u"joined.txt", 5);
  b.Resident(0x80, Bytes(10, 'x'));
  const Bytes record = b.Finish();
  for (uint64_t at : {uint64_t(63), uint64_t(62), uint64_t(100)}) {
    SCOPED_TRACE(at);
    Bytes disk = Disk(256);
    Put(disk, at, record);
    MemoryDevice device(disk, 512);
    Scan scan(&device, 64);
    EXPECT_EQ(scan.builder.count, 2u);  // the "NTFS" file-system node and the record
    ASSERT_EQ(scan.search.GetRecordRuns().size(), 1u);
    EXPECT_EQ(scan.search.GetRecordRuns().front().firstSector, at);
  }
}

// Records two sectors apart make one run; a gap starts another.
TEST(NTFSSearchRuns, RecordsTwoSectorsApartFormRuns) {
  CNTFSSearchController search;
  EXPECT_EQ(search.ExtendLastRecordRun(100, 2), 0);
  EXPECT_EQ(search.ExtendLastRecordRun(102, 2), 1);
  EXPECT_EQ(search.ExtendLastRecordRun(104, 2), 1);
  EXPECT_EQ(search.ExtendLastRecordRun(107, 2), 0);
  EXPECT_EQ(search.ExtendLastRecordRun(108, 1), 0);  // 4096-byte records on 4096-byte sectors
  EXPECT_EQ(search.ExtendLastRecordRun(109, 1), 1);
  ASSERT_EQ(search.GetRecordRuns().size(), 3u);
  EXPECT_EQ(search.GetRecordRuns().front().count, 3u);
  EXPECT_EQ(search.GetRecordRuns().back().count, 2u);
}

}  // namespace
