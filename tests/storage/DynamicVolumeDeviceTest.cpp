// Dynamic volume devices over member disks in memory: the stripe and parity
// arithmetic, bounds, missing and failing members, and volume identity.
#include <algorithm>
#include <cstring>
#include <memory>

#include "CMirrorVolumeDevice.h"
#include "IDynamicDevice.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "TestUtil.h"

using testutil::MemoryDevice;

namespace {

// A member disk whose every sector starts with (member, sector).
std::unique_ptr<MemoryDevice> Member(int member, uint64_t sectors) {
  std::vector<unsigned char> bytes(sectors * 512, 0);
  for (uint64_t s = 0; s < sectors; ++s) {
    bytes[s * 512] = uint8_t(member);
    memcpy(&bytes[s * 512 + 8], &s, 8);
  }
  return std::unique_ptr<MemoryDevice>(new MemoryDevice(bytes));
}

std::pair<int, uint64_t> Tag(const unsigned char* sector) {
  uint64_t s;
  memcpy(&s, sector + 8, 8);
  return {sector[0], s};
}

LdmExtentRecord Extent(IStorageDevice* dev, uint32_t ordinal, uint64_t start, uint64_t count, uint64_t offset,
                       const char* id) {
  LdmExtentRecord e;
  e.ordinal = ordinal;
  e.device = dev;
  e.startSector = start;
  e.sectorCount = count;
  e.volumeOffset = offset;
  snprintf(e.diskId, sizeof e.diskId, "%s", id);
  return e;
}

LdmVolumeInfo Info(uint64_t size) {
  LdmVolumeInfo i;
  i.size = size;
  return i;
}

struct Three {
  std::unique_ptr<MemoryDevice> m[3];
  std::vector<LdmExtentRecord> ext;
  std::vector<LdmExtentRecord*> list;
  explicit Three(uint64_t perMember, uint64_t start = 10) {
    for (int i = 0; i < 3; ++i) {
      m[i] = Member(i + 1, start + perMember + 50);
      ext.push_back(Extent(m[i].get(), uint32_t(i), start, perMember, 0, i == 0 ? "a" : i == 1 ? "b" : "c"));
    }
    for (auto& e : ext) list.push_back(&e);
  }
};

TEST(DynamicVolumeDevice, StripedMapsSectorsToColumns) {
  Three t(512);
  std::unique_ptr<IDynamicDevice> dev(CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(1536), t.list));
  ASSERT_TRUE(dev);
  unsigned char s[512];
  ASSERT_TRUE(dev->ReadSectors(s, 300, 1));  // row 0, column 2, 44 into the stripe
  EXPECT_EQ(Tag(s), std::make_pair(3, uint64_t(10 + 44)));
  ASSERT_TRUE(dev->ReadSectors(s, 400, 1));  // row 1, column 0
  EXPECT_EQ(Tag(s), std::make_pair(1, uint64_t(10 + 128 + 16)));
}

TEST(DynamicVolumeDevice, Raid5RotatesParityAndRebuildsFromTheOthers) {
  Three t(512);
  std::unique_ptr<IDynamicDevice> dev(CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, Info(1024), t.list));
  ASSERT_TRUE(dev);
  unsigned char s[512];
  ASSERT_TRUE(dev->ReadSectors(s, 130, 1));  // row 0: data index 1 on column 1
  EXPECT_EQ(Tag(s), std::make_pair(2, uint64_t(10 + 2)));
  ASSERT_TRUE(dev->ReadSectors(s, 256, 1));  // row 1: parity on column 1, data on columns 2 and 0
  EXPECT_EQ(Tag(s), std::make_pair(3, uint64_t(10 + 128)));
  ASSERT_TRUE(dev->ReadSectors(s, 384, 1));
  EXPECT_EQ(Tag(s), std::make_pair(1, uint64_t(10 + 128)));

  // A member read that fails is rebuilt as the XOR of the two others.
  t.m[1]->failSector = 12;
  ASSERT_TRUE(dev->ReadSectors(s, 130, 1));
  std::vector<unsigned char> a(t.m[0]->Bytes().begin() + 12 * 512, t.m[0]->Bytes().begin() + 13 * 512);
  for (int b = 0; b < 512; ++b) EXPECT_EQ(s[b], uint8_t(a[b] ^ t.m[2]->Bytes()[12 * 512 + b])) << b;
  // A second failing member ends the read.
  t.m[2]->failSector = 12;
  EXPECT_FALSE(dev->ReadSectors(s, 130, 1));
}

