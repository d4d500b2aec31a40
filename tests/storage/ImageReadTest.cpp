// Reads through image files and loop devices with 512- and 4096-byte
// sectors, through every kind of device, against what dd reads at the same
// offsets.
#include <gtest/gtest.h>

#include <cstdlib>

#include "CBasicPartitionDevice.h"
#include "CDiskDevice.h"
#include "CPartitionVirtualVolumeDevice.h"
#include "CStorageDeviceWithCache.h"
#include "CVolumeDevice.h"
#include "DiskTable.h"
#include "FaultInjectingDevice.h"
#include "LoopDevice.h"
#include "TestUtil.h"

using testutil::Run;

namespace {

constexpr uint64_t kImageBytes = 8u << 20;
constexpr uint64_t kPartStartBytes = 1u << 20;
constexpr uint64_t kPartBytes = 4u << 20;

class EnvGuard {
 public:
  explicit EnvGuard(const std::string& value) { setenv("VANTOREL_DISKS", value.c_str(), 1); }
  ~EnvGuard() { unsetenv("VANTOREL_DISKS"); }
};

// What dd reads: `count` blocks of `bs` bytes at block `skip` of `path`.
std::vector<uint8_t> Dd(const std::string& path, int bs, uint64_t skip, uint64_t count, const std::string& scratch,
                        bool direct) {
  std::vector<std::string> argv = {"dd",
                                   "if=" + path,
                                   "of=" + scratch,
                                   "bs=" + std::to_string(bs),
                                   "skip=" + std::to_string(skip),
                                   "count=" + std::to_string(count),
                                   "status=none"};
  if (direct) argv.push_back("iflag=direct");
  auto r = Run(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string bytes = testutil::ReadFile(scratch);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> ReadDevice(IStorageDevice& d, uint64_t first, uint64_t count) {
  std::vector<uint8_t> buf(static_cast<size_t>(count * static_cast<uint64_t>(d.GetSectorSize())), 0xCC);
  EXPECT_EQ(d.ReadSectors(buf.data(), first, count), 1) << "sector " << first;
  return buf;
}

// The pattern image.
std::string MakeImage(const testutil::TempDir& dir, int sectorSize) {
  std::string image = dir.file("disk" + std::to_string(sectorSize) + ".img");
  std::vector<uint8_t> data = testutil::PatternBytes(0, kImageBytes);
  testutil::WriteFile(image, std::string(data.begin(), data.end()));
  return image;
}

// One MBR partition at 1 MiB of 4 MiB, written by sfdisk in the sectors of
// `target` (the image, or the loop device with its own sector size).
void Partition(const testutil::TempDir& dir, const std::string& target, int sectorSize) {
  const uint64_t ss = static_cast<uint64_t>(sectorSize);
  std::string layout = "label: dos\nstart=" + std::to_string(kPartStartBytes / ss) +
                       ", size=" + std::to_string(kPartBytes / ss) + ", type=83\n";
  testutil::WriteFile(dir.file("layout"), layout);
  // A loop device's nodes are made by its own partition wait: a re-read by
  // sfdisk fails while another process briefly holds the device.
  auto r = testutil::Shell("sfdisk -q --no-reread '" + target + "' < '" + dir.file("layout") + "'");
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// Compares every kind of device over `diskPath` (disk number 0 of the
// table) and `volumePath` (the partition's own node, or empty) with dd.
void CompareAllDevices(const std::string& diskPath, const std::string& volumePath, const std::string& image,
                       int sectorSize, const testutil::TempDir& dir) {
  EnvGuard env(diskPath);
  platform::RefreshDiskTable();
  const uint64_t ss = static_cast<uint64_t>(sectorSize);
  const uint64_t diskSectors = kImageBytes / ss;
  const uint64_t partStart = kPartStartBytes / ss, partSectors = kPartBytes / ss;
  const std::string scratch = dir.file("dd.out");
  const bool blockDevice = diskPath != image;

  CDiskDevice disk(0, true);
  ASSERT_TRUE(disk.IsOpen());
  ASSERT_EQ(disk.GetSectorSize(), sectorSize);
  ASSERT_EQ(disk.GetSectorCount(), diskSectors);

  const std::vector<std::pair<uint64_t, uint64_t>> diskReads = {
      {0, 1}, {1, 3}, {partStart - 1, 2}, {diskSectors / 2 + 3, 17}, {diskSectors - 2, 2}};
  for (auto [first, count] : diskReads)
    EXPECT_EQ(ReadDevice(disk, first, count), Dd(diskPath, sectorSize, first, count, scratch, blockDevice))
        << "disk at " << first;
  // More than the 4 MiB bounce buffer in one read.
  EXPECT_EQ(ReadDevice(disk, 1, diskSectors - 1), Dd(diskPath, sectorSize, 1, diskSectors - 1, scratch, false));
  std::vector<uint8_t> one(static_cast<size_t>(ss));
  EXPECT_EQ(disk.ReadSectors(one.data(), diskSectors, 1), 0);

  CBasicPartitionDevice part(&disk, partStart, partSectors);
  CPartitionVirtualVolumeDevice window(&disk, partStart, partSectors);
  CVolumeDevice imageWindow(image, kPartStartBytes, kPartBytes, sectorSize, true);
  std::vector<IStorageDevice*> volumes = {&part, &window, &imageWindow};
  std::unique_ptr<CVolumeDevice> volumeNode;
  if (!volumePath.empty()) {
    volumeNode = std::make_unique<CVolumeDevice>(volumePath, true);
    volumes.push_back(volumeNode.get());
  }
  const std::vector<std::pair<uint64_t, uint64_t>> volumeReads = {
      {0, 1}, {5, 9}, {partSectors / 3, 4}, {partSectors - 1, 1}};
  for (IStorageDevice* v : volumes) {
    ASSERT_EQ(v->GetSectorSize(), sectorSize);
    ASSERT_EQ(v->GetSectorCount(), partSectors);
    for (auto [first, count] : volumeReads)
      EXPECT_EQ(ReadDevice(*v, first, count), Dd(diskPath, sectorSize, partStart + first, count, scratch, false))
          << "volume at " << first;
  }

  CStorageDeviceWithCache cache(&disk);
  cache.SetBlockSectors(static_cast<uint32_t>((1u << 20) / ss));  // 1 MiB blocks
  cache.StartCache();
  const uint64_t block = (1u << 20) / ss;
  for (uint32_t k = 0; k < 8; ++k) {
    ASSERT_EQ(cache.SetCurCacheBlock(k), 1);
    EXPECT_EQ(ReadDevice(cache, k * block + 3, 5), Dd(diskPath, sectorSize, k * block + 3, 5, scratch, false))
        << "cached block " << k;
  }
  cache.StopCache();

  IStorageDevice* view = disk.Get512ByteDevice();
  ASSERT_EQ(view->GetSectorSize(), 512);
  ASSERT_EQ(view->GetSectorCount(), kImageBytes / 512);
  for (auto [first, count] : std::vector<std::pair<uint64_t, uint64_t>>{{0, 1}, {3, 2}, {7, 9}, {2049, 30}})
    EXPECT_EQ(ReadDevice(*view, first, count), Dd(diskPath, 512, first, count, scratch, false))
        << "512-byte view at " << first;
}

}  // namespace

TEST(ImageReads, ImageFile) {
  VT_REQUIRE_TOOL("sfdisk");
  testutil::TempDir dir("imgread");
  std::string image = MakeImage(dir, 512);
  Partition(dir, image, 512);
  CompareAllDevices(image, "", image, 512, dir);
}

class LoopReads : public ::testing::TestWithParam<int> {};

TEST_P(LoopReads, LoopDevice) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  VT_REQUIRE_TOOL("sfdisk");
  const int sectorSize = GetParam();
  testutil::TempDir dir("loopread");
  std::string image = MakeImage(dir, sectorSize);
  testutil::LoopDevice loop(image, sectorSize);
  ASSERT_TRUE(loop.ok()) << loop.error();
  Partition(dir, loop.Path(), sectorSize);
  const bool partitioned = loop.WaitForPartition();
  EXPECT_TRUE(partitioned) << loop.error();
  CompareAllDevices(loop.Path(), partitioned ? loop.Part1() : std::string(), image, sectorSize, dir);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, LoopReads, ::testing::Values(512, 4096));

TEST(ImageReads, VtctlDisksPrintsTheTable) {
  testutil::TempDir dir("vtctl");
  std::string image = dir.file("x.img");
  testutil::WriteFile(image, std::string(1 << 20, 'x'));
  EnvGuard env(image);
  auto r = testutil::Run({std::string(VANTOREL_BIN_DIR) + "/vtctl", "disks"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(image), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("x.img"), std::string::npos);
  EXPECT_NE(r.output.find("2048"), std::string::npos);
  EXPECT_NE(r.output.find("file "), std::string::npos);
}
