// The boot-sector view: type decisions, getters, geometry and damaged sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "CFATDBR.h"
#include "FatTestData.h"

using namespace fattest;

TEST(FatBootSector, Fat16GettersAndGeometry) {
  auto s = Fat16Boot();
  CFATDBR dbr(s.data(), 512);
  ASSERT_EQ(dbr.GetFATType(), 1);
  EXPECT_TRUE(dbr.IsValid());
  EXPECT_EQ(dbr.GetSectorsPerCluster(), 4u);
  EXPECT_EQ(dbr.GetReservedSectors(), 4u);
  EXPECT_EQ(dbr.GetFATCount(), 2u);
  EXPECT_EQ(dbr.GetFATSize(), 40u);
  EXPECT_EQ(dbr.GetTotalSectors(), 40000u);
  EXPECT_EQ(dbr.GetRootCluster(), 0u);
  EXPECT_EQ(dbr.GetRootEntryCount(), 512u);
  EXPECT_EQ(dbr.GetRootDirStart(), 84u);
  EXPECT_EQ(dbr.GetDataStart(), 116u);
  EXPECT_EQ(dbr.ClusterToSector(3), 120u);
  EXPECT_TRUE(dbr.FitsDevice(0, 40000));
  EXPECT_FALSE(dbr.FitsDevice(1, 40000));

  // 16-bit total 0: the 32-bit field counts.
  Put16(&s[19], 0);
  Put32(&s[32], 41000);
  CFATDBR big(s.data(), 512);
  EXPECT_EQ(big.GetTotalSectors(), 41000u);
}

TEST(FatBootSector, Fat32GettersAndTypeText) {
  auto s = Fat32Boot();
  Put16(&s[19], 1234);  // ignored for FAT32
  std::memcpy(&s[82], "fat32   ", 8);
  CFATDBR dbr(s.data(), 512);
  ASSERT_EQ(dbr.GetFATType(), 2);
  EXPECT_EQ(dbr.GetTotalSectors(), 70000u);
  EXPECT_EQ(dbr.GetFATSize(), 600u);
  EXPECT_EQ(dbr.GetRootCluster(), 2u);
  EXPECT_EQ(dbr.GetDataStart(), 1232u);
  EXPECT_EQ(dbr.GetRootDirStart(), 1232u);
  EXPECT_EQ(dbr.GetClusterCount(), 68768u);

  CFATDBRBuffer copy(s.data(), 512);
  s.assign(512, 0);  // the copy does not depend on the source
  EXPECT_EQ(copy.GetFATType(), 2);
  EXPECT_TRUE(copy.HasBootSignature());
}

TEST(FatBootSector, Fat12IsNotDetected) {
  auto s = Fat16Boot(512, 4000, 12);
  std::memcpy(&s[54], "FAT12   ", 8);
  CFATDBR dbr(s.data(), 512);
  EXPECT_EQ(dbr.GetFATType(), 9);
  EXPECT_FALSE(dbr.IsValid());
  EXPECT_TRUE(dbr.IsFAT12());
  EXPECT_EQ(dbr.GetSectorsPerCluster(), 0u);
  EXPECT_EQ(dbr.GetTotalSectors(), 0u);
}

TEST(FatBootSector, FourKiBSectors) {
  auto s = Fat16Boot(4096, 40000, 5);
  EXPECT_EQ(CFATDBR(s.data(), 4096).GetFATType(), 1);
  EXPECT_EQ(CFATDBR(s.data(), 512).GetFATType(), 9);  // sector sizes disagree
  auto t = Fat32Boot(4096, 70000, 80);
  EXPECT_EQ(CFATDBR(t.data(), 4096).GetFATType(), 2);
}

