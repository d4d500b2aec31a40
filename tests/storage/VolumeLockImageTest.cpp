// Lock, unlock, mount on demand and the raw writer on loop devices this
// test attached, with ntfs-3g, fusefat and kernel ext2 mounts this test
// made (as root; skipped otherwise).
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "CMountDriverDevice.h"
#include "CVolumeManager.h"
#include "DriveLetters.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "VolumeFormat.h"
#include "VolumeLock.h"
#include "VolumeMount.h"
#include "WinError.h"

using platform::VolumeFsKind;

namespace {

constexpr uint64_t kP1 = 2048, kP2 = 18432, kP3 = 34816, kPartSectors = 16384, kP3Sectors = 8192;

bool MakeThreePartImage(const std::string& path) {
  return volfix::MakePartitionedImage(
      path, 24,
      {"start=2048, size=16384, type=7", "start=18432, size=16384, type=83", "start=34816, size=8192, type=83"});
}

#define VT_REQUIRE_LOOP_TOOLS() \
  VT_REQUIRE_ROOT();            \
  VT_REQUIRE_TOOL("losetup");   \
  VT_REQUIRE_TOOL("sfdisk");    \
  if (access("/dev/fuse", F_OK) != 0) GTEST_SKIP() << "needs /dev/fuse"

struct FsCase {
  const char* name;
  VolumeFsKind kind;
  const char* tool;
  std::function<std::vector<std::string>(const std::string&)> mkfs;
  std::function<std::vector<std::string>(const std::string&, const std::string&)> mount;
  const char* fsType;
};

void PrintTo(const FsCase& c, std::ostream* os) {
  *os << c.name;
}

const FsCase kCases[] = {
    {"ntfs3g", VolumeFsKind::NTFS, "ntfs-3g",
     [](const std::string& d) {
       return std::vector<std::string>{"mkntfs", "-q", "-Q", "-F", d};
     },
     [](const std::string& d, const std::string& p) {
       return std::vector<std::string>{"ntfs-3g", "-o", "noatime", d, p};
     },
     "fuseblk"},
    {"fusefat", VolumeFsKind::FAT, "fusefat",
     [](const std::string& d) {
       return std::vector<std::string>{"mkfs.fat", d};
     },
     [](const std::string& d, const std::string& p) {
       return std::vector<std::string>{"fusefat", "-o", "rw+", d, p};
     },
     "fuse.fusefat"},
    {"ext2", VolumeFsKind::Ext2, "mke2fs",
     [](const std::string& d) { return std::vector<std::string>{"mke2fs", "-q", "-F", "-t", "ext2", d}; },
     [](const std::string& d, const std::string& p) {
       return std::vector<std::string>{"mount", "-t", "ext2", "-o", "noatime,nodev", d, p};
     },
     "ext2"},
};

class LockOnLoop : public ::testing::TestWithParam<FsCase> {
 protected:
  void SetUp() override { platform::ForgetDriveLettersForTest(); }
  void TearDown() override { platform::ForgetDriveLettersForTest(); }
};

TEST_P(LockOnLoop, UnmountsHoldsExclusivelyAndMountsAgain) {
  VT_REQUIRE_LOOP_TOOLS();
  const FsCase& fs = GetParam();
  VT_REQUIRE_TOOL(fs.tool);
  testutil::TempDir dir("lock");
  const std::string image = dir.file("disk.img");
  ASSERT_TRUE(MakeThreePartImage(image));
  testutil::LoopDevice loop(image);
  ASSERT_TRUE(loop.ok());
  ASSERT_TRUE(loop.WaitForPartition(1));
  auto mk = testutil::Run(fs.mkfs(loop.Part1()));
  ASSERT_EQ(mk.exitCode, 0) << mk.output;
  const std::string point = dir.file("mnt");
  volfix::TestMount mounted(point, fs.mount(loop.Part1(), point));
  ASSERT_TRUE(mounted.ok()) << mounted.output();
  testutil::WriteFile(point + "/hello.txt", "hello");

  volfix::EnvGuard env(loop.Path());
  const int disk = volfix::DiskNumberOf(loop.Path());
  ASSERT_GE(disk, 0);
  const char letter = platform::RegisterVolume(disk, kP1, kPartSectors, fs.kind);
  ASSERT_NE(letter, 0);
  platform::LetteredVolume v;
  ASSERT_TRUE(platform::GetLetteredVolume(letter, &v));
  EXPECT_EQ(v.location.devicePath, loop.Part1());
  ASSERT_EQ(v.mountPoints, std::vector<std::string>{point});
  platform::MountEntry before;
  ASSERT_TRUE(volfix::MountEntryAt(point, &before));
  EXPECT_EQ(before.fsType, fs.fsType);

  {  // A file held open on the volume: the lock fails and it stays mounted.
    int busy = open((point + "/hello.txt").c_str(), O_RDONLY);
    ASSERT_GE(busy, 0);
    CVolumeManager manager;
    ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
    EXPECT_FALSE(manager.LockVolume());
    EXPECT_EQ(manager.GetLastError(), platform::kWinAccessDenied);
    EXPECT_FALSE(manager.IsOpen());
    close(busy);
    EXPECT_TRUE(volfix::IsMountedAt(point));
  }

  CVolumeManager manager;
  platform::VolumeExpectation expect{v.disk, kP1, kPartSectors};
  manager.ExpectIdentity(expect);
  ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
  ASSERT_TRUE(manager.LockVolume()) << manager.GetLastError();
  EXPECT_FALSE(volfix::IsMountedAt(point));
  int second = open(loop.Part1().c_str(), O_RDWR | O_EXCL);
  EXPECT_LT(second, 0);
  EXPECT_EQ(errno, EBUSY);
  if (second >= 0) close(second);
  EXPECT_TRUE(manager.DismountVolume());

  ASSERT_TRUE(manager.UnlockVolume());
  platform::MountEntry after;
  ASSERT_TRUE(volfix::MountEntryAt(point, &after));
  EXPECT_EQ(after.fsType, before.fsType);
  EXPECT_EQ(after.options, before.options);
  EXPECT_EQ(after.source, before.source);
  EXPECT_EQ(testutil::ReadFile(point + "/hello.txt"), "hello");
}

INSTANTIATE_TEST_SUITE_P(Mounts, LockOnLoop, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FsCase>& info) { return std::string(info.param.name); });

