// The loop device tests attach: partition nodes and sector size as asked,
// and detached when it goes (after the kernel let go, also when an
// assertion ends the test) without touching any other loop device.
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "LoopDevice.h"
#include "TestUtil.h"

namespace {

#define VT_REQUIRE_LOOP_TOOLS() \
  VT_REQUIRE_ROOT();            \
  for (const char* tool : {"losetup", "sfdisk", "blockdev", "partx"}) VT_REQUIRE_TOOL(tool)

// Writes an MBR with two partitions, the first of 4 MiB, to `target` (an
// image, or a loop device: sfdisk counts in its sectors).
void Partition(const std::string& target, int sectorSize) {
  testutil::TempDir dir("sfdisk");
  testutil::WriteFile(dir.file("table"), sectorSize == 512 ? "label: dos\nstart=2048, size=8192\nstart=10240\n"
                                                           : "label: dos\nstart=256, size=1024\nstart=1280\n");
  auto r = testutil::Shell("sfdisk -q '" + target + "' < '" + dir.file("table") + "'");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// A 16 MiB image, partitioned with 512-byte sectors when `partitioned`.
std::string MakeDisk(const testutil::TempDir& dir, bool partitioned = true) {
  const std::string image = dir.file("disk.img");
  testutil::Run({"truncate", "-s", "16M", image});
  if (partitioned) Partition(image, 512);
  return image;
}

// The loop devices the kernel has over `image`.
std::string LoopsOver(const std::string& image) {
  return testutil::Run({"losetup", "-j", image}).output;
}

class LoopDeviceSectors : public ::testing::TestWithParam<int> {};

TEST_P(LoopDeviceSectors, PartitionsAndSectorSizeAsAskedAndGoneAfterwards) {
  VT_REQUIRE_LOOP_TOOLS();
  const int sectorSize = GetParam();
  testutil::TempDir dir("loopdev");
  const std::string image = MakeDisk(dir, false);
  std::string path;
  {
    testutil::LoopDevice loop(image, sectorSize);
    ASSERT_TRUE(loop.ok()) << loop.error();
    path = loop.Path();
    Partition(loop.Path(), sectorSize);
    EXPECT_NE(LoopsOver(image), "");
    ASSERT_TRUE(loop.WaitForPartition(2)) << loop.error();
    EXPECT_EQ(testutil::Run({"blockdev", "--getss", loop.Path()}).output, std::to_string(sectorSize) + "\n");
    // Partition 1 holds 4 MiB either way.
    EXPECT_EQ(testutil::Run({"blockdev", "--getsize64", loop.Part1()}).output, "4194304\n");
  }
  EXPECT_EQ(LoopsOver(image), "");
  EXPECT_NE(access((path + "p1").c_str(), F_OK), 0) << "partition node left behind";
}

INSTANTIATE_TEST_SUITE_P(Sectors, LoopDeviceSectors, ::testing::Values(512, 4096),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// Waits up to `ms` for the kernel to have no loop device over `image`.
bool GoneWithin(const std::string& image, int ms) {
  for (int waited = 0; waited < ms && LoopsOver(image) != ""; waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return LoopsOver(image) == "";
}

// A device still open when it is detached. Held a moment by another process
// (udev, a FUSE driver closing), the detach returns once it has closed it;
// held on past the wait, the detach fails naming the holder; held by this
// process, the detach leaves the rest to the kernel (it lets go when this
// process closes the device).
TEST(LoopDevice, DetachWaitsForAnotherHolderOnly) {
  VT_REQUIRE_LOOP_TOOLS();
  struct Case {
    const char* what;
    bool otherProcess;
    int holdMs;
    bool detached;  // what Detach answers
    int minWaitMs;  // it returns no sooner
    int maxWaitMs;  // and no later
  } cases[] = {
      {"another process, briefly", true, 700, true, 600, 3000},
      {"another process, too long", true, 7000, false, 4900, 6900},
      {"this process", false, 3000, true, 900, 2500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testutil::TempDir dir("loopdev");
    const std::string image = MakeDisk(dir, false);
    testutil::LoopDevice loop(image, 512, 0);
    ASSERT_TRUE(loop.ok()) << loop.error();
    const std::string opened = dir.file("opened");
    std::thread holder([&] {
      if (c.otherProcess) {
        testutil::Run({"sh", "-c", "exec 3<\"$0\"; touch \"$1\"; sleep \"$2\"", loop.Path(), opened,
                       std::to_string(c.holdMs / 1000.0)});
      } else {
        const int fd = open(loop.Path().c_str(), O_RDONLY | O_CLOEXEC);
        testutil::WriteFile(opened, "");
        std::this_thread::sleep_for(std::chrono::milliseconds(c.holdMs));
        close(fd);
      }
    });
    while (access(opened.c_str(), F_OK) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto start = std::chrono::steady_clock::now();
    const bool detached = loop.Detach();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(detached, c.detached) << loop.error();
    EXPECT_GE(waited.count(), c.minWaitMs);
    EXPECT_LE(waited.count(), c.maxWaitMs);
    if (!c.detached) {
      EXPECT_NE(loop.error().find("open in process"), std::string::npos) << loop.error();
    }
    holder.join();
    // Marked for release: gone once the holder has closed it.
    EXPECT_TRUE(GoneWithin(image, 2000)) << LoopsOver(image);
  }
}

// The image of the test below (an expected failure's statement reaches no
// local variable).
std::string g_image;

TEST(LoopDevice, FailedAssertionStillDetaches) {
  VT_REQUIRE_LOOP_TOOLS();
  testutil::TempDir dir("loopdev");
  g_image = MakeDisk(dir);
  EXPECT_FATAL_FAILURE(
      {
        testutil::LoopDevice loop(g_image);
        ASSERT_TRUE(loop.ok()) << loop.error();
        ASSERT_TRUE(loop.WaitForPartition(2)) << loop.error();
        ASSERT_TRUE(false) << "failed with " << loop.Path() << " attached";
      },
      "attached");
  EXPECT_EQ(LoopsOver(g_image), "");
}

}  // namespace
