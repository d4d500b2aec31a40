// Carving scripts in a folder on a read-only file system (a tmpfs this test
// mounts and remounts read-only): they are read, not opened for writing.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "CCustomHeaderManage.h"
#include "TestUtil.h"

TEST(CarvingScriptFolder, ScriptsOfAReadOnlyFolderLoad) {
  if (!testutil::IsRoot()) GTEST_SKIP() << "needs root to mount a read-only file system";
  testutil::TempDir dir("rofolder");
  const std::string folder = dir.file("CustomFileScript");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  if (mount("vantorel-scripts", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  testutil::WriteFile(folder + "/pk.fhs", "FILEINFO: EXTNAME=\"abc\"\r\nFILESIGN: OFFSET=0x0 TYPE=CHAR VALUE=\"PK\"");
  const int remounted = mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
  CCustomHeaderManage scripts;
  const bool found = remounted == 0 && scripts.LoadScripts(folder);
  const size_t loaded = scripts.GetHeaderCount();
  ASSERT_EQ(umount(folder.c_str()), 0);
  ASSERT_EQ(remounted, 0) << strerror(errno);
  EXPECT_TRUE(found);
  EXPECT_EQ(loaded, 1u);
}
