// The boot-sector test, its fields, and the label reader's addressing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSVolumeNameReader.h"
#include "IStorageDevice.h"
#include "MemoryDevice.h"
#include "RecordBuilder.h"

using namespace ntfstest;
using Bytes = std::vector<uint8_t>;
using testutil::MemoryDevice;

namespace {

Bytes BootSector(uint16_t bytesPerSector = 512, uint8_t sectorsPerCluster = 8, uint8_t clustersPerRecord = 0xF6) {
  Bytes s(512, 0);
  std::memcpy(&s[3], "NTFS    ", 8);
  Put16(s, 11, bytesPerSector);
  s[13] = sectorsPerCluster;
  s[21] = 0xF8;
  Put64(s, 40, 2047);  // total sectors
  Put64(s, 48, 4);     // $MFT
  Put64(s, 56, 100);   // $MFTMirr
  s[64] = clustersPerRecord;
  s[68] = 1;
  Put64(s, 72, 0x1122334455667788ull);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

TEST(NTFSBootSector, AcceptanceTable) {
  struct Case {
    const char* what;
    void (*edit)(Bytes&);
    bool valid;
  } cases[] = {
      {"plain", [](Bytes&) {}, true},
      {"lower-case name", [](Bytes& s) { std::memcpy(&s[3], "ntfs    ", 8); }, true},
      {"1536-byte sectors", [](Bytes& s) { Put16(s, 11, 1536); }, true},
      {"256-byte sectors", [](Bytes& s) { Put16(s, 11, 256); }, false},
      {"0-byte sectors", [](Bytes& s) { Put16(s, 11, 0); }, false},
      {"3 sectors per cluster", [](Bytes& s) { s[13] = 3; }, false},
      {"0 sectors per cluster", [](Bytes& s) { s[13] = 0; }, false},
      {"reserved sector", [](Bytes& s) { Put16(s, 14, 1); }, false},
      {"FAT count", [](Bytes& s) { s[16] = 2; }, false},
      {"root entries", [](Bytes& s) { s[18] = 1; }, false},
      {"16-bit total", [](Bytes& s) { s[20] = 1; }, false},
      {"sectors per FAT", [](Bytes& s) { s[23] = 1; }, false},
      {"32-bit total", [](Bytes& s) { s[35] = 1; }, false},
      {"no 55 AA", [](Bytes& s) { s[511] = 0; }, false},
      {"zeroed", [](Bytes& s) { std::fill(s.begin(), s.end(), 0); }, false},
      {"record size 2^-(-128)", [](Bytes& s) { s[64] = 0x80; }, false},
      {"record size 2^31", [](Bytes& s) { s[64] = 0xE1; }, false},
      {"record of 127 clusters", [](Bytes& s) { s[64] = 0x7F; }, false},
      {"record of 3 clusters",
       [](Bytes& s) {
         s[64] = 3;
         s[13] = 1;
       },
       false},
  };
  for (const Case& c : cases) {
    Bytes s = BootSector();
    c.edit(s);
    EXPECT_EQ(IsValidNTFSBootSector(s.data()), c.valid) << c.what;
    CNTFSDBR dbr;
    EXPECT_EQ(dbr.SetFromSector(s.data()), c.valid) << c.what;
    if (!c.valid) {
      EXPECT_EQ(dbr.GetTotalSectors(), 0u) << c.what;  // copy untouched
    }
  }
  EXPECT_FALSE(IsValidNTFSBootSector(nullptr));
  EXPECT_FALSE(HasNTFSSignature(nullptr));
}

TEST(NTFSBootSector, FieldsAndRecordSize) {
  struct Case {
    uint16_t bps;
    uint8_t spc, n;
    int size;
  } cases[] = {{512, 8, 0xF6, 1024}, {512, 8, 0xF4, 4096},  {512, 8, 0x02, 8192},
               {512, 1, 0x02, 1024}, {4096, 1, 0xF4, 4096}, {512, 8, 0x00, 1024}};
  for (const Case& c : cases) {
    CNTFSDBR dbr;
    ASSERT_TRUE(dbr.SetFromSector(BootSector(c.bps, c.spc, c.n).data()));
    EXPECT_EQ(dbr.GetFileRecordSize(), c.size) << int(c.n);
  }
  CNTFSDBR dbr;
  ASSERT_TRUE(dbr.SetFromSector(BootSector().data()));
  EXPECT_EQ(dbr.GetTotalSectors(), 2047u);
  EXPECT_EQ(dbr.GetMFTCluster(), 4u);
  EXPECT_EQ(dbr.GetMFTMirrCluster(), 100u);
  EXPECT_EQ(dbr.GetSerialNumber(), 0x1122334455667788ull);
  EXPECT_EQ(dbr.GetSectorsPerCluster(), 8);
  char oem[8];
  dbr.GetOEMName(oem);
  EXPECT_EQ(std::memcmp(oem, "NTFS    ", 8), 0);
}

TEST(NTFSBootSector, GeometryAgainstTheDevice) {
  CNTFSDBR dbr;
  ASSERT_TRUE(dbr.SetFromSector(BootSector().data()));
  EXPECT_TRUE(dbr.HasUsableGeometry(512, 2048 * 512));
  EXPECT_FALSE(dbr.HasUsableGeometry(4096, 2048 * 512));  // sector size differs
  EXPECT_FALSE(dbr.HasUsableGeometry(512, 1000 * 512));   // volume larger than device
  Bytes s = BootSector();
  Put64(s, 48, 300);  // $MFT past the 255 clusters of the volume
  ASSERT_TRUE(dbr.SetFromSector(s.data()));
  EXPECT_FALSE(dbr.HasUsableGeometry(512, 0));
  ASSERT_TRUE(dbr.SetFromSector(BootSector(512, 8, 0x02).data()));  // 8 KiB records
  EXPECT_FALSE(dbr.HasUsableGeometry(512, 0));
}

TEST(NTFSBootSector, LabelReaderAddressesRecordThreeInBytes) {
  struct Case {
    int deviceSector;
    uint16_t bps;
    uint8_t spc, n;
    uint64_t partitionStart;  // device sectors
  } cases[] = {
      {512, 512, 8, 0xF6, 0},    // 1 KiB records
      {512, 512, 8, 0xF4, 0},    // 4 KiB records: 24 sectors after the $MFT
      {4096, 4096, 1, 0xF4, 0},  // 4 KiB sectors
      {4096, 4096, 1, 0xF6, 2},  // records smaller than a device sector
      {512, 4096, 1, 0xF4, 16},  // 4 KiB volume seen through 512-byte sectors
  };
  for (const Case& c : cases) {
    const std::u16string label = u"Label";
    Bytes record = VolumeRecord(&label);
    const int recordSize = c.n == 0xF6 ? 1024 : 4096;
    if (recordSize == 4096) {
      RecordBuilder b(4096, 3);
      b.StandardInformation(0x6);
      b.FileName(u"$Volume");
      b.VolumeName(label);
      record = b.Finish();
    }
    Bytes boot = BootSector(c.bps, c.spc, c.n);
    const uint64_t clusterBytes = uint64_t(c.bps) * c.spc;
    const uint64_t mftByte = 4 * clusterBytes;
    const uint64_t volumeBytes = mftByte + 8 * 4096;
    Put64(boot, 40, volumeBytes / c.bps);
    const uint64_t start = c.partitionStart * c.deviceSector;
    Bytes disk(start + volumeBytes, 0);
    std::memcpy(&disk[start + mftByte + 3 * recordSize], record.data(), record.size());
    MemoryDevice device(disk, c.deviceSector);
    CNTFSDBR dbr;
    ASSERT_TRUE(dbr.SetFromSector(boot.data()));
    CNTFSVolumeNameReader reader(&device);
    char out[80] = {};
    ASSERT_TRUE(reader.ReadVolumeName(c.partitionStart, dbr, out)) << c.deviceSector;
    EXPECT_STREQ(out, "Label") << c.deviceSector << " " << c.bps;
    if (c.deviceSector == 512 && c.bps == 512 && recordSize == 4096) {
      ASSERT_FALSE(device.readLog.empty());
      EXPECT_EQ(device.readLog.back().first, 4u * 8 + 24);
      EXPECT_EQ(device.readLog.back().second, 8u);
    }
  }
}

TEST(NTFSBootSector, LabelReaderRefusesRecordsOutsideVolumeOrDevice) {
  MemoryDevice device(Bytes(16 * 1024, 0), 512);
  CNTFSVolumeNameReader reader(&device);
  char out[80] = {};
  CNTFSDBR empty;
  EXPECT_FALSE(reader.ReadVolumeName(0, empty, out));
  Bytes boot = BootSector();
  Put64(boot, 48, 0x0FFFFFFFFFFFFFFFull);  // $MFT far past anything
  CNTFSDBR dbr;
  ASSERT_TRUE(dbr.SetFromSector(boot.data()));
  EXPECT_FALSE(reader.ReadVolumeName(0, dbr, out));
  ASSERT_TRUE(dbr.SetFromSector(BootSector().data()));  // volume of 2047 sectors
  EXPECT_FALSE(reader.ReadVolumeName(0, dbr, out));     // device has 32
  EXPECT_FALSE(reader.ReadVolumeName(UINT64_MAX / 256, dbr, out));
  EXPECT_EQ(out[0], 0);
}

}  // namespace