class VolumeLayerOnLoop : public ::testing::Test {
 protected:
  void SetUp() override { platform::ForgetDriveLettersForTest(); }
  void TearDown() override { platform::ForgetDriveLettersForTest(); }
};

TEST_F(VolumeLayerOnLoop, WriterLandsInsideTheLockedPartitionOnly) {
  VT_REQUIRE_LOOP_TOOLS();
  testutil::TempDir dir("writer");
  const std::string image = dir.file("disk.img");
  ASSERT_TRUE(MakeThreePartImage(image));
  testutil::LoopDevice loop(image);
  ASSERT_TRUE(loop.ok());
  ASSERT_TRUE(loop.WaitForPartition(3));
  volfix::EnvGuard env(loop.Path());
  const int disk = volfix::DiskNumberOf(loop.Path());
  ASSERT_GE(disk, 0);
  const char p2 = platform::RegisterVolume(disk, kP2, kPartSectors, VolumeFsKind::Unknown);
  const char p3 = platform::RegisterVolume(disk, kP3, kP3Sectors, VolumeFsKind::Unknown);
  ASSERT_NE(p3, 0);

  CMountDriverDevice writer;
  ASSERT_TRUE(writer.Open(disk));
  std::string pattern(4096, '\0');
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 13 + 1);
  const std::string original = testutil::ReadFile(image);

  // No lock held: refused.
  EXPECT_EQ(writer.WriteAt((kP3 + 3) * 512, pattern.data(), 4096, nullptr), platform::kWinWriteRefused);

  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume(p3, nullptr));
  ASSERT_TRUE(manager.LockVolume());
  // Outside the locked partition (before it, across its end, in p2): refused.
  EXPECT_EQ(writer.WriteAt((kP3 - 1) * 512, pattern.data(), 512, nullptr), platform::kWinWriteRefused);
  EXPECT_EQ(writer.WriteAt((kP3 + kP3Sectors - 4) * 512, pattern.data(), 4096, nullptr), platform::kWinWriteRefused);
  EXPECT_EQ(writer.WriteAt((kP2 + 8) * 512, pattern.data(), 512, nullptr), platform::kWinWriteRefused);
  EXPECT_EQ(testutil::ReadFile(image), original);
  (void)p2;

  size_t written = 0;
  ASSERT_EQ(writer.WriteAt((kP3 + 3) * 512, pattern.data(), 4096, &written), 0u);
  EXPECT_EQ(written, 4096u);

  // A batch of scattered blocks lands whole (aligned buffers in flight
  // together, an unaligned one the plain way); its pieces outside the
  // locked partition are refused alone.
  void* aligned = nullptr;
  ASSERT_EQ(posix_memalign(&aligned, 4096, 3 * 4096), 0);
  std::unique_ptr<void, decltype(&free)> own(aligned, &free);
  auto* blocks = static_cast<uint8_t*>(aligned);
  for (size_t i = 0; i < 3 * 4096; ++i) blocks[i] = static_cast<uint8_t>(i * 29 + 7);
  const std::string unaligned = "x" + pattern.substr(0, 1024);
  struct Piece {
    uint64_t sector;
    const void* buffer;
    size_t length;
    uint32_t error;
  };
  std::string expected = original;
  expected.replace((kP3 + 3) * 512, 4096, pattern);
  // Once through the write ring, once the plain way (a kernel without one).
  for (const bool ring : {true, false}) {
    SCOPED_TRACE(ring ? "write ring" : "plain writes");
    platform::AllowWriteRing(ring);
    const uint64_t at = ring ? 0 : 2000;
    const Piece pieces[] = {
        {kP3 + at + 64, blocks, 4096, 0},
        {kP3 + at + 200, blocks + 4096, 8192, 0},
        {kP3 + at + 1000, unaligned.data() + 1, 1024, 0},
        {kP2 + 64, blocks, 4096, platform::kWinWriteRefused},
        {kP3 + kP3Sectors - 4, blocks, 4096, platform::kWinWriteRefused},
    };
    std::vector<platform::LockedWrite> batch;
    for (const Piece& p : pieces) {
      platform::LockedWrite w;
      w.offset = p.sector * 512;
      w.buffer = p.buffer;
      w.length = p.length;
      batch.push_back(w);
    }
    EXPECT_EQ(platform::WriteLockedDiskBatch(disk, batch.data(), batch.size()), 3u);
    for (size_t i = 0; i < batch.size(); ++i) {
      EXPECT_EQ(batch[i].error, pieces[i].error) << i;
      EXPECT_EQ(batch[i].written, pieces[i].error ? 0u : pieces[i].length) << i;
      if (pieces[i].error == 0)
        expected.replace(pieces[i].sector * 512, pieces[i].length,
                         std::string(static_cast<const char*>(pieces[i].buffer), pieces[i].length));
    }
  }
  platform::AllowWriteRing(true);
  ASSERT_TRUE(writer.Close());
  EXPECT_EQ(volfix::DdRead(image, (kP3 + 3) * 512, 4096, dir.file("dd")), pattern);
  EXPECT_TRUE(testutil::ReadFile(image) == expected);
  EXPECT_TRUE(manager.DismountVolume());
  EXPECT_TRUE(manager.UnlockVolume());

  // The quick format after the wipe: NTFS at the partition's start; never
  // on a mounted volume.
  if (!testutil::HaveTool("mkntfs") || !testutil::HaveTool("ntfs-3g")) return;
  platform::LetteredVolume v3;
  ASSERT_TRUE(platform::GetLetteredVolume(p3, &v3));
  platform::VolumeExpectation expect{v3.disk, kP3, kP3Sectors};
  std::string output;
  ASSERT_TRUE(platform::QuickFormatNtfs(p3, &expect, &output)) << output;
  auto probe = testutil::Run({"blkid", "-p", "-o", "value", "-s", "TYPE", loop.Part(3)});
  EXPECT_EQ(probe.output, "ntfs\n");
  EXPECT_EQ(testutil::ReadFile(image).substr(0, kP3 * 512), original.substr(0, kP3 * 512));
  expect.sectorCount -= 1;
  EXPECT_FALSE(platform::QuickFormatNtfs(p3, &expect, &output));
  ASSERT_EQ(platform::RegisterVolume(disk, kP3, kP3Sectors, VolumeFsKind::NTFS), p3);  // the rescan after the format
  platform::OnDemandMount mount;
  ASSERT_TRUE(mount.Mount(p3));
  EXPECT_FALSE(platform::QuickFormatNtfs(p3, nullptr, &output));
}

