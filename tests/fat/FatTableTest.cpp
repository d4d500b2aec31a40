// FAT tables: load windows, entry lookup, validation of damaged tables.
#include <gtest/gtest.h>

#include <memory>

#include "FatTestData.h"
#include "IFATTable.h"
#include "MemoryDevice.h"

using namespace fattest;

namespace {

using testutil::MemoryDevice;

// A device whose FAT (at sector 0) has `sectors` sectors and begins with
// the media entries of the type; `set` fills in entries.
struct FatImage {
  int type;
  int sectorSize;
  uint32_t sectors;
  std::vector<uint8_t> bytes;
  FatImage(int t, uint32_t n, int ss = 512) : type(t), sectorSize(ss), sectors(n), bytes(size_t(n) * 2 * ss, 0) {
    if (type == 2) {
      set(0, 0x0FFFFFF8);
      set(1, 0x0FFFFFFF);
    } else if (type == 1) {
      set(0, 0xFFF8);
      set(1, 0xFFFF);
    } else {
      bytes[0] = 0xF8;
      bytes[1] = 0xFF;
      bytes[2] = 0xFF;
    }
  }
  void set(uint32_t i, uint32_t v) {
    if (type == 2)
      Put32(&bytes[size_t(i) * 4], v);
    else if (type == 1)
      Put16(&bytes[size_t(i) * 2], v);
    else {
      const size_t off = size_t(i) * 3 / 2;
      uint16_t w = static_cast<uint16_t>(bytes[off] | (bytes[off + 1] << 8));
      if (i & 1)
        w = static_cast<uint16_t>((w & 0x000F) | (v << 4));
      else
        w = static_cast<uint16_t>((w & 0xF000) | (v & 0x0FFF));
      Put16(&bytes[off], w);
    }
  }
  std::unique_ptr<IRealFATTable> make(uint64_t clusters = 0) {
    MemoryDevice dev(bytes, sectorSize);
    return std::unique_ptr<IRealFATTable>(CreateRealFATTable(&dev, type, 0, sectors, clusters));
  }
};

}  // namespace

TEST(FatTable, LoadWindows) {
  EXPECT_FALSE(FatImage(2, 200).make());   // FAT32 below 256 sectors of 512
  EXPECT_TRUE(FatImage(2, 256).make());
  EXPECT_TRUE(FatImage(2, 32, 4096).make());  // k = 8: 32..16000
  EXPECT_FALSE(FatImage(2, 31, 4096).make());
  EXPECT_TRUE(FatImage(1, 12).make());
  EXPECT_FALSE(FatImage(1, 257).make());
  EXPECT_TRUE(FatImage(1, 1, 4096).make());   // k = 8: 1..32
  EXPECT_FALSE(FatImage(1, 33, 4096).make());
  EXPECT_TRUE(FatImage(0, 12).make());
  EXPECT_FALSE(FatImage(0, 13).make());
  EXPECT_FALSE(FatImage(3, 256).make());
  // A device with an unusable sector size loads nothing.
  FatImage odd(2, 256);
  MemoryDevice dev(odd.bytes, 256);
  EXPECT_EQ(CreateRealFATTable(&dev, 2, 0, 256), nullptr);

  // No copy at all: a table that answers 0.
  FatImage small(2, 200);
  MemoryDevice sdev(small.bytes);
  std::unique_ptr<CDoubleFATTable> t(CreateFATTable(&sdev, 0, 2, 200, 1, 0));
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->HasPrimary());
  EXPECT_FALSE(t->IsLoaded());
  EXPECT_EQ(t->GetEntry(0), 0u);
  EXPECT_EQ(t->GetEntry(5), 0u);
}

TEST(FatTable, EntryValues) {
  FatImage f16(1, 16);
  f16.set(2, 3);
  f16.set(3, 0xFFFF);
  f16.set(4, 0xFFF7);
  f16.set(5, 0xFFFA);
  auto t16 = f16.make();
  ASSERT_TRUE(t16);
  EXPECT_EQ(t16->GetEntry(2), 3u);
  EXPECT_EQ(t16->GetEntry(3), 0x0FFFFFF8u);
  EXPECT_EQ(t16->GetEntry(4), 0x0FFFFFF7u);
  EXPECT_EQ(t16->GetEntry(5), 0x0FFFFFF8u);
  EXPECT_EQ(t16->GetEntry(1u << 20), 0u);

  FatImage f12(0, 4);
  f12.set(2, 0xFFF);
  f12.set(3, 0xFF7);
  f12.set(4, 5);
  f12.set(5, 0xFF9);
  auto t12 = f12.make();
  ASSERT_TRUE(t12);
  EXPECT_EQ(t12->GetEntry(2), 0xFFFFFFFFu);
  EXPECT_EQ(t12->GetEntry(3), 0xFF7u);
  EXPECT_EQ(t12->GetEntry(4), 5u);
  EXPECT_EQ(t12->GetEntry(5), 0x0FFFFFF8u);
  EXPECT_EQ(t12->GetEntry(4 * 512 * 2 / 3 + 5), 0u);

  FatImage f32(2, 256);
  f32.set(2, 0xFFFFFFFF);
  auto t32 = f32.make();
  ASSERT_TRUE(t32);
  EXPECT_EQ(t32->GetEntry(2), 0xFFFFFFFFu);  // top bits kept
}

