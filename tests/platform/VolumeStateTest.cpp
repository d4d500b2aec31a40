// What a mount and a volume's node say about writing, from folders and files
// of this machine that need no device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "VolumeState.h"

namespace {

TEST(VolumeState, MountSpaceOfAFileSystemWithAndWithoutBlockCounts) {
  testutil::TempDir dir("space");
  platform::MountSpace space;
  ASSERT_TRUE(platform::GetMountSpace(dir.path(), &space));
  EXPECT_TRUE(space.known);
  EXPECT_FALSE(space.readOnly);
  // proc counts no blocks: its free space is unknown, not zero.
  ASSERT_TRUE(platform::GetMountSpace("/proc", &space));
  EXPECT_FALSE(space.known);
  EXPECT_FALSE(platform::GetMountSpace(dir.file("missing"), &space));
}

TEST(VolumeState, NodeReadOnlyOfImageWindows) {
  testutil::TempDir dir("node");
  testutil::WriteFile(dir.file("disk.img"), std::string(4096, '\0'));
  struct Case {
    const char* name;
    std::string devicePath, imagePath;
    int readOnly;
  } cases[] = {
      {"a writable image file", "", dir.file("disk.img"), 0},
      {"an image file that is not there", "", dir.file("gone.img"), -1},
      {"a device node that is not there", dir.file("gone-node"), "", -1},
      {"no node at all", "", "", -1},
  };
  for (const Case& c : cases) {
    platform::VolumeLocation where;
    where.devicePath = c.devicePath;
    where.imagePath = c.imagePath;
    EXPECT_EQ(platform::VolumeNodeReadOnly(where), c.readOnly) << c.name;
  }
}

// A mount's options, statvfs and the node decide together.
TEST(VolumeState, ReadOnlyRules) {
  struct Case {
    std::vector<std::string> options;
    bool statRdonly;
    int deviceRo;
    bool readOnly;
  } cases[] = {
      {{}, false, 0, false},
      {{}, false, -1, false},
      {{}, false, 1, true},
      {{"rw,relatime"}, true, 0, true},
      {{"ro,relatime"}, false, 0, true},
      {{"rw,nosuid", "rw,errors=remount-ro"}, false, 0, false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::IsReadOnlyFrom(c.options, c.statRdonly, c.deviceRo), c.readOnly);
}

}  // namespace