TEST_F(VolumeLayerOnLoop, MountsOnDemandAndUnmountsAfter) {
  VT_REQUIRE_LOOP_TOOLS();
  VT_REQUIRE_TOOL("ntfs-3g");
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ondemand");
  const std::string image = dir.file("disk.img");
  ASSERT_TRUE(MakeThreePartImage(image));
  testutil::LoopDevice loop(image);
  ASSERT_TRUE(loop.ok());
  ASSERT_TRUE(loop.WaitForPartition(2));
  ASSERT_EQ(testutil::Run({"mkntfs", "-q", "-Q", "-F", loop.Part(1)}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", loop.Part(2)}).exitCode, 0);
  const bool exfat = testutil::HaveTool("mkfs.exfat") && testutil::HaveTool("mount.exfat-fuse");
  if (exfat) {
    ASSERT_EQ(testutil::Run({"mkfs.exfat", loop.Part(3)}).exitCode, 0);
  }
  volfix::EnvGuard env(loop.Path());
  const int disk = volfix::DiskNumberOf(loop.Path());
  ASSERT_GE(disk, 0);
  const char ntfs = platform::RegisterVolume(disk, kP1, kPartSectors, VolumeFsKind::NTFS);
  const char ext2 = platform::RegisterVolume(disk, kP2, kPartSectors, VolumeFsKind::Ext2);
  const char exf = platform::RegisterVolume(disk, kP3, kP3Sectors, VolumeFsKind::exFAT);
  ASSERT_TRUE(ntfs && ext2 && exf);

  std::vector<char> letters = {ntfs, ext2};
  if (exfat) letters.push_back(exf);
  for (char letter : letters) {
    SCOPED_TRACE(std::string(1, letter));
    uint64_t total = 0, freeBytes = 0;
    bool known = true;
    ASSERT_TRUE(platform::GetVolumeSpace(letter, &total, &freeBytes, &known));
    EXPECT_FALSE(known);
    EXPECT_EQ(total, (letter == exf ? kP3Sectors : kPartSectors) * 512);
    std::string point;
    {
      platform::OnDemandMount mount;
      ASSERT_TRUE(mount.Mount(letter));
      EXPECT_TRUE(mount.MountedHere());
      // Its own folder, unless another process holds that one.
      point = mount.MountPoint();
      EXPECT_EQ(point.rfind(platform::OnDemandMountPoint(letter), 0), 0u) << point;
      platform::MountEntry m;
      ASSERT_TRUE(volfix::MountEntryAt(point, &m));
      EXPECT_EQ(m.fsType, letter == ext2 ? "ext2" : "fuseblk");
      ASSERT_TRUE(platform::GetVolumeSpace(letter, &total, &freeBytes, &known));
      EXPECT_TRUE(known);
      EXPECT_GT(freeBytes, 0u);
      EXPECT_LE(freeBytes, total);
      testutil::WriteFile(point + "/filler", std::string(4096, 'x'));
      EXPECT_TRUE(platform::IsPathOnVolume(letter, point + "/filler"));
      EXPECT_FALSE(platform::IsPathOnVolume(letter, dir.path()));
      platform::LetteredVolume v;
      ASSERT_TRUE(platform::GetLetteredVolume(letter, &v));
      EXPECT_EQ(platform::DescribeVolume(v), std::string(1, letter) + ": " + v.location.devicePath + " at " + point);
      EXPECT_TRUE(mount.Unmount());
    }
    EXPECT_FALSE(volfix::IsMountedAt(point));
    EXPECT_NE(access(point.c_str(), F_OK), 0);  // its folder went too
  }
}

TEST_F(VolumeLayerOnLoop, ImageWindowMountsThroughItsOwnLoopAndLocks) {
  VT_REQUIRE_LOOP_TOOLS();
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("window");
  const std::string image = dir.file("disk.img");
  ASSERT_TRUE(MakeThreePartImage(image));
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-E", "offset=" + std::to_string(kP2 * 512), image,
                           std::to_string(kPartSectors / 2) + "k"})
                .exitCode,
            0);
  volfix::EnvGuard env(image);
  const int disk = volfix::DiskNumberOf(image);
  ASSERT_GE(disk, 0);
  const char letter = platform::RegisterVolume(disk, kP2, kPartSectors, VolumeFsKind::Ext2);
  ASSERT_NE(letter, 0);
  auto loopsOfImage = [&] { return testutil::Run({"losetup", "-j", image}).output; };
  {
    platform::OnDemandMount mount;
    ASSERT_TRUE(mount.Mount(letter));
    EXPECT_NE(loopsOfImage(), "");
    testutil::WriteFile(mount.MountPoint() + "/kept", "kept");
    {
      CVolumeManager manager;
      ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
      ASSERT_TRUE(manager.LockVolume()) << manager.GetLastError();
      EXPECT_FALSE(volfix::IsMountedAt(mount.MountPoint()));
      EXPECT_EQ(loopsOfImage(), "");  // our own loop device went with the mount
      // A loop device over the window (someone else's) fails a lock.
      CVolumeManager other;
      ASSERT_TRUE(other.OpenVolume(letter, nullptr));
      EXPECT_FALSE(other.LockVolume());
      EXPECT_TRUE(manager.UnlockVolume());
    }
    EXPECT_TRUE(volfix::IsMountedAt(mount.MountPoint()));
    EXPECT_EQ(testutil::ReadFile(mount.MountPoint() + "/kept"), "kept");
    {
      testutil::LoopDevice foreign(image);
      ASSERT_TRUE(foreign.ok());
      CVolumeManager manager;
      ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
      EXPECT_FALSE(manager.LockVolume());
      EXPECT_EQ(manager.GetLastError(), platform::kWinAccessDenied);
    }
    EXPECT_TRUE(volfix::IsMountedAt(mount.MountPoint()));
    EXPECT_TRUE(mount.Unmount());
  }
  EXPECT_EQ(loopsOfImage(), "");
}

