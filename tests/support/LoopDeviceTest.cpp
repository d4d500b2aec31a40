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

// A device still held open when it is detached: the detach returns once the
// holder has closed it, not before.
TEST(LoopDevice, DetachWaitsForTheLastHolder) {
  VT_REQUIRE_LOOP_TOOLS();
  testutil::TempDir dir("loopdev");
  const std::string image = MakeDisk(dir);
  testutil::LoopDevice loop(image, 512, 0);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const int fd = open(loop.Path().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::thread holder([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  const bool detached = loop.Detach();
  const auto waited = std::chrono::steady_clock::now() - start;
  holder.join();
  EXPECT_TRUE(detached) << loop.error();
  EXPECT_GE(waited, std::chrono::milliseconds(400));
  EXPECT_EQ(LoopsOver(image), "");
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
