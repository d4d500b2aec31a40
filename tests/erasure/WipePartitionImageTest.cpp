// The partition wipe on loop devices this test attached (as root; skipped
// otherwise), with MBR and GPT tables and 512- and 4096-byte sectors: the
// whole partition becomes 0xFF, then a valid NTFS; the table and the other
// partition stay byte-identical; writes outside the locked volume are
// refused; cancel and a busy volume.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "CMountDriverDevice.h"
#include "CWipePartitionRun.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "WinError.h"
#include "WipeTestSupport.h"

using wipetest::AllPattern;

namespace {

struct Layout {
  const char* name;
  const char* label;  // sfdisk label
  int sectorSize;
  int imageMib;
  uint64_t p1, p1Count, p2, p2Count;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

const Layout kLayouts[] = {
    {"mbr512", "dos", 512, 10, 2048, 10000, 12288, 4096},
    {"gpt512", "gpt", 512, 10, 2048, 10000, 12288, 4096},
    {"gpt4096", "gpt", 4096, 28, 256, 5000, 5376, 1024},
};

#define VT_REQUIRE_WIPE_TOOLS() \
  VT_REQUIRE_ROOT();            \
  VT_REQUIRE_TOOL("losetup");   \
  VT_REQUIRE_TOOL("sfdisk");    \
  VT_REQUIRE_TOOL("mkntfs")

class WipeOnLoop : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    platform::ForgetDriveLettersForTest();
    L = GetParam();
    ss = static_cast<uint64_t>(L.sectorSize);
  }
  void TearDown() override { platform::ForgetDriveLettersForTest(); }

  // A patterned image attached with the layout's sector size, partitioned
  // through the loop device, its two partitions registered.
  // Attaches and partitions the image; on failure `why` says which step.
  bool Build() {
    image = dir.file("disk.img");
    testutil::WriteFile(image, wipetest::PatternBytes(static_cast<size_t>(L.imageMib) << 20, 3));
    loop = std::make_unique<testutil::LoopDevice>(image, L.sectorSize);
    if (!loop->ok()) return Why("no loop device: " + loop->error());
    std::ostringstream script;
    script << "label: " << L.label << "\nstart=" << L.p1 << ", size=" << L.p1Count << "\nstart=" << L.p2
           << ", size=" << L.p2Count << "\n";
    testutil::WriteFile(dir.file("table"), script.str());
    // The kernel's copy of the table is read again by WaitForPartition: a
    // re-read by sfdisk fails while another process briefly holds the device.
    const auto written = testutil::Shell("sfdisk -q --no-reread " + loop->Path() + " < " + dir.file("table"));
    if (written.exitCode != 0) return Why("sfdisk failed: " + written.output);
    if (!loop->WaitForPartition(2)) return Why("no partition nodes on " + loop->Path());
    env = std::make_unique<volfix::EnvGuard>(loop->Path());
    disk = volfix::DiskNumberOf(loop->Path());
    if (disk < 0) return Why("disk table does not list " + loop->Path());
    letter = platform::RegisterVolume(disk, L.p1, L.p1Count, platform::VolumeFsKind::Unknown);
    if (letter == 0 || platform::RegisterVolume(disk, L.p2, L.p2Count, platform::VolumeFsKind::Unknown) == 0)
      return Why("no letter for the partitions");
    return true;
  }
  bool Why(const std::string& text) {
    why = text;
    return false;
  }
  void Prepare(CWipePartitionRun& run, int passes) {
    run.SetParams(0, letter, disk, L.p1, L.p1Count, L.sectorSize, L.p1 + L.p1Count);
    run.SetPasses(passes);
    run.SetFormatter(format.Get());
    run.SetObserver(&observer);
  }
  std::string Image() {
    sync();
    return testutil::ReadFile(image);
  }
  // The bytes outside partition 1 (the tables, partition 2, the rest).
  std::string Outside(const std::string& bytes) {
    return bytes.substr(0, L.p1 * ss) + bytes.substr((L.p1 + L.p1Count) * ss);
  }

