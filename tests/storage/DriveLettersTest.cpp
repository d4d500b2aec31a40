// Drive letters on image files: order, stickiness, resolution, reuse of the
// letters of absent disks, and the volume device opened by letter.
#include <gtest/gtest.h>

#include "CVolumeDevice.h"
#include "DriveLetters.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "VolumeMount.h"

namespace {

class DriveLetters : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ForgetDriveLettersForTest();
    for (int i = 0; i < 3; ++i) {
      images.push_back(dir.file("disk" + std::to_string(i) + ".img"));
      std::string bytes(1 << 20, '\0');
      for (size_t s = 0; s < bytes.size() / 512; ++s)
        bytes[s * 512] = static_cast<char>('a' + i), bytes[s * 512 + 1] = static_cast<char>(s);
      testutil::WriteFile(images.back(), bytes);
    }
  }
  void TearDown() override { platform::ForgetDriveLettersForTest(); }

  testutil::TempDir dir{"letters"};
  std::vector<std::string> images;
};

TEST_F(DriveLetters, GivenInDiskAndPartitionOrderFromDAndSticky) {
  volfix::EnvGuard env(images[0] + ":" + images[1]);
  auto disks = platform::RefreshDiskTable();
  ASSERT_EQ(disks.size(), 2u);
  // Registered out of order in one batch: sorted by disk, then start.
  std::vector<platform::VolumeRegistration> regs(3);
  const std::pair<int, uint64_t> where[3] = {{1, 100}, {0, 600}, {0, 8}};
  for (int i = 0; i < 3; ++i) {
    regs[i].disk = disks[where[i].first].identity;
    regs[i].startSector = where[i].second;
    regs[i].sectorCount = 64;
    ASSERT_TRUE(platform::LocateVolume(where[i].first, where[i].second, 64, &regs[i].location));
  }
  auto letters = platform::AssignDriveLetters(regs);
  EXPECT_EQ(letters, (std::vector<char>{'F', 'E', 'D'}));

  // The same volumes keep their letters, in any order; a new one takes G.
  EXPECT_EQ(platform::RegisterVolume(1, 100, 64, platform::VolumeFsKind::FAT), 'F');
  EXPECT_EQ(platform::RegisterVolume(0, 8, 64, platform::VolumeFsKind::NTFS), 'D');
  EXPECT_EQ(platform::RegisterVolume(1, 300, 64, platform::VolumeFsKind::Ext2), 'G');

  platform::LetteredVolume v;
  ASSERT_TRUE(platform::GetLetteredVolume('d', &v));
  EXPECT_EQ(v.diskNumber, 0);
  EXPECT_EQ(v.startSector, 8u);
  EXPECT_EQ(v.sectorCount, 64u);
  EXPECT_EQ(v.fsKind, platform::VolumeFsKind::NTFS);
  EXPECT_EQ(v.location.imagePath, images[0]);
  EXPECT_EQ(v.location.byteOffset, 8u * 512);
  EXPECT_EQ(v.location.byteLength, 64u * 512);
  EXPECT_TRUE(v.mountPoints.empty());
  EXPECT_EQ(platform::DescribeVolume(v), "D: " + images[0] + " at byte 4096 (not mounted)");
  for (char c : {'A', 'B', 'C', 'H', '1'}) EXPECT_FALSE(platform::GetLetteredVolume(c, &v)) << c;

  // The volume device opened by letter reads the volume's own bytes.
  CVolumeDevice dev('F', true);
  ASSERT_EQ(dev.GetSectorCount(), 64u);
  std::vector<uint8_t> sector(512);
  ASSERT_EQ(dev.ReadSectors(sector.data(), 3, 1), 1);
  EXPECT_EQ(sector[0], 'b');
  EXPECT_EQ(sector[1], static_cast<uint8_t>(103));

  // Unmounted: its size and an unknown free space.
  uint64_t total = 0, freeBytes = 1;
  bool known = true;
  ASSERT_TRUE(platform::GetVolumeSpace('F', &total, &freeBytes, &known));
  EXPECT_EQ(total, 64u * 512);
  EXPECT_FALSE(known);

  // A new disk table order (another disk in front) changes no letter.
  env.Set(images[2] + ":" + images[1] + ":" + images[0]);
  platform::RefreshDiskTable();
  EXPECT_EQ(platform::RegisterVolume(0, 8, 64, platform::VolumeFsKind::FAT), 'H');
  EXPECT_EQ(platform::RegisterVolume(1, 100, 64, platform::VolumeFsKind::FAT), 'F');
  EXPECT_EQ(platform::RegisterVolume(2, 8, 64, platform::VolumeFsKind::Unknown), 'D');
  ASSERT_TRUE(platform::GetLetteredVolume('D', &v));
  EXPECT_EQ(v.diskNumber, 2);
  EXPECT_EQ(v.fsKind, platform::VolumeFsKind::NTFS);  // kept: the new registration did not know
}

TEST_F(DriveLetters, AbsentDisksGiveWayWhenAllLettersAreTaken) {
  volfix::EnvGuard env(images[0]);
  platform::RefreshDiskTable();
  for (int i = 0; i < 23; ++i)
    EXPECT_EQ(platform::RegisterVolume(0, static_cast<uint64_t>(i) * 8, 8, platform::VolumeFsKind::FAT), 'D' + i);
  EXPECT_EQ(platform::RegisterVolume(0, 1000, 8, platform::VolumeFsKind::FAT), 0);
  // The first disk goes away: its letters do not resolve and give way.
  env.Set(images[1]);
  platform::RefreshDiskTable();
  platform::VolumeLocation where;
  EXPECT_FALSE(platform::ResolveDriveLetter('D', &where));
  EXPECT_EQ(platform::RegisterVolume(0, 16, 8, platform::VolumeFsKind::FAT), 'D');
}

TEST_F(DriveLetters, LocateRefusesExtentsOutsideTheDisk) {
  volfix::EnvGuard env(images[0]);
  platform::RefreshDiskTable();
  platform::VolumeLocation where;
  EXPECT_FALSE(platform::LocateVolume(0, 2040, 16, &where));
  EXPECT_FALSE(platform::LocateVolume(0, 0, 0, &where));
  EXPECT_FALSE(platform::LocateVolume(5, 0, 8, &where));
  EXPECT_TRUE(platform::LocateVolume(0, 2040, 8, &where));
  EXPECT_EQ(platform::RegisterVolume(0, 4000, 8, platform::VolumeFsKind::FAT), 0);
}

}  // namespace
