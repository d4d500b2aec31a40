#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "CExFatCompleteSearch.h"
#include "CExFatDBR.h"
#include "ExFatCandidateSet.h"
#include "ExFatDirectoryGroup.h"
#include "ExFatEntryScanner.h"
#include "MemoryDevice.h"
#include "RecordingTreeBuilder.h"
#include "TestUtil.h"

namespace {

// An 8 MiB volume as mkfs.exfat writes it (one FAT, the label "Scan"),
// made once; the tests read its geometry back from the boot sector.
const std::vector<uint8_t>& MkfsImage() {
  static std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b;
    testutil::TempDir dir("exfat-cand");
    const std::string image = dir.file("scan.img");
    if (testutil::Run({"truncate", "-s", "8M", image}).exitCode != 0) return b;
    if (testutil::Run({"mkfs.exfat", "-L", "Scan", image}).exitCode != 0) return b;
    std::ifstream in(image, std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return b;
  }();
  return bytes;
}

std::vector<uint8_t> MkfsBootSector() {
  const std::vector<uint8_t>& image = MkfsImage();
  return image.size() >= 512 ? std::vector<uint8_t>(image.begin(), image.begin() + 512) : std::vector<uint8_t>();
}

// The first sector of its root directory: label, bitmap and up-case entries.
std::vector<uint8_t> MkfsRootSector() {
  const std::vector<uint8_t>& image = MkfsImage();
  if (image.size() < 512) return {};
  const CExFatDBR dbr(image.data());
  const uint64_t root =
      (dbr.GetClusterHeapOffset() + uint64_t(dbr.GetRootDirectoryCluster() - 2) * dbr.GetSectorsPerCluster()) * 512;
  if (root + 512 > image.size()) return {};
  return std::vector<uint8_t>(image.begin() + root, image.begin() + root + 512);
}

struct CapSpy : testutil::RecordingTreeBuilder {
  void NoteCap(const char* name, uint64_t dropped) override {
    capName = name;
    capDropped += dropped;
  }
  std::string capName;
  uint64_t capDropped = 0;
};

class ExFatCandidates : public ::testing::Test {
 protected:
  void SetUp() override {
    VT_REQUIRE_TOOL("mkfs.exfat");
    boot = MkfsBootSector();
    ASSERT_EQ(boot.size(), 512u);
    ASSERT_TRUE(CExFatDBR(boot.data()).IsValid(512));
    set.SetGeometry(512, 1 << 20);
  }
  CExFatDBR Dbr() const { return CExFatDBR(boot.data()); }
  std::vector<std::unique_ptr<CExFatPartitionEx>> Collect() {
    std::vector<std::unique_ptr<CExFatPartitionEx>> out;
    set.CollectCandidates(out);
    return out;
  }
  std::vector<uint8_t> boot;
  ExFatCandidateSet set;
};

TEST_F(ExFatCandidates, MainAndBackupBootSectorsMakeOneVolume) {
  const CExFatDBR dbr = Dbr();
  set.AddExFatBootCandidate(2048, dbr);
  set.AddExFatBootCandidate(2060, dbr);
  auto out = Collect();
  ASSERT_EQ(out.size(), 1u);
  const CExFatPartitionEx& p = *out[0];
  EXPECT_EQ(p.flags, CExFatPartitionEx::kMainBoot | CExFatPartitionEx::kBackupBoot);
  EXPECT_EQ(p.GetScore(), 50 + 10);
  // The record the listing shows: the volume's start and length, the heap
  // as the origin of the runs.
  EXPECT_EQ(p.GetStartSector(), 2048u);
  EXPECT_EQ(p.GetSectorCount(), dbr.GetVolumeLength());
  EXPECT_EQ(p.GetClusterStartSector(), 2048 + dbr.GetClusterHeapOffset());
  EXPECT_EQ(p.GetSectorsPerCluster(), dbr.GetSectorsPerCluster());
  EXPECT_EQ(p.GetRootCluster(), dbr.GetRootDirectoryCluster());
}

TEST_F(ExFatCandidates, BootSectorsAloneMakeMainAndBackupGuesses) {
  struct Case {
    uint64_t sector;
    std::vector<uint64_t> starts;  // volume starts guessed, best first
  } cases[] = {
      {5, {5}},  // no volume can begin 12 sectors before sector 5
      {11, {11}},
      {12, {12, 0}},  // a backup at 12 may be the one of a volume at 0
      {4000, {4000, 3988}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sector);
    ExFatCandidateSet s;
    s.SetGeometry(512, 1 << 20);
    s.AddExFatBootCandidate(c.sector, Dbr());
    std::vector<std::unique_ptr<CExFatPartitionEx>> out;
    s.CollectCandidates(out);
    ASSERT_EQ(out.size(), c.starts.size());
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i]->GetVolumeStart(), c.starts[i]);
      EXPECT_EQ(out[i]->GetScore(), 45 + 10);
    }
  }
}