TEST_F(VolumeLayerOnLoop, WholeDiskFileSystemWithoutPartitionTable) {
  VT_REQUIRE_LOOP_TOOLS();
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("whole");
  const std::string image = dir.file("disk.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", image}).exitCode, 0);
  testutil::LoopDevice loop(image);
  ASSERT_TRUE(loop.ok());
  const std::string point = dir.file("mnt");
  volfix::TestMount mounted(point, {"mount", "-t", "ext2", loop.Path(), point});
  ASSERT_TRUE(mounted.ok()) << mounted.output();
  volfix::EnvGuard env(loop.Path());
  const int disk = volfix::DiskNumberOf(loop.Path());
  ASSERT_GE(disk, 0);
  const char letter = platform::RegisterVolume(disk, 0, 16384, VolumeFsKind::Ext2);
  platform::LetteredVolume v;
  ASSERT_TRUE(platform::GetLetteredVolume(letter, &v));
  EXPECT_EQ(v.location.imagePath, loop.Path());  // a window of the disk node itself
  ASSERT_EQ(v.mountPoints, std::vector<std::string>{point});
  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
  ASSERT_TRUE(manager.LockVolume()) << manager.GetLastError();
  EXPECT_FALSE(volfix::IsMountedAt(point));
  int second = open(loop.Path().c_str(), O_RDWR | O_EXCL);
  EXPECT_LT(second, 0);
  if (second >= 0) close(second);
  EXPECT_TRUE(manager.UnlockVolume());
  platform::MountEntry after;
  ASSERT_TRUE(volfix::MountEntryAt(point, &after));
  EXPECT_EQ(after.source, loop.Path());  // the disk node itself, no loop device over it

  {  // A manager that goes while it holds the lock gives the volume back.
    CVolumeManager forgetful;
    ASSERT_TRUE(forgetful.OpenVolume(letter, nullptr));
    ASSERT_TRUE(forgetful.LockVolume());
    EXPECT_FALSE(volfix::IsMountedAt(point));
  }
  EXPECT_TRUE(volfix::IsMountedAt(point));
}

