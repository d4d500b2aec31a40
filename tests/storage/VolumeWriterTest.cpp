// The volume manager and the guarded raw writer on image-file windows:
// writes land only inside the locked volume, everything else is refused
// with 644 and leaves the image as it was; short and failed writes are
// reported; a swapped target is refused before it is opened for writing.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "CMountDriverDevice.h"
#include "CVolumeManager.h"
#include "DriveLetters.h"
#include "MountDriverService.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "WinError.h"

namespace {

constexpr uint64_t kStartD = 64, kCountD = 128, kStartE = 256, kCountE = 64;

class VolumeWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ForgetDriveLettersForTest();
    image = dir.file("disk.img");
    std::string bytes(1 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 512);
    testutil::WriteFile(image, bytes);
    env.Set(image);
    disks = platform::RefreshDiskTable();
    ASSERT_EQ(disks.size(), 1u);
    ASSERT_EQ(platform::RegisterVolume(0, kStartD, kCountD, platform::VolumeFsKind::FAT), 'D');
    ASSERT_EQ(platform::RegisterVolume(0, kStartE, kCountE, platform::VolumeFsKind::FAT), 'E');
  }
  void TearDown() override { platform::ForgetDriveLettersForTest(); }
  std::string Image() const { return testutil::ReadFile(image); }

  testutil::TempDir dir{"writer"};
  volfix::EnvGuard env{""};
  std::string image;
  std::vector<platform::DiskEntry> disks;
};

TEST_F(VolumeWriter, WritesOnlyInsideTheLockedVolume) {
  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume('D', nullptr));
  ASSERT_TRUE(manager.LockVolume());

  CMountDriverDevice writer;
  ASSERT_TRUE(writer.Open(CMountDriverDevice::DeviceName(0).c_str()));
  std::string before = Image();
  std::string pattern(1024, '\xA5');
  uint32_t written = 0;
  ASSERT_TRUE(writer.SetFilePointer((kStartD + 5) * 512));
  ASSERT_TRUE(writer.WriteFile(pattern.data(), 1024, &written));
  EXPECT_EQ(written, 1024u);
  // The pointer moved on: the next write follows.
  ASSERT_TRUE(writer.WriteFile(pattern.data(), 512, &written));
  // The volume's last sector is inside too.
  ASSERT_TRUE(writer.SetFilePointer((kStartD + kCountD - 1) * 512));
  ASSERT_TRUE(writer.WriteFile(pattern.data(), 512, &written));
  ASSERT_TRUE(writer.Close());
  std::string after = Image();
  std::string expected = before;
  expected.replace((kStartD + 5) * 512, 1536, pattern.substr(0, 512) + pattern);
  expected.replace((kStartD + kCountD - 1) * 512, 512, pattern.substr(0, 512));
  EXPECT_TRUE(after == expected);

  // Refused: outside, across the end, in another volume, not whole sectors.
  ASSERT_TRUE(writer.Open(0));
  EXPECT_TRUE(writer.Flush());
  struct Case {
    uint64_t offset;
    size_t length;
    uint32_t error;
  };
  const Case cases[] = {
      {(kStartD - 1) * 512, 512, platform::kWinWriteRefused},
      {(kStartD - 1) * 512, 1024, platform::kWinWriteRefused},
      {(kStartD + kCountD - 1) * 512, 1024, platform::kWinWriteRefused},
      {(kStartD + kCountD) * 512, 512, platform::kWinWriteRefused},
      {kStartE * 512, 512, platform::kWinWriteRefused},
      {kStartD * 512 + 1, 512, platform::kWinWriteRefused},
      {kStartD * 512, 100, platform::kWinWriteRefused},
      {~0ull - 511, 512, platform::kWinWriteRefused},
      {kStartD * 512, 0, platform::kWinInvalidParameter},
  };
  for (const auto& c : cases) {
    size_t done = 7;
    EXPECT_EQ(writer.WriteAt(c.offset, pattern.data(), c.length, &done), c.error) << c.offset << "+" << c.length;
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(writer.GetLastError(), c.error);
    EXPECT_EQ(platform::GetLastWinError(), c.error);
  }
  EXPECT_TRUE(Image() == after);

  // Once unlocked, nothing lands any longer.
  EXPECT_TRUE(manager.DismountVolume());
  EXPECT_TRUE(manager.UnlockVolume());
  EXPECT_FALSE(manager.CloseVolume());
  EXPECT_EQ(writer.WriteAt(kStartD * 512, pattern.data(), 512, nullptr), platform::kWinWriteRefused);
  EXPECT_TRUE(Image() == after);
}