TEST_F(ExFatCandidates, FatStartsRaiseTheFatPart) {
  boot[110] = 2;  // the same volume with a second FAT right after the first
  const CExFatDBR dbr = Dbr();
  ASSERT_TRUE(dbr.IsValid(512));
  const uint64_t start = 2048, fat = start + dbr.GetFatOffset(), second = fat + dbr.GetFatLength();
  struct Case {
    const char* name;
    std::vector<uint64_t> fats;
    uint32_t flags;
    int fatPart;
  } cases[] = {
      {"none", {}, 0, 10},
      {"first", {fat}, CExFatPartitionEx::kFirstFat, 45},
      {"second alone", {second}, CExFatPartitionEx::kSecondFat, 45},
      {"both", {fat, second}, CExFatPartitionEx::kFirstFat | CExFatPartitionEx::kSecondFat, 50},
      {"elsewhere", {fat + 1, second + 1}, 0, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExFatCandidateSet s;
    s.SetGeometry(512, 1 << 20);
    s.AddExFatBootCandidate(start, dbr);
    s.AddExFatBootCandidate(start + 12, dbr);
    for (uint64_t f : c.fats) s.AddFatStart(f);
    std::vector<std::unique_ptr<CExFatPartitionEx>> out;
    s.CollectCandidates(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->flags & 3u, c.flags);
    EXPECT_EQ(out[0]->GetScore(), 50 + c.fatPart);
  }
}

TEST_F(ExFatCandidates, OneFatVolumeTakesNoSecondFat) {
  const CExFatDBR dbr = Dbr();
  ASSERT_EQ(dbr.GetNumberOfFats(), 1u);  // what mkfs.exfat makes
  set.AddExFatBootCandidate(0, dbr);
  set.AddFatStart(dbr.GetFatOffset() + dbr.GetFatLength());
  auto out = Collect();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]->GetScore(), 45 + 10);
}

TEST_F(ExFatCandidates, TooManyCandidatesAreTrimmedAndNoted) {
  CapSpy builder;
  set.SetTreeBuilder(&builder);
  const CExFatDBR dbr = Dbr();
  // Boot sectors 100 sectors apart: two guesses each, no pairs.
  for (uint64_t i = 0; i < 600; ++i) set.AddExFatBootCandidate(1000 + i * 100, dbr);
  EXPECT_LE(set.Candidates().size(), ExFatCandidateSet::kMostCandidates + 2);
  EXPECT_GT(builder.capDropped, 0u);
  EXPECT_EQ(builder.capName, "exFAT partition candidates");
  EXPECT_EQ(set.Candidates().size() + builder.capDropped, 1200u);
  // The main-boot guesses rank first and survive.
  EXPECT_EQ(set.Candidates().front()->flags, CExFatPartitionEx::kMainBoot);
}

ExFatEntrySetRecord Set(uint32_t cluster, uint64_t size, bool folder, bool inUse = true, bool contiguous = true) {
  ExFatEntrySetRecord r;
  r.firstCluster = cluster;
  r.size = size;
  r.attributes = folder ? 0x10 : 0x20;
  r.inUse = inUse;
  r.noFatChain = contiguous;
  return r;
}

