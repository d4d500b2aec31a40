// The raw reader under the disk and volume devices: unaligned buffers,
// offsets and lengths through the O_DIRECT bounce buffer, windows, the end.
#include <gtest/gtest.h>

#include "FaultInjectingDevice.h"
#include "RawDisk.h"
#include "TestUtil.h"

TEST(RawDisk, ReadsAnyRangeOfFileAndWindow) {
  testutil::TempDir dir("raw");
  const std::string path = dir.file("odd.img");
  const uint64_t size = (5u << 20) + 1000;  // not a multiple of the alignment
  std::vector<uint8_t> data = testutil::PatternBytes(0, size);
  testutil::WriteFile(path, std::string(data.begin(), data.end()));

  int error = 0;
  auto disk = platform::RawDisk::Open(path, &error);
  ASSERT_NE(disk, nullptr) << error;
  EXPECT_EQ(disk->SectorSize(), 512);
  EXPECT_EQ(disk->ByteSize(), size);
  EXPECT_FALSE(disk->IsBlockDevice());

  struct Range {
    uint64_t offset, length;
    size_t bufferShift;  // makes the caller's buffer unaligned
  };
  const Range ranges[] = {
      {0, 512, 0}, {3, 10000, 1}, {4096, 4096, 0}, {4095, (4u << 20) + 9, 7}, {size - 1000, 1000, 0}, {size - 7, 7, 3}};
  for (const auto& r : ranges) {
    std::vector<uint8_t> buf(r.length + r.bufferShift + 8);
    ASSERT_EQ(disk->ReadAt(buf.data() + r.bufferShift, r.offset, r.length), 0) << r.offset;
    EXPECT_TRUE(
        std::equal(buf.begin() + r.bufferShift, buf.begin() + r.bufferShift + r.length, data.begin() + r.offset))
        << r.offset;
  }
  std::vector<uint8_t> buf(4096);
  EXPECT_EQ(disk->ReadAt(buf.data(), size - 10, 11), ERANGE);
  EXPECT_EQ(disk->ReadAt(buf.data(), size + 512, 1), ERANGE);
  EXPECT_EQ(disk->ReadAt(buf.data(), size, 0), 0);

  auto window = platform::RawDisk::OpenWindow(path, 1 << 20, 2 << 20, 4096, &error);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->SectorSize(), 4096);
  EXPECT_EQ(window->ByteSize(), 2u << 20);
  ASSERT_EQ(window->ReadAt(buf.data(), 8192, 4096), 0);
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin() + (1 << 20) + 8192));
  EXPECT_EQ(window->ReadAt(buf.data(), (2 << 20) - 100, 101), ERANGE);

  EXPECT_EQ(platform::RawDisk::OpenWindow(path, size - 10, 11, 0, &error), nullptr);
  EXPECT_EQ(error, EINVAL);
  EXPECT_EQ(platform::RawDisk::Open(dir.file("missing"), &error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(platform::RawDisk::Open(dir.path(), &error), nullptr);  // a folder is no disk
}

TEST(RawDisk, ErrorClasses) {
  using platform::ClassifyReadError;
  using platform::ReadErrorClass;
  for (int e : {EIO, ENODATA, EILSEQ, EBADMSG}) EXPECT_EQ(ClassifyReadError(e), ReadErrorClass::Media) << e;
  for (int e : {ENOMEDIUM, ENXIO, ENODEV}) EXPECT_EQ(ClassifyReadError(e), ReadErrorClass::NotReady) << e;
  for (int e : {EACCES, EINVAL, ERANGE, EBADF}) EXPECT_EQ(ClassifyReadError(e), ReadErrorClass::Other) << e;
  EXPECT_EQ(ClassifyReadError(0), ReadErrorClass::None);
}