TEST_F(VolumeWriter, NoLockNoWrite) {
  CMountDriverDevice writer;
  ASSERT_TRUE(writer.Open(0));
  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume('D', nullptr));  // open, not locked
  std::string before = Image();
  uint32_t written = 1;
  ASSERT_TRUE(writer.SetFilePointer(kStartD * 512));
  EXPECT_FALSE(writer.WriteFile(before.data(), 512, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(writer.GetLastError(), platform::kWinWriteRefused);
  EXPECT_TRUE(Image() == before);
  EXPECT_FALSE(manager.UnlockVolume());  // not locked
}

TEST_F(VolumeWriter, ShortAndFailedWritesAreReported) {
  CVolumeManager manager;
  ASSERT_TRUE(manager.OpenVolume('D', nullptr));
  ASSERT_TRUE(manager.LockVolume());
  CMountDriverDevice writer;
  ASSERT_TRUE(writer.Open(0));
  // The file-size limit cuts the write after one and a half sectors: the
  // writer goes on after the short write and reports the failure after it.
  const uint64_t offset = (kStartD + 10) * 512;
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old;
  limit.rlim_cur = offset + 768;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string pattern(2048, '\x5A');
  size_t written = 0;
  uint32_t error = writer.WriteAt(offset, pattern.data(), pattern.size(), &written);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, platform::kWinDiskFull);
  EXPECT_EQ(written, 768u);
  EXPECT_EQ(writer.GetLastError(), platform::kWinDiskFull);
  EXPECT_EQ(Image().substr(offset, 768), pattern.substr(0, 768));
}

TEST_F(VolumeWriter, OneHolderAtATimeAndOnlyTheExpectedVolume) {
  CVolumeManager first, second;
  ASSERT_TRUE(first.OpenVolume(0, "\\\\.\\D:"));
  ASSERT_TRUE(first.LockVolume());
  ASSERT_TRUE(second.OpenVolume('D', nullptr));
  EXPECT_FALSE(second.LockVolume());
  EXPECT_EQ(second.GetLastError(), platform::kWinAccessDenied);
  EXPECT_FALSE(second.IsOpen());  // a failed lock leaves nothing open
  EXPECT_TRUE(first.UnlockVolume());

  platform::VolumeExpectation expect{disks[0].identity, kStartD, kCountD};
  std::string why;
  EXPECT_TRUE(platform::VerifyVolumeIdentity('D', expect, &why)) << why;
  platform::VolumeExpectation moved = expect;
  moved.startSector = kStartD + 1;
  EXPECT_FALSE(platform::VerifyVolumeIdentity('D', moved, &why));
  CVolumeManager manager;
  manager.ExpectIdentity(moved);
  ASSERT_TRUE(manager.OpenVolume('D', nullptr));
  EXPECT_FALSE(manager.LockVolume());
  EXPECT_EQ(manager.GetLastError(), platform::kWinMediaChanged);

  // Another file put in the image's place is another disk.
  std::string copy = dir.file("copy.img");
  testutil::WriteFile(copy, Image());
  ASSERT_EQ(rename(copy.c_str(), image.c_str()), 0);
  EXPECT_FALSE(platform::VerifyVolumeIdentity('D', expect, &why));
  CMountDriverDevice writer;
  EXPECT_FALSE(writer.Open(0));
  EXPECT_EQ(writer.GetLastError(), platform::kWinFileNotFound);
}

TEST(VolumeManager, LettersPathsAndService) {
  EXPECT_TRUE(CVolumeManager::IsDriveLetter('C'));
  EXPECT_FALSE(CVolumeManager::IsDriveLetter('c'));
  EXPECT_FALSE(CVolumeManager::IsDriveLetter('@'));
  CVolumeManager manager;
  EXPECT_FALSE(manager.OpenVolume('d', nullptr));
  EXPECT_FALSE(manager.OpenVolume('d', ""));
  EXPECT_FALSE(manager.OpenVolume(0, std::string(120, 'x').c_str()));
  EXPECT_FALSE(manager.UnlockVolume());
  EXPECT_FALSE(manager.CloseVolume());
  EXPECT_EQ(CMountDriverDevice::DiskNumberOfName("\\\\.\\hxvolsys\\3"), 3);
  for (const char* bad : {"\\\\.\\hxvolsys\\-1", "\\\\.\\hxvolsys\\", "\\\\.\\hxvolsys\\3x", "\\\\.\\hxvolsys\\20",
                          "\\\\.\\PhysicalDrive0", ""})
    EXPECT_EQ(CMountDriverDevice::DiskNumberOfName(bad), -1) << bad;
  CMountDriverDevice writer;
  EXPECT_FALSE(writer.Open("\\\\.\\hxvolsys\\-1"));
  EXPECT_EQ(writer.GetLastError(), platform::kWinFileNotFound);
  EXPECT_TRUE(StartDriverService("hxvolsys"));
  EXPECT_FALSE(IsServiceDatabaseLocked());
  EXPECT_FALSE(WaitServiceDatabaseUnlocked());
}

}  // namespace