TEST(ExFatDirectoryGroupBounds, ClusterSizeBoundsFollowTheSets) {
  struct Case {
    const char* name;
    std::vector<ExFatEntrySetRecord> sets;
    uint32_t sectorSize;
    uint32_t least, greatest;  // sectors
  } cases[] = {
      {"nothing known", {}, 512, 1, 65536},
      {"folder of 8192 bytes", {Set(5, 8192, true)}, 512, 1, 16},
      {"folder of 8192 bytes, 4096-byte sectors", {Set(5, 8192, true)}, 4096, 1, 2},
      {"folder of 12288 bytes", {Set(5, 12288, true)}, 512, 1, 8},
      // 10000 bytes over the 2 clusters before the next set: 8 KiB clusters
      {"contiguous file spacing", {Set(10, 10000, false), Set(12, 1, false)}, 512, 16, 65536},
      {"chained file says nothing", {Set(10, 10000, false, true, false), Set(12, 1, false)}, 512, 1, 65536},
      {"deleted sets say nothing of spacing", {Set(10, 10000, false, false), Set(12, 1, false, false)}, 512, 1, 65536},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExFatDirectoryGroup g;
    for (const auto& s : c.sets) g.FinishSet(s);
    g.ComputeClusterSizeBounds(c.sectorSize);
    EXPECT_EQ(g.leastClusterSize, c.least);
    EXPECT_EQ(g.greatestClusterSize, c.greatest);
  }
}

TEST(ExFatDirectoryGroupBounds, InUseSetsAreKeptInClusterOrder) {
  ExFatDirectoryGroup g;
  for (uint32_t c : {40u, 7u, 19u}) g.FinishSet(Set(c, 100, c == 19));
  g.FinishSet(Set(3, 100, false, false));
  ASSERT_EQ(g.inUse.size(), 3u);
  EXPECT_EQ(g.inUse[0].firstCluster, 7u);
  EXPECT_EQ(g.inUse[1].firstCluster, 19u);
  EXPECT_EQ(g.inUse[2].firstCluster, 40u);
  ASSERT_EQ(g.deleted.size(), 1u);
  EXPECT_EQ(g.lowestCluster, 3u);
  EXPECT_EQ(g.highestCluster, 40u);
  EXPECT_EQ(g.subdirClusters, std::set<uint32_t>({19u}));
}

}  // namespace

