#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "CExFatDBR.h"
#include "ExFatCandidateSet.h"
#include "ExFatDirectoryGroup.h"
#include "RecordingTreeBuilder.h"
#include "TestUtil.h"

namespace {

// The boot sector mkfs.exfat writes on an 8 MiB image (one FAT); the tests
// read its geometry back from the sector itself.
const std::vector<uint8_t>& MkfsBootSector() {
  static std::vector<uint8_t> sector = [] {
    std::vector<uint8_t> s;
    testutil::TempDir dir("exfat-cand");
    const std::string image = dir.file("boot.img");
    if (testutil::Run({"truncate", "-s", "8M", image}).exitCode != 0) return s;
    if (testutil::Run({"mkfs.exfat", image}).exitCode != 0) return s;
    std::ifstream in(image, std::ios::binary);
    s.resize(512);
    in.read(reinterpret_cast<char*>(s.data()), 512);
    return s;
  }();
  return sector;
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
      {5, {5}},             // no volume can begin 12 sectors before sector 5
      {11, {11}},
      {12, {12, 0}},        // a backup at 12 may be the one of a volume at 0
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
      {"deleted sets say nothing of spacing", {Set(10, 10000, false, false), Set(12, 1, false, false)}, 512, 1,
       65536},
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
