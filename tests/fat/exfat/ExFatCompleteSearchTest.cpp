// The exFAT complete search driven block by block over a disk made with
// sfdisk and mkfs.exfat (image offsets, no loop device): the partition is
// found at sfdisk's start with the geometry of its boot sector, whatever the
// block length; a block with a bad sector adds nothing and reports the
// failed read.
#include <gtest/gtest.h>

#include <memory>

#include "CExFatCompleteSearch.h"
#include "CExFatDBR.h"
#include "ExFatImagePatch.h"
#include "FaultInjectingDevice.h"
#include "ImageFileDevice.h"
#include "TestUtil.h"

namespace {

constexpr uint64_t kStart = 2048;  // the partition's first sector

class ExFatCompleteSearchDisk : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (testutil::Run({"which", "mkfs.exfat"}).exitCode != 0 || testutil::Run({"which", "sfdisk"}).exitCode != 0)
      return;
    s_dir = new testutil::TempDir("exfat-complete");
    s_disk = s_dir->file("disk.img");
    const std::string part = s_dir->file("part.img");
    testutil::Run({"truncate", "-s", "12M", s_disk});
    testutil::Shell("printf 'label: dos\\nstart=2048, size=16384, type=7\\n' | sfdisk -q '" + s_disk + "'");
    testutil::Run({"truncate", "-s", "8M", part});
    testutil::Run({"mkfs.exfat", "-c", "4K", part});
    testutil::Shell("dd if='" + part + "' of='" + s_disk + "' bs=512 seek=2048 conv=notrunc status=none");
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    VT_REQUIRE_TOOL("mkfs.exfat");
    VT_REQUIRE_TOOL("sfdisk");
    ASSERT_TRUE(s_dir);
  }
  static testutil::TempDir* s_dir;
  static std::string s_disk;
};
testutil::TempDir* ExFatCompleteSearchDisk::s_dir = nullptr;
std::string ExFatCompleteSearchDisk::s_disk;

// Runs the search over the whole device in blocks of `block` sectors; the
// number of blocks that failed to read.
int Search(CExFatCompleteSearch& search, IStorageDevice& device, uint64_t block) {
  search.SetDevice(&device);
  search.SetSearchOption(static_cast<int>(block));
  search.StartSearch();
  int failed = 0;
  const uint64_t sectors = device.GetSectorCount();
  for (uint64_t first = 0; first < sectors; first += block)
    if (!search.ScanBlock(first, std::min(block, sectors - first))) ++failed;
  search.EndSearch();
  return failed;
}

TEST_F(ExFatCompleteSearchDisk, FindsThePartitionAtSfdisksStart) {
  testutil::ExFatLayout layout;
  ASSERT_TRUE(testutil::ReadExFatLayout(s_dir->file("part.img"), layout));
  ImageFileDevice disk(s_disk);
  ASSERT_TRUE(disk.Open());
  for (uint64_t block : {64u, 8192u}) {
    SCOPED_TRACE(block);
    CExFatCompleteSearch search;
    EXPECT_EQ(Search(search, disk, block), 0);
    std::vector<CSearchedPartitionInfo*> parts;
    search.GetPartitions(parts);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0]->GetStartSector(), kStart);
    EXPECT_EQ(parts[0]->GetSectorCount(), 16384u);
    EXPECT_EQ(parts[0]->GetClusterStartSector(), kStart + layout.heapOffset / 512);
    EXPECT_EQ(parts[0]->GetSectorsPerCluster(), layout.clusterSize / 512);
    EXPECT_EQ(parts[0]->GetScore(), 95);  // both boot sectors, the one FAT
    EXPECT_FALSE(search.Groups().empty());  // the root directory at least
  }
}

// Copies of the disk with sectors zeroed: the MBR, then also the main boot
// sector, then also the first FAT. The volume is still found at its start;
// the score tells which of its structures were left.
TEST_F(ExFatCompleteSearchDisk, DamagedCopiesAreFoundThroughWhatIsLeft) {
  testutil::ExFatLayout layout;
  ASSERT_TRUE(testutil::ReadExFatLayout(s_dir->file("part.img"), layout));
  const uint64_t fat = kStart + layout.fatOffset / 512;
  struct Case {
    const char* name;
    std::vector<uint64_t> zeroed;  // sectors
    int score;
  } cases[] = {
      {"MBR", {0}, 95},
      {"MBR and main boot sector", {0, kStart}, 90},
      {"MBR, main boot sector and FAT", {0, kStart, fat}, 55},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string copy = s_dir->file("copy.img");
    ASSERT_EQ(testutil::Run({"cp", s_disk, copy}).exitCode, 0);
    for (uint64_t sector : c.zeroed)
      ASSERT_TRUE(testutil::WriteBytesAt(copy, sector * 512, std::vector<uint8_t>(512, 0)));
    ImageFileDevice disk(copy);
    ASSERT_TRUE(disk.Open());
    CExFatCompleteSearch search;
    EXPECT_EQ(Search(search, disk, 8192), 0);
    std::vector<CSearchedPartitionInfo*> parts;
    search.GetPartitions(parts);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0]->GetStartSector(), kStart);
    EXPECT_EQ(parts[0]->GetClusterStartSector(), kStart + layout.heapOffset / 512);
    EXPECT_EQ(parts[0]->GetScore(), c.score);
  }
}

TEST_F(ExFatCompleteSearchDisk, BadSectorsInABlockAddNoPartition) {
  ImageFileDevice disk(s_disk);
  ASSERT_TRUE(disk.Open());
  auto plan = std::make_shared<testutil::FaultPlan>();
  // The block of the main boot sector and of the backup both fail.
  plan->SetBadSector(kStart + 5);
  testutil::FaultInjectingDevice faulty(&disk, plan);
  CExFatCompleteSearch search;
  EXPECT_EQ(Search(search, faulty, 64), 1);
  std::vector<CSearchedPartitionInfo*> parts;
  search.GetPartitions(parts);
  EXPECT_TRUE(parts.empty());
}

}  // namespace
