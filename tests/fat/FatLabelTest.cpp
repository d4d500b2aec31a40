// Volume labels from synthetic volumes: fixed root and root chains, damaged
// chains that loop or leave the volume.
#include <gtest/gtest.h>

#include <cstring>

#include "CFATDBR.h"
#include "CFATVolumeLabelReader.h"
#include "FatTestData.h"
#include "MemoryDevice.h"

using namespace fattest;

namespace {

using testutil::MemoryDevice;

void PutEntry(std::vector<uint8_t>& img, uint64_t byteOffset, const std::vector<uint8_t>& e) {
  std::memcpy(&img[byteOffset], e.data(), 32);
}

// FAT32: 2000 sectors, FAT of 16 sectors at 32, data (cluster 2) at 64.
struct Fat32Volume {
  std::vector<uint8_t> img = std::vector<uint8_t>(2000 * 512, 0);
  Fat32Volume() {
    auto boot = Fat32Boot(512, 2000, 16);
    std::memcpy(img.data(), boot.data(), 512);
    fat(0, 0x0FFFFFF8);
    fat(1, 0x0FFFFFFF);
  }
  void fat(uint32_t i, uint32_t v) { Put32(&img[32 * 512 + i * 4], v); }
  uint64_t cluster(uint32_t c) { return (64 + (c - 2)) * 512ull; }
  void fillFiles(uint32_t c) {
    for (int i = 0; i < 16; ++i) {
      char name[12];
      std::snprintf(name, sizeof name, "FILE%02d  TXT", i);
      PutEntry(img, cluster(c) + i * 32, ShortEntry(name, 0x20, 0, 0));
    }
  }
};

}  // namespace

TEST(FatLabel, Fat32LabelInSecondRootCluster) {
  Fat32Volume v;
  v.fillFiles(2);
  v.fat(2, 3);
  v.fat(3, 0x0FFFFFFF);
  PutEntry(v.img, v.cluster(3), ShortEntry("\xE5OLD       ", 0x08));
  PutEntry(v.img, v.cluster(3) + 32, ShortEntry("DATA    DSK", 0x08));
  MemoryDevice dev(v.img);
  CFATDBR dbr(dev.Bytes().data(), 512);
  ASSERT_EQ(dbr.GetFATType(), 2);
  CFATVolumeLabelReader reader(&dev);
  char out[100] = {};
  ASSERT_TRUE(reader.ReadLabel(0, dbr, out));
  EXPECT_STREQ(out, "DATADSK");
  EXPECT_EQ(dev.reads, 3);  // two clusters and one FAT block
}

TEST(FatLabel, Fat32DamagedRootChainsEnd) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint32_t>> fat;
  };
  const Case cases[] = {
      {"loop 2-3-2", {{2, 3}, {3, 2}}},
      {"self loop", {{2, 2}}},
      {"past the last cluster", {{2, 3}, {3, 0x0FFFFF00}}},
      {"free entry", {{2, 0}}},
  };
  for (const Case& c : cases) {
    Fat32Volume v;
    v.fillFiles(2);
    v.fillFiles(3);
    for (auto& [i, n] : c.fat) v.fat(i, n);
    MemoryDevice dev(v.img);
    CFATDBR dbr(dev.Bytes().data(), 512);
    std::string label = "unchanged";
    EXPECT_FALSE(CFATVolumeLabelReader(&dev).ReadLabel(0, dbr, label)) << c.what;
    EXPECT_EQ(label, "unchanged") << c.what;
    EXPECT_LT(dev.reads, 10) << c.what;
  }
}

TEST(FatLabel, Fat16FixedRootSteps) {
  // Root at sector 24 (4 reserved + 2 x 10), 32 sectors, 4 sectors per cluster.
  std::vector<uint8_t> img(5000 * 512, 0);
  auto boot = Fat16Boot(512, 5000, 10);
  std::memcpy(img.data(), boot.data(), 512);
  MemoryDevice empty(img);
  CFATDBR dbr(empty.Bytes().data(), 512);
  ASSERT_EQ(dbr.GetFATType(), 1);
  std::string label;
  EXPECT_FALSE(CFATVolumeLabelReader(&empty).ReadLabel(0, dbr, label));
  EXPECT_EQ(empty.reads, 8);

  // The end marker at the root's start ends the first step only.
  PutEntry(img, (24 + 4) * 512, ShortEntry("MY DISK    ", 0x28));
  MemoryDevice dev(img);
  CFATDBR dbr2(dev.Bytes().data(), 512);
  ASSERT_TRUE(CFATVolumeLabelReader(&dev).ReadLabel(0, dbr2, label));
  EXPECT_EQ(label, "MY DISK");
  EXPECT_EQ(CFATVolumeLabelReader(&dev).GetClusterSector(0, dbr2, 2), 56u);
}

TEST(FatLabel, RefusesMismatchedViewsAndShortDevices) {
  Fat32Volume v;
  PutEntry(v.img, v.cluster(2), ShortEntry("NAME       ", 0x08));
  v.fat(2, 0x0FFFFFFF);
  MemoryDevice dev(v.img);
  CFATDBR unknown(std::vector<uint8_t>(512, 0).data(), 512);
  std::string label;
  EXPECT_FALSE(CFATVolumeLabelReader(&dev).ReadLabel(0, unknown, label));
  // The volume said to start past the device end reads nothing.
  CFATDBR dbr(dev.Bytes().data(), 512);
  EXPECT_FALSE(CFATVolumeLabelReader(&dev).ReadLabel(1999, dbr, label));
  EXPECT_TRUE(CFATVolumeLabelReader(&dev).ReadLabel(0, dbr, label));
  EXPECT_EQ(label, "NAME");
  // A view made for another sector size than the device's.
  MemoryDevice big(v.img, 4096);
  EXPECT_FALSE(CFATVolumeLabelReader(&big).ReadLabel(0, dbr, label));
}