TEST(DynamicVolumeDevice, FactoriesRefuseWhatCannotBeRead) {
  Three t(512);
  std::vector<LdmExtentRecord*> two(t.list.begin(), t.list.begin() + 2);
  EXPECT_EQ(CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, Info(512), two), nullptr);  // no parity with 2
  t.ext[0].device = t.ext[1].device = nullptr;
  EXPECT_EQ(CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, Info(1024), t.list), nullptr);
  EXPECT_EQ(CreateSimpleVolumeDevice(EDynamicVolumeType::Simple, Info(10), t.list) != nullptr, true);
  t.ext[2].device = nullptr;
  EXPECT_EQ(CreateSpannedVolumeDevice(EDynamicVolumeType::Spanned, Info(10), t.list), nullptr);
  EXPECT_EQ(CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(10), t.list), nullptr);
  EXPECT_EQ(CreateSimpleVolumeDevice(EDynamicVolumeType::Simple, Info(10), t.list), nullptr);
  EXPECT_EQ(CreateMirrorVolumeDevice(EDynamicVolumeType::Mirror, Info(10), nullptr, nullptr), nullptr);
}

// A volume size larger than its extents (a damaged database) never reads
// disk sectors outside the extents.
TEST(DynamicVolumeDevice, ReadsStayInsideTheExtents) {
  Three t(256);
  std::vector<unsigned char> buf(64 * 512);
  std::unique_ptr<IDynamicDevice> striped(
      CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(100000), t.list));
  ASSERT_TRUE(striped->ReadSectors(buf.data(), 767, 1));
  EXPECT_FALSE(striped->ReadSectors(buf.data(), 768, 1));
  std::unique_ptr<IDynamicDevice> raid(CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, Info(100000), t.list));
  ASSERT_TRUE(raid->ReadSectors(buf.data(), 511, 1));
  EXPECT_FALSE(raid->ReadSectors(buf.data(), 512, 1));
  std::vector<LdmExtentRecord*> one(t.list.begin(), t.list.begin() + 1);
  std::unique_ptr<IDynamicDevice> simple(CreateSimpleVolumeDevice(EDynamicVolumeType::Simple, Info(100000), one));
  ASSERT_TRUE(simple->ReadSectors(buf.data(), 200, 56));
  EXPECT_FALSE(simple->ReadSectors(buf.data(), 200, 57));
  std::unique_ptr<IDynamicDevice> spanned(
      CreateSpannedVolumeDevice(EDynamicVolumeType::Spanned, Info(100000), one));
  EXPECT_FALSE(spanned->ReadSectors(buf.data(), 250, 10));  // a missing tail
}

TEST(DynamicVolumeDevice, MirrorTakesEachSectorFromAHalfThatReadsIt) {
  auto a = Member(1, 100), b = Member(2, 100);
  LdmExtentRecord ea = Extent(a.get(), 0, 0, 100, 0, "a"), eb = Extent(b.get(), 0, 0, 100, 0, "b");
  std::vector<LdmExtentRecord*> la{&ea}, lb{&eb};
  auto* ha = CreateSimpleVolumeDevice(EDynamicVolumeType::Mirror, Info(100), la);
  auto* hb = CreateSimpleVolumeDevice(EDynamicVolumeType::Mirror, Info(100), lb);
  std::unique_ptr<IDynamicDevice> m(CreateMirrorVolumeDevice(EDynamicVolumeType::Mirror, Info(100), ha, hb));
  std::vector<unsigned char> buf(100 * 512);
  a->failSector = 40;
  ASSERT_TRUE(m->ReadSectors(buf.data(), 0, 100));
  // The chunk of 63 sectors holding sector 40 comes whole from the second half.
  EXPECT_EQ(Tag(&buf[39 * 512]).first, 2);
  EXPECT_EQ(Tag(&buf[40 * 512]), std::make_pair(2, uint64_t(40)));
  EXPECT_EQ(Tag(&buf[63 * 512]).first, 1);
  // Both failing there: sector by sector, that one sector zero.
  b->failSector = 40;
  ASSERT_TRUE(m->ReadSectors(buf.data(), 0, 100));
  EXPECT_TRUE(std::all_of(&buf[40 * 512], &buf[41 * 512], [](unsigned char c) { return c == 0; }));
  EXPECT_EQ(Tag(&buf[39 * 512]), std::make_pair(1, uint64_t(39)));
  EXPECT_EQ(Tag(&buf[41 * 512]), std::make_pair(1, uint64_t(41)));
}

TEST(DynamicVolumeDevice, SameVolumeNeedsSameKindAndExtents) {
  Three t(512);
  std::unique_ptr<IDynamicDevice> s1(CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(1536), t.list));
  std::unique_ptr<IDynamicDevice> s2(CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(1536), t.list));
  std::unique_ptr<IDynamicDevice> r(CreateRaid5VolumeDevice(EDynamicVolumeType::Raid5, Info(1024), t.list));
  EXPECT_TRUE(s1->IsSameVolume(s2.get()));
  EXPECT_FALSE(s1->IsSameVolume(r.get()));
  t.ext[1].startSector = 11;
  std::unique_ptr<IDynamicDevice> s3(CreateStripedVolumeDevice(EDynamicVolumeType::Striped, Info(1536), t.list));
  EXPECT_FALSE(s1->IsSameVolume(s3.get()));
}

}  // namespace
