// The raw reader under the disk and volume devices: unaligned buffers,
// offsets and lengths through the O_DIRECT bounce buffer, windows, the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

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

// A batch reads what the same reads one at a time would, in flight together
// where every piece is aligned, and counts nothing after its first failure.
TEST(RawDisk, BatchReadsAsSingleReadsUpToTheFirstFailure) {
  testutil::TempDir dir("rawbatch");
  const std::string path = dir.file("batch.img");
  const uint64_t size = 6u << 20;
  const std::vector<uint8_t> data = testutil::PatternBytes(1, size);
  testutil::WriteFile(path, std::string(data.begin(), data.end()));
  const uint64_t base = 1u << 20;  // the window's start on the file
  const uint64_t length = 4u << 20;
  int error = 0;
  auto disk = platform::RawDisk::OpenWindow(path, base, length, 0, &error);
  ASSERT_NE(disk, nullptr) << error;

  struct Piece {
    uint64_t offset;
    size_t length;
    size_t bufferShift;  // makes the buffer unaligned
    int error;           // expected
  };
  struct Batch {
    const char* what;
    std::vector<Piece> pieces;
    size_t whole;
  };
  const Batch batches[] = {
      {"aligned, out of order", {{8192, 4096, 0, 0}, {0, 1u << 20, 0, 0}, {3u << 20, 65536, 0, 0}}, 3},
      {"one unaligned piece", {{4096, 4096, 0, 0}, {513, 1000, 3, 0}, {length - 4096, 4096, 0, 0}}, 3},
      {"a piece past the window's end",
       {{0, 4096, 0, 0}, {length - 4096, 8192, 0, ERANGE}, {4096, 4096, 0, ECANCELED}},
       1},
      {"the first piece fails", {{length, 4096, 0, ERANGE}, {0, 4096, 0, ECANCELED}}, 0},
  };
  for (const Batch& b : batches) {
    SCOPED_TRACE(b.what);
    std::vector<std::unique_ptr<uint8_t, decltype(&std::free)>> buffers;
    std::vector<platform::RawRead> reads;
    for (const Piece& p : b.pieces) {
      buffers.emplace_back(
          static_cast<uint8_t*>(std::aligned_alloc(4096, (p.length + p.bufferShift + 4095) / 4096 * 4096)), &std::free);
      platform::RawRead r;
      r.buffer = buffers.back().get() + p.bufferShift;
      r.offset = p.offset;
      r.length = p.length;
      r.error = -1;
      reads.push_back(r);
    }
    EXPECT_EQ(disk->ReadAll(reads.data(), reads.size()), b.whole);
    for (size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].error, b.pieces[i].error) << i;
      if (reads[i].error == 0) {
        const auto* got = static_cast<const uint8_t*>(reads[i].buffer);
        EXPECT_TRUE(std::equal(got, got + reads[i].length, data.begin() + base + reads[i].offset)) << i;
      }
    }
  }

  // The file shrinks under an open window: the ring reads short, the plain
  // read decides, and a piece after the failed one counts as not read even
  // though its bytes arrived.
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(base + (2u << 20))), 0);
  std::vector<uint8_t*> owned;
  std::vector<platform::RawRead> reads(3);
  const uint64_t offsets[] = {0, 3u << 20, 4096};
  for (size_t i = 0; i < reads.size(); ++i) {
    owned.push_back(static_cast<uint8_t*>(std::aligned_alloc(4096, 4096)));
    reads[i].buffer = owned.back();
    reads[i].offset = offsets[i];
    reads[i].length = 4096;
  }
  EXPECT_EQ(disk->ReadAll(reads.data(), reads.size()), 1u);
  EXPECT_EQ(reads[0].error, 0);
  EXPECT_EQ(reads[1].error, ENXIO);
  EXPECT_EQ(reads[2].error, ECANCELED);
  for (uint8_t* p : owned) std::free(p);
}