TEST_F(VolumeLayerOnLoop, FuseMountOfTheImageFileItselfFailsTheLock) {
  VT_REQUIRE_LOOP_TOOLS();
  VT_REQUIRE_TOOL("fusefat");
  VT_REQUIRE_TOOL("mkfs.fat");
  testutil::TempDir dir("fuseimage");
  const std::string image = dir.file("fat.img");
  ASSERT_EQ(testutil::Run({"mkfs.fat", "-C", image, "4096"}).exitCode, 0);
  const std::string point = dir.file("mnt");
  volfix::TestMount mounted(point, {"fusefat", "-o", "rw+", image, point});
  ASSERT_TRUE(mounted.ok()) << mounted.output();
  volfix::EnvGuard env(image);
  const int disk = volfix::DiskNumberOf(image);
  ASSERT_GE(disk, 0);
  const char letter = platform::RegisterVolume(disk, 0, 8192, VolumeFsKind::FAT);
  ASSERT_NE(letter, 0);
  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume(letter, nullptr));
  EXPECT_FALSE(manager.LockVolume());
  EXPECT_EQ(manager.GetLastError(), platform::kWinAccessDenied);
  EXPECT_TRUE(volfix::IsMountedAt(point));
  CMountDriverDevice writer;
  ASSERT_TRUE(writer.Open(disk));
  std::string sector(512, 'z');
  EXPECT_EQ(writer.WriteAt(0, sector.data(), 512, nullptr), platform::kWinWriteRefused);
}