  Layout L;
  uint64_t ss = 512;
  testutil::TempDir dir{"wipeloop"};
  std::string image;
  std::unique_ptr<testutil::LoopDevice> loop;
  std::unique_ptr<volfix::EnvGuard> env;
  int disk = -1;
  char letter = 0;
  std::string why;
  wipetest::WriteLog log;
  wipetest::RecordingObserver observer;
  wipetest::FormatCounter format;
};

TEST_P(WipeOnLoop, FillsTheWholeExtentThenFormatsAndKeepsTheRest) {
  VT_REQUIRE_WIPE_TOOLS();
  VT_REQUIRE_TOOL("ntfsinfo");
  VT_REQUIRE_TOOL("ntfsfix");
  ASSERT_TRUE(Build()) << why;
  const std::string before = Image();
  std::vector<uint32_t> outsideWrites;
  {
    wipetest::WriterSeam seam(&log);
    CWipePartitionRun run;
    Prepare(run, 3);
    // While the run holds partition 1 locked, writes sent straight to the
    // writer anywhere else are refused.
    observer.onProgress = [&](const wipetest::RecordingObserver::Step& s) {
      if (s.pass != 0 || s.done != 0) return;
      CMountDriverDevice writer;
      ASSERT_TRUE(writer.Open(disk));
      const std::string junk(2 * ss, '\x5a');
      outsideWrites.push_back(writer.WriteAt(0, junk.data(), ss, nullptr));
      outsideWrites.push_back(writer.WriteAt(L.p2 * ss, junk.data(), ss, nullptr));
      outsideWrites.push_back(writer.WriteAt((L.p1 - 1) * ss, junk.data(), 2 * ss, nullptr));
      outsideWrites.push_back(writer.WriteAt((L.p1 + L.p1Count - 1) * ss, junk.data(), 2 * ss, nullptr));
    };
    run.Run();
    ASSERT_EQ(run.Result(), ERASE_COMPLETED) << run.Message();
  }
  EXPECT_EQ(outsideWrites, std::vector<uint32_t>(4, platform::kWinWriteRefused));
  // Three passes: three full writes of the partition, all inside it.
  EXPECT_EQ(log.SectorsWritten(), 3 * L.p1Count);
  for (const auto& w : log.writes) {
    EXPECT_GE(w.first, L.p1);
    EXPECT_LE(w.first + w.count, L.p1 + L.p1Count);
  }
  EXPECT_EQ(format.calls, 1);
  const std::string wiped = Image();
  EXPECT_TRUE(AllPattern(wiped, L.p1 * ss, L.p1Count * ss));
  EXPECT_TRUE(Outside(wiped) == Outside(before));

  // The same through vtctl, with the real format.
  auto listed = testutil::Run({VANTOREL_BIN_DIR "/vtctl", "wipe-partition", "--list"});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  const size_t at = listed.output.find(": " + loop->Part1() + " ");
  ASSERT_NE(at, std::string::npos) << listed.output;
  ASSERT_GE(at, 1u);
  const std::string cliLetter(1, listed.output[at - 1]);
  auto wipe = testutil::Run({VANTOREL_BIN_DIR "/vtctl", "wipe-partition", cliLetter});
  ASSERT_EQ(wipe.exitCode, 0) << wipe.output;
  EXPECT_NE(wipe.output.find("formatted: yes"), std::string::npos) << wipe.output;
  auto info = testutil::Run({"ntfsinfo", "-m", loop->Part1()});
  EXPECT_EQ(info.exitCode, 0) << info.output;
  auto fix = testutil::Run({"ntfsfix", "-n", loop->Part1()});
  EXPECT_EQ(fix.exitCode, 0) << fix.output;
  EXPECT_TRUE(Outside(Image()) == Outside(before));
}