// Each row damages one field of a good boot sector; none may be accepted.
TEST(FatBootSector, DamagedSectorsAreRefused) {
  struct Case {
    const char* what;
    bool fat32;
    void (*damage)(std::vector<uint8_t>&);
    int deviceSectorSize;
  };
  const Case cases[] = {
      {"no signature", false, [](std::vector<uint8_t>& s) { s[511] = 0; }, 512},
      {"sectors per cluster 0", false, [](std::vector<uint8_t>& s) { s[13] = 0; }, 512},
      {"sectors per cluster 3", true, [](std::vector<uint8_t>& s) { s[13] = 3; }, 512},
      {"one FAT", false, [](std::vector<uint8_t>& s) { s[16] = 1; }, 512},
      {"bytes per sector 1024 on 512 device", false, [](std::vector<uint8_t>& s) { Put16(&s[11], 1024); }, 512},
      {"bytes per sector 256", false, [](std::vector<uint8_t>& s) { Put16(&s[11], 256); }, 256},
      {"bytes per sector 0 on a 0 device", true, [](std::vector<uint8_t>& s) { Put16(&s[11], 0); }, 0},
      {"bytes per sector 1536", true, [](std::vector<uint8_t>& s) { Put16(&s[11], 1536); }, 1536},
      {"no reserved sectors", false, [](std::vector<uint8_t>& s) { Put16(&s[14], 0); }, 512},
      {"FAT32 no reserved sectors", true, [](std::vector<uint8_t>& s) { Put16(&s[14], 0); }, 512},
      {"too few root entries", false, [](std::vector<uint8_t>& s) { Put16(&s[17], 16); }, 512},
      {"root entries not whole sectors", false, [](std::vector<uint8_t>& s) { Put16(&s[17], 513); }, 512},
      {"FAT16 FAT size 0", false, [](std::vector<uint8_t>& s) { Put16(&s[22], 0); }, 512},
      {"FAT32 FAT size 0", true, [](std::vector<uint8_t>& s) { Put32(&s[36], 0); }, 512},
      {"FAT16 total sectors 0", false, [](std::vector<uint8_t>& s) { Put16(&s[19], 0); }, 512},
      {"FAT32 total sectors inside the FATs", true, [](std::vector<uint8_t>& s) { Put32(&s[32], 1000); }, 512},
      {"FAT16 FAT too small for its clusters", false, [](std::vector<uint8_t>& s) { Put16(&s[22], 2); }, 512},
      {"FAT32 FAT too small for its clusters", true, [](std::vector<uint8_t>& s) { Put32(&s[36], 300); }, 512},
      {"FAT32 FATs past 32 bits", true, [](std::vector<uint8_t>& s) { Put32(&s[36], 0xFFFFFFFF); }, 512},
      {"FAT32 root cluster 1", true, [](std::vector<uint8_t>& s) { Put32(&s[44], 1); }, 512},
      {"FAT32 root cluster past the end", true, [](std::vector<uint8_t>& s) { Put32(&s[44], 900000); }, 512},
      {"wrong type text", false, [](std::vector<uint8_t>& s) { std::memcpy(&s[54], "FAT16  X", 8); }, 512},
  };
  for (const Case& c : cases) {
    auto s = c.fat32 ? Fat32Boot() : Fat16Boot();
    c.damage(s);
    CFATDBR dbr(s.data(), c.deviceSectorSize);
    EXPECT_EQ(dbr.GetFATType(), 9) << c.what;
    EXPECT_EQ(dbr.GetClusterCount(), 0u) << c.what;
  }
}

TEST(FatBootSector, ZerosAndRandomBytes) {
  std::vector<uint8_t> zeros(512, 0);
  EXPECT_FALSE(CFATDBR(zeros.data(), 512).IsValid());
  EXPECT_FALSE(CFATDBR::HasBootSignature(zeros.data()));
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> s(512);
    for (auto& b : s) b = static_cast<uint8_t>(rng());
    s[510] = 0x55;
    s[511] = 0xAA;
    CFATDBR dbr(s.data(), 512);
    if (dbr.IsValid()) {
      // Anything accepted must have a layout that holds together.
      EXPECT_GT(dbr.GetClusterCount(), 0u);
      EXPECT_LT(dbr.GetDataStart(), dbr.GetTotalSectors());
    }
  }
}

TEST(FatBootSector, FatSignatureAndClusterRange) {
  const uint8_t fat32[8] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  const uint8_t fat16[8] = {0xF8, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  const uint8_t media0[8] = {0xF0, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  int type = 42;
  EXPECT_TRUE(DetectFATTypeFromFAT(fat32, type));
  EXPECT_EQ(type, 2);
  EXPECT_TRUE(DetectFATTypeFromFAT(fat16, type));
  EXPECT_EQ(type, 1);
  // fusefat's FAT[1] after a mount: the clean flag alone.
  const uint8_t fat16Fuse[8] = {0xF8, 0xFF, 0x00, 0x80, 0, 0, 0, 0};
  type = 42;
  EXPECT_TRUE(DetectFATTypeFromFAT(fat16Fuse, type));
  EXPECT_EQ(type, 1);
  const uint8_t fat16Dirty[8] = {0xF8, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
  type = 42;
  EXPECT_FALSE(DetectFATTypeFromFAT(fat16Dirty, type));
  EXPECT_EQ(type, 42);
  type = 42;
  EXPECT_FALSE(DetectFATTypeFromFAT(media0, type));
  EXPECT_EQ(type, 42);

  EXPECT_FALSE(IsValidFAT32Cluster(1));
  EXPECT_TRUE(IsValidFAT32Cluster(2));
  EXPECT_TRUE(IsValidFAT32Cluster(0x0FFFFFEF));
  EXPECT_FALSE(IsValidFAT32Cluster(0x0FFFFFF0));
  EXPECT_FALSE(IsValidFAT32Cluster(1ull << 32));
}
