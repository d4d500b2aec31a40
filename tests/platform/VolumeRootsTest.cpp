#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestUtil.h"
#include "VolumeRoots.h"

namespace fs = std::filesystem;

TEST(VolumeRoots, RootAndSystemMountsAreRoots) {
  for (const char* p : {"/", "//", "/.", "/tmp/..", "/proc", "/proc/", "/proc/self/.."})
    EXPECT_TRUE(platform::IsVolumeRoot(p)) << p;
  EXPECT_TRUE(platform::MountPoints().count("/"));
  testutil::TempDir dir("roots");
  fs::create_directories(dir.file("plain"));
  EXPECT_FALSE(platform::IsVolumeRoot(dir.file("plain")));
  EXPECT_FALSE(platform::IsVolumeRoot(dir.file("missing")));
  EXPECT_FALSE(platform::IsVolumeRoot(""));
  // A link to "/" is only a link.
  ASSERT_EQ(symlink("/", dir.file("toroot").c_str()), 0);
  EXPECT_FALSE(platform::IsVolumeRoot(dir.file("toroot")));
  EXPECT_TRUE(platform::IsVolumeRoot(dir.file("toroot") + "/."));
}

TEST(VolumeRoots, MountsMadeHereAreRoots) {
  VT_REQUIRE_ROOT();
  testutil::TempDir dir("roots");
  const std::string base = fs::canonical(dir.path()).string();
  // A name with a space (escaped in mountinfo) and a bind mount of a folder
  // of the same file system (same device, only mountinfo tells).
  const std::string spaced = base + "/a b";
  const std::string bound = base + "/bound";
  fs::create_directories(spaced);
  fs::create_directories(bound);
  fs::create_directories(base + "/src");
  ASSERT_EQ(mount("tmpfs", spaced.c_str(), "tmpfs", 0, "size=1m"), 0);
  bool bindOk = mount((base + "/src").c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) == 0;
  EXPECT_TRUE(platform::IsVolumeRoot(spaced));
  EXPECT_TRUE(platform::IsVolumeRoot(spaced + "/"));
  EXPECT_TRUE(platform::MountPoints().count(spaced));
  EXPECT_FALSE(platform::IsVolumeRoot(spaced + "/x"));
  if (bindOk) {
    EXPECT_TRUE(platform::IsVolumeRoot(bound));
  }
  // Reached through a link in the folder part.
  ASSERT_EQ(symlink(base.c_str(), (base + "/self").c_str()), 0);
  EXPECT_TRUE(platform::IsVolumeRoot(base + "/self/a b"));
  if (bindOk) umount2(bound.c_str(), 0);
  umount2(spaced.c_str(), 0);
}