namespace {

void PutLE(uint8_t* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// One in-use folder entry set (File, Stream, one File Name entry) with a
// good checksum, at `e`.
void FolderSet(uint8_t* e, uint32_t cluster, uint64_t size, char letter) {
  std::memset(e, 0, 96);
  const uint32_t when = (44u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (30u << 5) | 5u;
  e[0] = 0x85;
  e[1] = 2;
  PutLE(e + 4, 0x10, 2);
  PutLE(e + 8, when, 4);
  PutLE(e + 12, when, 4);
  PutLE(e + 16, when, 4);
  e[32] = 0xC0;
  e[33] = 3;  // allocation possible, no FAT chain
  e[35] = 1;  // one character
  PutLE(e + 32 + 8, size, 8);
  PutLE(e + 32 + 20, cluster, 4);
  PutLE(e + 32 + 24, size, 8);
  e[64] = 0xC1;
  e[66] = static_cast<uint8_t>(letter);
  uint16_t sum = 0;
  for (int i = 0; i < 96; ++i) {
    if (i == 2 || i == 3) continue;
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + e[i]);
  }
  PutLE(e + 2, sum, 2);
}

struct ScanResult {
  std::vector<std::unique_ptr<ExFatDirectoryGroup>> groups;
  std::vector<uint64_t> handedAt;  // the sector after which each group came
  std::vector<std::unique_ptr<CExFatPartitionEx>> candidates;
};

// Scans `disk` in blocks of `blockSectors`, as the complete recovery does.
ScanResult ScanDisk(const std::vector<uint8_t>& disk, uint32_t sectorSize, uint64_t blockSectors) {
  ScanResult r;
  ExFatEntryScanner scanner;
  ExFatCandidateSet set;
  const uint64_t sectors = disk.size() / sectorSize;
  scanner.SetGeometry(1 << 20, sectorSize);
  set.SetGeometry(sectorSize, 1 << 20);
  ExFatScanBuffer buffer;
  buffer.Reset(sectorSize, blockSectors);
  const ExFatGroupSink sink = [&](std::unique_ptr<ExFatDirectoryGroup> g) {
    r.handedAt.push_back(g->firstSector + g->sectorCount);
    r.groups.push_back(std::move(g));
  };
  for (uint64_t first = 0; first < sectors; first += blockSectors) {
    const uint64_t n = std::min(blockSectors, sectors - first);
    uint8_t* at = buffer.Prepare(n);
    std::memcpy(at, disk.data() + first * sectorSize, n * sectorSize);
    buffer.Analyze(first, n, true, scanner, set, sink);
  }
  buffer.Finish(scanner, set, sink);
  set.CollectCandidates(r.candidates);
  return r;
}

TEST(ExFatSectorScan, GroupsEndWhereTheirEntriesDo) {
  VT_REQUIRE_TOOL("mkfs.exfat");
  const std::vector<uint8_t> root = MkfsRootSector();
  ASSERT_EQ(root.size(), 512u);
  ASSERT_EQ(root[0], 0x83);

  struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> disk;  // 512-byte sectors
    size_t groups;
    uint32_t sectorsOfFirst;
  } cases[] = {
      {"zeros add nothing", [] { return std::vector<uint8_t>(8 * 512, 0); }, 0, 0},
      {"a root directory alone is a group",
       [&] {
         std::vector<uint8_t> d(4 * 512, 0);
         std::copy(root.begin(), root.end(), d.begin() + 512);
         return d;
       },
       1, 1},
      {"an up-case table start ends the group",
       [&] {
         std::vector<uint8_t> d(4 * 512, 0);
         std::copy(root.begin(), root.end(), d.begin() + 512);
         for (int i = 0; i < 8; ++i) d[1024 + 2 * i] = static_cast<uint8_t>(i);
         return d;
       },
       1, 1},
      {"a second in-use label ends the walk of its sector",
       [&] {
         std::vector<uint8_t> d(4 * 512, 0);
         std::copy(root.begin(), root.end(), d.begin() + 512);
         std::copy(root.begin(), root.begin() + 32, d.begin() + 512 + 5 * 32);
         std::copy(root.begin(), root.end(), d.begin() + 1024);  // would continue the group
         return d;
       },
       2, 1},
      {"folders of 8192 bytes end the group after 16 sectors",
       [&] {
         std::vector<uint8_t> d(40 * 512, 0);
         uint32_t cluster = 10;
         for (int k = 0; (k + 1) * 96 <= 20 * 512; ++k) FolderSet(&d[512 + k * 96], cluster++, 8192, 'a');
         return d;
       },
       2, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (uint64_t block : {3u, 8u, 64u}) {
      SCOPED_TRACE(block);
      ScanResult r = ScanDisk(c.disk(), 512, block);
      EXPECT_EQ(r.groups.size(), c.groups);
      EXPECT_TRUE(r.candidates.empty());
      if (!r.groups.empty()) {
        EXPECT_EQ(r.groups[0]->sectorCount, c.sectorsOfFirst);
      }
    }
  }
}

TEST(ExFatSectorScan, ASetCutAtABlockEndIsJoinedOnAnySectorSize) {
  for (uint32_t sectorSize : {512u, 4096u}) {
    SCOPED_TRACE(sectorSize);
    const uint32_t per = sectorSize / 32;
    std::vector<uint8_t> d(4 * sectorSize, 0);
    // Sets of three entries from sector 1 on: one of them straddles the end
    // of sector 1, which is the end of a block.
    uint32_t cluster = 10;
    size_t sets = 0;
    for (uint32_t k = 0; k + 3 <= 2 * per; k += 3, ++sets) FolderSet(&d[sectorSize + k * 32], cluster++, 65536, 'b');
    ScanResult r = ScanDisk(d, sectorSize, 2);
    ASSERT_EQ(r.groups.size(), 1u);
    EXPECT_EQ(r.groups[0]->inUse.size(), sets);
  }
}

}  // namespace

namespace {

// A block whose read fails is scanned as zeros: the bytes the device left
// in the buffer (here the true ones) add no group and no partition.
TEST(ExFatCompleteSearchBlocks, AFailedReadAddsNothingItsBufferHolds) {
  std::vector<uint8_t> disk(64 * 512, 0);
  uint32_t cluster = 10;
  for (int k = 0; k < 5; ++k) FolderSet(&disk[20 * 512 + k * 96], cluster++, 4096, 'f');
  for (bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "failed read" : "good read");
    testutil::MemoryDevice device(disk, 512);
    if (fail) device.failSector = 17;  // the block of sectors 16 to 31
    CExFatCompleteSearch search;
    search.SetDevice(&device);
    search.SetSearchOption(16);
    int failed = 0;
    for (uint64_t first = 0; first < 64; first += 16) failed += search.ScanBlock(first, 16) ? 0 : 1;
    search.EndSearch();
    EXPECT_EQ(failed, fail ? 1 : 0);
    EXPECT_EQ(search.Groups().size(), fail ? 0u : 1u);
  }
}

}  // namespace
