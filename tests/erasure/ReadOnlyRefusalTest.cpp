// Read-only volumes are refused by every run that writes to a volume (the
// deleted-record scrub, the partition wipe with and without its format, the
// free-space wipe), driven as a user drives them, through vtctl: a volume
// its user mounted read-only, and a volume on a read-only loop device.
// Nothing is unmounted and no byte of the image changes; the same scrub on
// the writable volume does change bytes, so the comparison would see a write.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LoopDevice.h"
#include "MountTable.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "VolumeMount.h"

namespace {

struct FsCase {
  const char* name;
  const char* mkfs;  // the tool, given the partition node last
  bool fat;          // deleted content made with mtools, else through an ntfs-3g mount
};

const FsCase kCases[] = {{"Fat32", "mkfs.fat", true}, {"Ntfs", "mkntfs", false}};

// The letter vtctl gives the volume on `node`; 0 when it lists none.
char LetterOf(const std::string& vtctl, const std::string& node) {
  const std::string out = testutil::Run({vtctl, "letters"}).output;
  const size_t at = out.find(node + " ");
  if (at == std::string::npos) return 0;
  const size_t lineStart = out.rfind('\n', at);
  return out[lineStart == std::string::npos ? 0 : lineStart + 1];
}

class ReadOnlyRefusal : public ::testing::TestWithParam<FsCase> {
 protected:
  void SetUp() override {
    VT_REQUIRE_ROOT();
    const FsCase& c = GetParam();
    for (const char* tool : {"losetup", "sfdisk", "blockdev", "partx", c.mkfs, c.fat ? "mcopy" : "ntfs-3g"})
      VT_REQUIRE_TOOL(tool);
    if (c.fat && !platform::KernelHasFileSystem("vfat") && !testutil::HaveTool("fusefat"))
      GTEST_SKIP() << "no FAT mounter here: neither the kernel's vfat nor fusefat";
    ASSERT_TRUE(volfix::MakePartitionedImage(m_image, 64, {"start=2048, type=83"}));
    testutil::LoopDevice loop(m_image);
    ASSERT_TRUE(loop.ok() && loop.WaitForPartition()) << loop.error();
    const std::string part = loop.Part1();
    std::vector<std::string> mkfs = {c.mkfs};
    if (c.fat)
      mkfs.insert(mkfs.end(), {"-F", "32"});
    else
      mkfs.insert(mkfs.end(), {"-Q", "-f"});
    mkfs.push_back(part);
    const auto made = testutil::Run(mkfs);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    // Deleted files: what a scrub would rewrite.
    const std::string dead = m_dir.file("dead.txt");
    testutil::WriteFile(dead, std::string(5000, 'd'));
    testutil::CommandResult content;
    if (c.fat) {
      content = testutil::Shell("export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0; for i in 1 2 3 4 5; do mcopy -i '" +
                                part + "' '" + dead + "' ::/dead$i.txt; done && mdel -i '" + part + "' '::/dead*.txt'");
    } else {
      const std::string mnt = m_dir.file("fill");
      volfix::TestMount mount(mnt, {"ntfs-3g", part, mnt});
      ASSERT_TRUE(mount.ok()) << mount.output();
      content = testutil::Shell("set -e; for i in 1 2 3 4 5; do cp '" + dead + "' '" + mnt +
                                "'/dead$i.txt; done; sync; rm '" + mnt + "'/dead*.txt; sync");
    }
    ASSERT_EQ(content.exitCode, 0) << content.output;
  }

  // A read-only mount of the partition at m_mnt.
  std::vector<std::string> ReadOnlyMount(const std::string& part) const {
    if (!GetParam().fat) return {"ntfs-3g", "-o", "ro", part, m_mnt};
    if (platform::KernelHasFileSystem("vfat")) return {"mount", "-t", "vfat", "-o", "ro", part, m_mnt};
    return {"fusefat", "-o", "ro", part, m_mnt};
  }

  testutil::TempDir m_dir{"readonly"};
  const std::string m_image = m_dir.file("disk.img");
  const std::string m_mnt = m_dir.file("mnt");
  const std::string m_vtctl = testutil::BuildDir() + "/bin/vtctl";
};

TEST_P(ReadOnlyRefusal, EveryWritingRunRefusesAndNothingChanges) {
  const std::string before = testutil::ReadFile(m_image);
  ASSERT_FALSE(before.empty());
  struct Command {
    std::vector<std::string> args;
    int exitCode;
    const char* says;
  } commands[] = {
      {{"scrub"}, 5, "scrub refused: the volume is read-only"},
      {{"wipe-partition", "--no-format"}, 1, "result 5:"},
      {{"wipe-partition"}, 1, "result 5:"},
      {{"wipe-free-space"}, 1, "result 5:"},
  };
  for (const bool readOnlyDevice : {false, true}) {
    SCOPED_TRACE(readOnlyDevice ? "on a read-only loop device" : "mounted read-only");
    testutil::LoopDevice loop(
        m_image, 512, testutil::LoopDevice::kPartitions | (readOnlyDevice ? testutil::LoopDevice::kReadOnly : 0));
    ASSERT_TRUE(loop.ok() && loop.WaitForPartition()) << loop.error();
    volfix::EnvGuard env(loop.Path());
    std::unique_ptr<volfix::TestMount> mount;
    if (!readOnlyDevice) {
      mount = std::make_unique<volfix::TestMount>(m_mnt, ReadOnlyMount(loop.Part1()));
      ASSERT_TRUE(mount->ok()) << mount->output();
    }
    const char letter = LetterOf(m_vtctl, loop.Part1());
    ASSERT_NE(letter, 0) << testutil::Run({m_vtctl, "letters"}).output;
    for (const Command& c : commands) {
      std::vector<std::string> argv = {m_vtctl};
      argv.insert(argv.end(), c.args.begin(), c.args.end());
      argv.push_back(std::string(1, letter));
      const auto r = testutil::Run(argv);
      SCOPED_TRACE(r.output);
      EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0];
      EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args[0];
      EXPECT_NE(r.output.find("read-only"), std::string::npos) << c.args[0];
      if (mount) {
        // Still the user's read-only mount, where the user put it.
        platform::MountEntry m;
        ASSERT_TRUE(volfix::MountEntryAt(m_mnt, &m)) << c.args[0];
        EXPECT_EQ(m.options.rfind("ro", 0), 0u) << m.options;
      }
    }
  }
  EXPECT_TRUE(testutil::ReadFile(m_image) == before) << "a refused run changed the image";

  // Writable and unmounted, the same scrub writes: the comparison above
  // would have seen it.
  testutil::LoopDevice loop(m_image);
  ASSERT_TRUE(loop.ok() && loop.WaitForPartition()) << loop.error();
  volfix::EnvGuard env(loop.Path());
  const char letter = LetterOf(m_vtctl, loop.Part1());
  ASSERT_NE(letter, 0);
  const auto scrub = testutil::Run({m_vtctl, "scrub", std::string(1, letter)});
  EXPECT_EQ(scrub.exitCode, 0) << scrub.output;
  ASSERT_TRUE(loop.Detach());
  EXPECT_FALSE(testutil::ReadFile(m_image) == before) << "the scrub of the writable volume changed nothing";
}

INSTANTIATE_TEST_SUITE_P(Types, ReadOnlyRefusal, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FsCase>& info) { return std::string(info.param.name); });

}  // namespace
