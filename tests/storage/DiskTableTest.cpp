// The disk table over image files named by VANTOREL_DISKS.
#include <gtest/gtest.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>

#include "CDiskDevice.h"
#include "DiskTable.h"
#include "FaultInjectingDevice.h"
#include "TestUtil.h"

namespace {

void WriteImage(const std::string& path, uint64_t bytes) {
  std::vector<uint8_t> data = testutil::PatternBytes(0, static_cast<size_t>(bytes));
  testutil::WriteFile(path, std::string(data.begin(), data.end()));
}

class EnvGuard {
 public:
  explicit EnvGuard(const std::string& value) { setenv("VANTOREL_DISKS", value.c_str(), 1); }
  ~EnvGuard() { unsetenv("VANTOREL_DISKS"); }
};

}  // namespace

TEST(DiskTable, ListsExactlyTheNamedDisksWithStickyNumbers) {
  testutil::TempDir dir("disks");
  const std::string a = dir.file("a.img"), b = dir.file("b.img");
  WriteImage(a, 1 << 20);
  WriteImage(b, 3 << 20);
  EnvGuard env(a + ":" + dir.file("missing.img") + ":" + b);

  auto disks = platform::RefreshDiskTable();
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].number, 0);
  EXPECT_EQ(disks[0].path, a);
  EXPECT_EQ(disks[0].model, "a.img");
  EXPECT_TRUE(disks[0].isImageFile);
  EXPECT_EQ(disks[0].sectorSize, 512);
  EXPECT_EQ(disks[0].sectorCount, 2048u);
  EXPECT_EQ(disks[0].identity.kind, platform::DiskIdentity::Kind::ImageFile);
  EXPECT_EQ(disks[1].number, 1);
  EXPECT_EQ(disks[1].path, b);
  EXPECT_EQ(disks[1].sectorCount, 6144u);
  EXPECT_NE(disks[0].identity, disks[1].identity);

  // a goes away: b keeps its number; a new file at a's path is another disk
  // and does not take a's remembered number.
  // (A second link keeps a's inode from being given to the new file.)
  ASSERT_EQ(link(a.c_str(), dir.file("a.keep").c_str()), 0);
  unlink(a.c_str());
  disks = platform::RefreshDiskTable();
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].number, 1);
  WriteImage(a + ".new", 1 << 20);
  rename((a + ".new").c_str(), a.c_str());
  disks = platform::RefreshDiskTable();
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].number, 1);
  EXPECT_EQ(disks[0].path, b);
  EXPECT_EQ(disks[1].number, 2);
  EXPECT_EQ(disks[1].path, a);

  platform::DiskEntry entry;
  EXPECT_TRUE(platform::GetDiskEntry(2, &entry));
  EXPECT_FALSE(platform::GetDiskEntry(0, &entry));
  EXPECT_FALSE(platform::GetDiskEntry(20, &entry));
  int error = 0;
  EXPECT_EQ(platform::OpenDisk(0, &error), nullptr);

  // A device opened by number reads the table's file.
  CDiskDevice disk(1);
  ASSERT_TRUE(disk.IsOpen());
  EXPECT_EQ(disk.GetSectorCount(), 6144u);
  std::vector<uint8_t> buf(3 * 512);
  ASSERT_EQ(disk.ReadSectors(buf.data(), 7, 3), 1);
  EXPECT_EQ(buf, testutil::PatternBytes(7 * 512, 3 * 512));

  // The file behind number 1 is swapped: opening by number refuses it.
  WriteImage(b + ".new", 3 << 20);
  rename((b + ".new").c_str(), b.c_str());
  EXPECT_EQ(platform::OpenDisk(1, &error), nullptr);
  EXPECT_EQ(error, ENXIO);
  EXPECT_EQ(disk.Open(), 0);
}

TEST(DiskTable, ANewListStartsAFreshTable) {
  testutil::TempDir dir("disks");
  const std::string a = dir.file("a.img"), b = dir.file("b.img");
  WriteImage(a, 4096);
  WriteImage(b, 4096);
  {
    EnvGuard env(a);
    ASSERT_EQ(platform::ListDisks().size(), 1u);
  }
  EnvGuard env(b + ":" + a);
  auto disks = platform::ListDisks();
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].path, b);
  EXPECT_EQ(disks[0].number, 0);
  EXPECT_EQ(disks[1].number, 1);
}

TEST(DiskTable, IdentityTexts) {
  platform::DiskIdentity id;
  EXPECT_EQ(id.ToString(), "none");
  id.kind = platform::DiskIdentity::Kind::BlockDevice;
  id.first = makedev(7, 3);
  id.second = 8388608;
  EXPECT_EQ(id.ToString(), "dev 7:3 size 8388608");
}
