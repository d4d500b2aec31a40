// Which volumes the system runs from: mounts at the system folders (also
// bind mounts, which the table ties to the volume like any mount) and
// active swap areas and swap files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "SystemVolumes.h"

namespace {

platform::MountEntry MountAt(const std::string& point) {
  platform::MountEntry m;
  m.mountPoint = point;
  return m;
}

TEST(SystemVolumes, MountsAtSystemFoldersAndSwapAreasAreTheSystemsOwn) {
  struct stat null;
  ASSERT_EQ(stat("/dev/null", &null), 0);
  const std::string header = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
  struct Case {
    std::vector<platform::MountEntry> mounts;
    std::set<dev_t> nodes;
    std::string swaps;
    std::string why;  // empty: not the system's
  } cases[] = {
      {{MountAt("/")}, {}, header, "it holds /"},
      {{MountAt("/mnt/data"), MountAt("/boot/efi")}, {}, header, "it holds /boot/efi"},
      {{MountAt("/boot")}, {}, "", "it holds /boot"},
      {{MountAt("/usr")}, {}, header, "it holds /usr"},
      {{MountAt("/home")}, {}, header, "it holds /home"},
      {{MountAt("/home/user")}, {}, header, ""},
      {{MountAt("/bootstrap")}, {}, header, ""},
      // A swap partition by its node's device number.
      {{}, {null.st_rdev}, header + "/dev/null                               partition\t1048572\t\t0\t\t-2\n",
       "it holds the active swap area /dev/null"},
      {{}, {}, header + "/dev/null                               partition\t1048572\t\t0\t\t-2\n", ""},
      // A swap file in a file system on the volume (escaped name).
      {{MountAt("/mnt/my disk")}, {}, header + "/mnt/my\\040disk/swap file\t1024\t0\t-3\n",
       "it holds the active swap file /mnt/my disk/swap"},
      {{MountAt("/mnt/my")}, {}, header + "/mnt/my\\040disk/swap file\t1024\t0\t-3\n", ""},
      {{MountAt("/mnt/v")}, {}, header + "/mnt/other/swap file\t1024\t0\t-3\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why + " / " + c.swaps);
    EXPECT_EQ(platform::SystemUseOf(c.mounts, c.nodes, c.swaps), c.why);
  }
}

}  // namespace