TEST(FatTable, DamagedTablesAreRejected) {
  struct Case {
    const char* what;
    int type;
    uint32_t sectors;
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    uint64_t clusters;
  };
  const Case cases[] = {
      {"FAT16 wrong media", 1, 16, {{0, 0xFFF0}}, 0},
      {"FAT32 wrong media", 2, 256, {{0, 0x0FFFFFF0}}, 0},
      {"FAT12 wrong media", 0, 4, {{0, 0x000}}, 0},
      {"FAT32 self loop", 2, 256, {{7, 7}}, 0},
      {"FAT32 entry 1", 2, 256, {{7, 1}}, 0},
      {"FAT32 loop 5-6-5", 2, 256, {{5, 6}, {6, 5}}, 0},
      {"FAT16 loop into tail", 1, 16, {{3, 5}, {5, 6}, {6, 5}}, 0},
      {"FAT32 joined chains", 2, 256, {{4, 9}, {7, 9}, {9, 0x0FFFFFFF}}, 0},
      {"FAT32 past entry count", 2, 256, {{4, 0x00100000}}, 0},
      {"FAT16 past the last cluster", 1, 16, {{4, 300}, {300, 0xFFFF}}, 100},
      {"FAT32 past the last cluster", 2, 256, {{4, 5000}, {5000, 0x0FFFFFFF}}, 1000},
      {"FAT32 reserved value", 2, 256, {{4, 0x0FFFFFF0}}, 1000},
  };
  for (const Case& c : cases) {
    FatImage img(c.type, c.sectors);
    for (auto& [i, v] : c.entries) img.set(i, v);
    EXPECT_FALSE(img.make(c.clusters)) << c.what;
  }
  // The same chains without damage pass.
  FatImage ok(2, 256);
  ok.set(4, 9);
  ok.set(9, 0x0FFFFFFF);
  ok.set(7, 8);
  ok.set(8, 0x0FFFFFF7);  // a bad-cluster mark ends the walk
  ok.set(10, 0xF0000003);  // top bits set: outside every range
  EXPECT_TRUE(ok.make(1000));
}

TEST(FatTable, SecondaryCopyAndFailedReads) {
  FatImage img(1, 16);
  img.set(0, 0);  // primary damaged
  std::vector<uint8_t> secondHalf(img.bytes.begin(), img.bytes.end());
  Put16(&secondHalf[16 * 512], 0xFFF8);
  Put16(&secondHalf[16 * 512 + 2], 0xFFFF);
  Put16(&secondHalf[16 * 512 + 4], 3);            // entry 2 -> 3
  MemoryDevice dev(secondHalf);
  std::unique_ptr<CDoubleFATTable> both(CreateFATTable(&dev, 0, 1, 16, 0x80, 0x200));
  EXPECT_FALSE(both->HasPrimary());
  EXPECT_TRUE(both->HasSecondary());
  EXPECT_TRUE(both->IsLoaded());
  EXPECT_EQ(both->GetEntry(2), 3u);
  std::unique_ptr<CDoubleFATTable> primaryOnly(CreateFATTable(&dev, 0, 1, 16, 0x80, 0));
  EXPECT_FALSE(primaryOnly->HasSecondary());

  // A failed read is not judged by its bytes, however good they look.
  FatImage good(1, 16);
  MemoryDevice failing(good.bytes);
  failing.failSector = 0;
  EXPECT_EQ(CreateRealFATTable(&failing, 1, 0, 16), nullptr);
  MemoryDevice working(good.bytes);
  EXPECT_NE(std::unique_ptr<IRealFATTable>(CreateRealFATTable(&working, 1, 0, 16)), nullptr);

  // A FAT that runs past the device end is not read at all.
  MemoryDevice shortDev(std::vector<uint8_t>(8 * 512, 0xFF));
  EXPECT_EQ(CreateRealFATTable(&shortDev, 1, 0, 16), nullptr);
  EXPECT_EQ(shortDev.reads, 0);
}

// A chain laid out backwards (each cluster points to the one before) makes
// a walk from every cluster re-walk its whole tail; validation must stay
// linear. Two million entries: a quadratic pass would not finish.
TEST(FatTable, LongBackwardChainValidatesInLinearTime) {
  const uint32_t sectors = 16000;
  FatImage img(2, sectors);
  const uint32_t count = sectors * 128;
  img.set(2, 0x0FFFFFFF);
  for (uint32_t i = 3; i < count; ++i) img.set(i, i - 1);
  auto t = img.make();
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetEntry(count - 1), count - 2);

  img.set(2, count - 1);  // close the loop
  EXPECT_FALSE(img.make());
}