TEST_P(WipeOnLoop, CancelWritesOneChunkMoreAndDoesNotFormat) {
  VT_REQUIRE_WIPE_TOOLS();
  ASSERT_TRUE(Build()) << why;
  const std::string before = Image();
  wipetest::WriterSeam seam(&log);
  CWipePartitionRun run;
  Prepare(run, 1);
  observer.onProgress = [&run](const wipetest::RecordingObserver::Step&) { run.Cancel(); };
  run.Start();
  run.Join();
  EXPECT_EQ(run.Result(), ERASE_PARTITION_CANCELLED);
  EXPECT_EQ(format.calls, 0);
  const uint64_t chunk = std::min<uint64_t>(CWipePartitionRun::kChunkSectors, L.p1Count);
  EXPECT_EQ(log.SectorsWritten(), chunk);
  const std::string after = Image();
  EXPECT_TRUE(AllPattern(after, L.p1 * ss, chunk * ss));
  const size_t rest = (L.p1 + chunk) * ss;
  EXPECT_TRUE(after.compare(rest, std::string::npos, before, rest, std::string::npos) == 0);
  EXPECT_TRUE(after.compare(0, L.p1 * ss, before, 0, L.p1 * ss) == 0);
}

TEST_P(WipeOnLoop, BusyVolumeIsDeniedAndUntouched) {
  VT_REQUIRE_WIPE_TOOLS();
  VT_REQUIRE_TOOL("mke2fs");
  ASSERT_TRUE(Build()) << why;
  auto mk = testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", loop->Part1()});
  ASSERT_EQ(mk.exitCode, 0) << mk.output;
  const std::string point = dir.file("mnt");
  volfix::TestMount mounted(point, {"mount", "-t", "ext2", "-o", "noatime", loop->Part1(), point});
  ASSERT_TRUE(mounted.ok()) << mounted.output();
  testutil::WriteFile(point + "/held", "held open");
  const int held = open((point + "/held").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  const std::string before = Image();
  {
    wipetest::WriterSeam seam(&log);
    CWipePartitionRun run;
    Prepare(run, 1);
    run.Run();
    EXPECT_EQ(run.Result(), ERASE_PARTITION_ACCESS_DENIED) << run.Message();
  }
  close(held);
  EXPECT_TRUE(log.writes.empty());
  EXPECT_EQ(format.calls, 0);
  EXPECT_TRUE(volfix::IsMountedAt(point));
  // The mounted ext2 may write its own metadata; the run wrote nothing (the
  // log above) and nothing outside the partition changed.
  EXPECT_TRUE(Outside(Image()) == Outside(before));

  // Once nothing holds it, the run unmounts it and wipes it; the wiped file
  // system does not come back.
  {
    CWipePartitionRun run;
    Prepare(run, 1);
    run.Run();
    EXPECT_EQ(run.Result(), ERASE_COMPLETED) << run.Message();
  }
  EXPECT_FALSE(volfix::IsMountedAt(point));
  const std::string wiped = Image();
  EXPECT_TRUE(AllPattern(wiped, L.p1 * ss, L.p1Count * ss));
  EXPECT_TRUE(Outside(wiped) == Outside(before));
}

// A volume that holds an active swap area is the system's: refused before
// anything is locked or written.
TEST_P(WipeOnLoop, ActiveSwapAreaIsRefused) {
  VT_REQUIRE_WIPE_TOOLS();
  VT_REQUIRE_TOOL("mkswap");
  VT_REQUIRE_TOOL("swapon");
  ASSERT_TRUE(Build()) << why;
  ASSERT_EQ(testutil::Run({"mkswap", loop->Part1()}).exitCode, 0);
  auto on = testutil::Run({"swapon", loop->Part1()});
  if (on.exitCode != 0) GTEST_SKIP() << "swapon is not allowed here: " << on.output;
  struct SwapOff {
    std::string node;
    ~SwapOff() { testutil::Run({"swapoff", node}); }
  } off{loop->Part1()};
  const std::string before = Image();
  wipetest::WriterSeam seam(&log);
  CWipePartitionRun run;
  Prepare(run, 1);
  run.Run();
  EXPECT_EQ(run.Result(), ERASE_PARTITION_ACCESS_DENIED);
  EXPECT_NE(run.Message().find("active swap area"), std::string::npos) << run.Message();
  EXPECT_TRUE(log.writes.empty());
  EXPECT_TRUE(Image() == before);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WipeOnLoop, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& i) { return std::string(i.param.name); });

}  // namespace
