// Parsing /proc/self/mountinfo lines; claiming a folder to mount on.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "MountTable.h"
#include "TestUtil.h"
#include "VolumeMount.h"

TEST(MountTable, ParsesFieldsOptionalTagsAndEscapes) {
  const std::string text =
      "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
      "46 28 259:0 / /mnt/my\\040disk rw,relatime - fuseblk /dev/loop0p1 rw,user_id=0,group_id=0,allow_other\n"
      "47 28 0:41 / /tmp/m2 rw,nosuid,nodev,relatime master:3 propagate_from:2 - fuse.fusefat fusefat rw\n"
      "broken line\n"
      "48 28 0:42 / /x rw - tmpfs\n";
  auto mounts = platform::ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].major, 8u);
  EXPECT_EQ(mounts[0].minor, 2u);
  EXPECT_EQ(mounts[0].fsType, "ext4");
  EXPECT_EQ(mounts[0].superOptions, "rw,errors=remount-ro");
  EXPECT_FALSE(mounts[0].IsFuse());
  EXPECT_EQ(mounts[1].mountPoint, "/mnt/my disk");
  EXPECT_EQ(mounts[1].source, "/dev/loop0p1");
  EXPECT_TRUE(mounts[1].IsFuse());
  EXPECT_EQ(mounts[2].fsType, "fuse.fusefat");
  EXPECT_EQ(mounts[2].options, "rw,nosuid,nodev,relatime");
  EXPECT_EQ(mounts[2].minor, 41u);
  EXPECT_TRUE(mounts[2].IsFuse());
}

TEST(MountTable, ThisProcessHasARootMount) {
  bool root = false;
  for (const auto& m : platform::ReadMountTable()) root = root || m.mountPoint == "/";
  EXPECT_TRUE(root);
}

// A folder another process mounts on, or fills, is never mounted over:
// the claim moves to base-<pid>. A left-over empty folder is reused.
TEST(MountFolderClaim, BusyFoldersGiveWayAndLeftOversAreReused) {
  VT_REQUIRE_ROOT();
  testutil::TempDir dir("claim");
  const std::string base = dir.file("X");
  const std::string own = base + "-" + std::to_string(getpid());

  EXPECT_EQ(platform::ClaimMountFolder(base), base);  // free: made here
  EXPECT_EQ(platform::ClaimMountFolder(base), base);  // empty left-over: taken over
  ASSERT_EQ(rmdir(base.c_str()), 0);

  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  ASSERT_EQ(testutil::Run({"mount", "-t", "tmpfs", "-o", "size=1m", "other", base}).exitCode, 0);
  EXPECT_EQ(platform::ClaimMountFolder(base), own);
  EXPECT_EQ(rmdir(own.c_str()), 0);
  ASSERT_EQ(testutil::Run({"umount", base}).exitCode, 0);
  // Not mounted on, but not empty: someone's files are never removed.
  testutil::WriteFile(base + "/theirs", "x");
  EXPECT_EQ(platform::ClaimMountFolder(base), own);
  EXPECT_TRUE(testutil::ReadFile(base + "/theirs") == "x");
}