TEST_F(VolumeLayerOnLoop, LettersStayAcrossARescanWithAnotherLoopAttached) {
  VT_REQUIRE_LOOP_TOOLS();
  testutil::TempDir dir("rescan");
  const std::string imageA = dir.file("a.img"), imageB = dir.file("b.img");
  ASSERT_TRUE(MakeThreePartImage(imageA));
  ASSERT_TRUE(MakeThreePartImage(imageB));
  testutil::LoopDevice a(imageA);
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(a.WaitForPartition(2));
  volfix::EnvGuard env(a.Path());
  const int disk = volfix::DiskNumberOf(a.Path());
  ASSERT_GE(disk, 0);
  const char a1 = platform::RegisterVolume(disk, kP1, kPartSectors, VolumeFsKind::NTFS);
  const char a2 = platform::RegisterVolume(disk, kP2, kPartSectors, VolumeFsKind::Ext2);
  ASSERT_TRUE(a1 && a2);

  testutil::LoopDevice b(imageB);
  ASSERT_TRUE(b.ok());
  ASSERT_TRUE(b.WaitForPartition(1));
  env.Set(b.Path() + ":" + a.Path());  // the new disk comes first now
  const int diskB = volfix::DiskNumberOf(b.Path()), diskA = volfix::DiskNumberOf(a.Path());
  ASSERT_TRUE(diskA >= 0 && diskB >= 0);
  const char b1 = platform::RegisterVolume(diskB, kP1, kPartSectors, VolumeFsKind::NTFS);
  EXPECT_EQ(platform::RegisterVolume(diskA, kP1, kPartSectors, VolumeFsKind::NTFS), a1);
  EXPECT_EQ(platform::RegisterVolume(diskA, kP2, kPartSectors, VolumeFsKind::Ext2), a2);
  EXPECT_NE(b1, 0);
  EXPECT_NE(b1, a1);
  EXPECT_NE(b1, a2);
  platform::VolumeLocation where;
  ASSERT_TRUE(platform::ResolveDriveLetter(a2, &where));
  EXPECT_EQ(where.devicePath, a.Part(2));
  ASSERT_TRUE(platform::ResolveDriveLetter(b1, &where));
  EXPECT_EQ(where.devicePath, b.Part(1));
}

}  // namespace
