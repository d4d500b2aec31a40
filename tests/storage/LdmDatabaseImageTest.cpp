// The LDM database and the dynamic volume devices on ldmgen images: the
// volumes, their kinds, extents and sizes equal what ldmtool reads, and
// reading through the devices returns the bytes the generator wrote, also
// with a member disk missing.
#include <QJsonArray>
#include <QJsonObject>
#include <cstring>
#include <map>
#include <memory>

#include "ByteOrder.h"
#include "CLdmDatabase.h"
#include "CMirrorVolumeDevice.h"
#include "ImageFileDevice.h"
#include "LdmLayout.h"
#include "MemoryDevice.h"
#include "TestUtil.h"

using testutil::MemoryDevice;

namespace {

struct Disks {
  std::vector<std::unique_ptr<ImageFileDevice>> owned;
  std::vector<IStorageDevice*> list;
  std::map<std::string, IStorageDevice*> byName;  // LDM disk name -> device
};

// Opens the layout's disks; `skip` names a disk left out (a missing member).
Disks OpenDisks(const ldmtest::Layout& L, const std::string& skip = "") {
  Disks d;
  for (size_t i = 0; i < L.disks.size(); ++i) {
    if (L.disks[i].name == skip) continue;
    d.owned.emplace_back(new ImageFileDevice(L.DiskPath(i)));
    d.list.push_back(d.owned.back().get());
    d.byName[L.disks[i].name] = d.owned.back().get();
  }
  return d;
}

struct Entries {
  std::vector<DynamicVolumeEntry*> list;
  ~Entries() {
    for (auto* e : list) delete e;
  }
  DynamicVolumeEntry* Find(const std::string& name) const {
    for (auto* e : list)
      if (name == e->device->GetVolumeInfo().volumeName) return e;
    return nullptr;
  }
};

EDynamicVolumeType KindOf(const std::string& ldmtoolType) {
  static const std::map<std::string, EDynamicVolumeType> kinds{{"simple", EDynamicVolumeType::Simple},
                                                               {"spanned", EDynamicVolumeType::Spanned},
                                                               {"striped", EDynamicVolumeType::Striped},
                                                               {"mirrored", EDynamicVolumeType::Mirror},
                                                               {"RAID5", EDynamicVolumeType::Raid5}};
  return kinds.at(ldmtoolType);
}

// Reads the whole volume in pieces of `step` sectors and checks every word
// against the generator's pattern; answers the number of bad sectors.
uint64_t CountBadSectors(IStorageDevice* dev, int number, uint64_t step) {
  const uint64_t n = dev->GetSectorCount();
  std::vector<unsigned char> buf(size_t(step) * 512);
  uint64_t bad = 0;
  for (uint64_t s = 0; s < n; s += step) {
    const uint64_t c = std::min(step, n - s);
    if (!dev->ReadSectors(buf.data(), s, c)) return n;
    for (uint64_t k = 0; k < c; ++k) {
      for (uint32_t w = 0; w < 512; w += 8) {
        uint64_t v;
        memcpy(&v, buf.data() + k * 512 + w, 8);
        if (v != ldmtest::PatternWord(number, (s + k) * 512 + w)) {
          ++bad;
          break;
        }
      }
    }
  }
  return bad;
}

class LdmDatabaseImage : public ::testing::TestWithParam<ldmtest::ImageSet> {};

TEST_P(LdmDatabaseImage, VolumesMatchLdmtoolAndReadBack) {
  VT_REQUIRE_TOOL("ldmtool");
  testutil::TempDir dir("ldmdb");
  const auto L = ldmtest::Generate(dir.path(), GetParam().style, GetParam().disks);
  ASSERT_FALSE(L.groupGuid.empty());
  Disks disks = OpenDisks(L);

  Entries entries;
  CLdmDatabase db;
  // Every disk holds the whole group: each volume is listed once.
  ASSERT_EQ(db.CollectDynamicVolumes(disks.list, entries.list), int(L.volumes.size()));

  std::map<std::string, uint64_t> dataStart;
  for (const auto& d : L.disks)
    dataStart[d.name] =
        uint64_t(ldmtest::Ldmtool(L, {"show", "disk", L.groupGuid, d.name}).object()["data-start"].toDouble());

  for (const auto& v : L.volumes) {
    SCOPED_TRACE(v.name);
    DynamicVolumeEntry* e = entries.Find(v.name);
    ASSERT_NE(e, nullptr);
    auto vol = ldmtest::Ldmtool(L, {"show", "volume", L.groupGuid, v.name}).object();
    EXPECT_EQ(e->device->GetVolumeType(), KindOf(vol["type"].toString().toStdString()));
    EXPECT_EQ(e->sectorCount, uint64_t(vol["size"].toDouble()));
    EXPECT_STREQ(e->device->GetVolumeInfo().diskGroupName, L.groupName.c_str());
    const std::string hint = vol["hint"].toString().toStdString();
    EXPECT_EQ(e->driveLetter, hint.empty() ? 0 : hint[0]);

    // Extents: one per ldmtool partition, on the right disk and sectors.
    std::vector<LdmExtentRecord*> extents;
    e->device->CopyExtents(extents);
    const auto parts = vol["partitions"].toArray();
    ASSERT_EQ(extents.size(), size_t(parts.size()));
    for (const auto& pn : parts) {
      auto part = ldmtest::Ldmtool(L, {"show", "partition", L.groupGuid, pn.toString().toStdString()}).object();
      const std::string diskName = part["disk"].toString().toStdString();
      const uint64_t start = dataStart[diskName] + uint64_t(part["start"].toDouble());
      const uint64_t size = uint64_t(part["size"].toDouble());
      bool found = false;
      for (const LdmExtentRecord* x : extents)
        if (x->device == disks.byName[diskName] && x->startSector == start && x->sectorCount == size) found = true;
      EXPECT_TRUE(found) << pn.toString().toStdString();
    }

    // Pieces of 37 sectors cross every stripe and extent boundary.
    EXPECT_EQ(CountBadSectors(e->device, v.number, 37), 0u);
    EXPECT_EQ(CountBadSectors(e->device, v.number, 300), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, LdmDatabaseImage,
                         ::testing::Values(ldmtest::ImageSet{"mbr", 1}, ldmtest::ImageSet{"mbr", 3},
                                           ldmtest::ImageSet{"gpt", 2}, ldmtest::ImageSet{"gpt", 3}),
                         ldmtest::ImageSetName);

class LdmDatabaseMissingMember : public ::testing::TestWithParam<const char*> {};

TEST_P(LdmDatabaseMissingMember, Raid5RebuildsAndOthersLeaveZeros) {
  testutil::TempDir dir("ldmmiss");
  const auto L = ldmtest::Generate(dir.path(), GetParam(), 3);
  ASSERT_FALSE(L.groupGuid.empty());
  Disks disks = OpenDisks(L, "Disk2");
  Entries entries;
  CLdmDatabase db;
  db.CollectDynamicVolumes(disks.list, entries.list);

  // RAID-5: every sector, the missing column rebuilt from the other two.
  const auto* raid = L.Volume("raid5");
  DynamicVolumeEntry* e = entries.Find(raid->name);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->sectorCount, raid->size);  // from the VBLK: the member list is incomplete
  EXPECT_EQ(CountBadSectors(e->device, raid->number, 37), 0u);
  EXPECT_EQ(CountBadSectors(e->device, raid->number, 1000), 0u);

  // Mirror: the half on the remaining disk serves every sector.
  const auto* mirror = L.Volume("mirrored");
  e = entries.Find(mirror->name);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(CountBadSectors(e->device, mirror->number, 50), 0u);

  // Spanned: the read answers true; the missing member's range is zeros.
  const auto* spanned = L.Volume("spanned");
  e = entries.Find(spanned->name);
  ASSERT_NE(e, nullptr);
  const auto& gone = spanned->parts[1];
  ASSERT_EQ(gone.disk, "Disk2");
  std::vector<unsigned char> buf(spanned->size * 512);
  ASSERT_TRUE(e->device->ReadSectors(buf.data(), 0, spanned->size));
  for (uint64_t s = 0; s < spanned->size; ++s) {
    uint64_t v;
    memcpy(&v, buf.data() + s * 512 + 8, 8);
    const bool missing = s >= gone.volOffset && s < gone.volOffset + gone.size;
    ASSERT_EQ(v, missing ? 0 : ldmtest::PatternWord(spanned->number, s * 512 + 8)) << "sector " << s;
  }

  // Without a second member disk, RAID-5 has no device.
  Disks one = OpenDisks(L, "Disk2");
  one.list.pop_back();
  Entries fewer;
  CLdmDatabase db2;
  db2.CollectDynamicVolumes(one.list, fewer.list);
  EXPECT_EQ(fewer.Find(raid->name), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Styles, LdmDatabaseMissingMember, ::testing::Values("mbr", "gpt"));

TEST(LdmDatabaseImage, ReadAtTheLastSectorGivesOneSectorAndZeros) {
  testutil::TempDir dir("ldmend");
  const auto L = ldmtest::Generate(dir.path(), "mbr", 3);
  Disks disks = OpenDisks(L);
  Entries entries;
  CLdmDatabase db;
  db.CollectDynamicVolumes(disks.list, entries.list);
  for (const char* kind : {"simple", "spanned", "striped", "mirrored", "raid5"}) {
    SCOPED_TRACE(kind);
    const auto* v = L.Volume(kind);
    DynamicVolumeEntry* e = entries.Find(v->name);
    ASSERT_NE(e, nullptr);
    std::vector<unsigned char> buf(8 * 512, 0xCC);
    ASSERT_TRUE(e->device->ReadSectors(buf.data(), v->size - 1, 8));
    uint64_t w;
    memcpy(&w, buf.data(), 8);
    EXPECT_EQ(w, ldmtest::PatternWord(v->number, (v->size - 1) * 512));
    EXPECT_TRUE(std::all_of(buf.begin() + 512, buf.end(), [](unsigned char c) { return c == 0; }));
    EXPECT_FALSE(e->device->ReadSectors(buf.data(), v->size + 1, 1));
    EXPECT_FALSE(e->device->ReadSectors(buf.data(), 0, v->size + 1));
  }
}

}  // namespace

namespace {

// Damage written into every disk's database of a three-disk MBR set.
struct Damage {
  const char* what;
  // Changes one VBLK piece (`u` at its first byte); type 0 for continuation pieces.
  void (*piece)(unsigned char* u, uint8_t type, uint16_t number);
  void (*privhead)(unsigned char* s);
  int volumes;  // volumes still listed; -1: any number
};

// Offset of the partition size inside a single-piece partition record.
size_t PartitionSizeAt(const unsigned char* u) {
  size_t at = 24;
  at += 1 + u[at];  // id
  at += 1 + u[at];  // name
  return at + 12 + 16;
}

const Damage kDamage[] = {
    {"data lengths far beyond the record", [](unsigned char* u, uint8_t, uint16_t n) {
       if (n == 0) WriteBE32(u + 20, 0xFFFFFF00u);
     }, nullptr, 0},
    {"second piece of the long record gone", [](unsigned char* u, uint8_t, uint16_t n) {
       if (n == 1) memset(u, 0, 4);
     }, nullptr, 4},
    {"piece count of 65535", [](unsigned char* u, uint8_t, uint16_t) {
       if (u[15] == 2) u[14] = u[15] = 0xFF;
     }, nullptr, 4},
    {"configuration start past the disk", nullptr, [](unsigned char* s) {
       for (int i = 0; i < 8; ++i) s[299 + i] = 0xFF;
     }, 0},
    {"configuration start at the last sector", nullptr, [](unsigned char* s) {
       const uint64_t v = 16383;
       for (int i = 0; i < 8; ++i) s[299 + i] = uint8_t(v >> (56 - 8 * i));
     }, 0},
    {"every volume with one id", [](unsigned char* u, uint8_t type, uint16_t n) {
       if (type == 0x51 && n == 0) u[25] = 1;
     }, nullptr, -1},
    {"components with 2^64-1 children", [](unsigned char* u, uint8_t type, uint16_t) {
       if (type != 0x32) return;
       size_t at = 24;
       at += 1 + u[at];  // id
       at += 1 + u[at];  // name
       at += 1 + u[at];  // state
       at += 1 + 4;      // layout, zeros
       if (u[at] >= 1 && u[at] <= 8) memset(u + at + 1, 0xFF, u[at]);
     }, nullptr, -1},
    {"partitions of 2^56 sectors", [](unsigned char* u, uint8_t type, uint16_t) {
       if (type != 0x33) return;
       unsigned char* size = u + PartitionSizeAt(u);
       if (size[0] >= 1 && size[0] <= 8) memset(size + 1, 0xFF, size[0]);
     }, nullptr, -1},
};

TEST(LdmDatabaseImage, DamagedDatabasesAreSkippedNotTrusted) {
  testutil::TempDir dir("ldmbad");
  const auto L = ldmtest::Generate(dir.path(), "mbr", 3);
  ASSERT_FALSE(L.groupGuid.empty());
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.what);
    std::vector<std::unique_ptr<MemoryDevice>> disks;
    std::vector<IStorageDevice*> list;
    for (size_t i = 0; i < L.disks.size(); ++i) {
      const std::string bytes = testutil::ReadFile(L.DiskPath(i));
      disks.emplace_back(new MemoryDevice(std::vector<unsigned char>(bytes.begin(), bytes.end())));
      unsigned char* img = disks.back()->Bytes().data();
      const uint64_t config = L.disks[i].metaStart;
      for (uint64_t u = 0; u < 64; ++u) {
        unsigned char* p = img + (config + 18) * 512 + u * 128;
        if (memcmp(p, "VBLK", 4) != 0 || !d.piece) continue;
        const uint16_t number = ReadBE16(p + 12);
        d.piece(p, number == 0 ? p[19] : 0, number);
      }
      if (d.privhead)
        for (uint64_t s : {uint64_t(6), config + 1856, config + 2047}) d.privhead(img + s * 512);
      list.push_back(disks.back().get());
    }
    Entries entries;
    CLdmDatabase db;
    const int n = db.CollectDynamicVolumes(list, entries.list);
    if (d.volumes >= 0) {
      EXPECT_EQ(n, d.volumes);
    }
    std::vector<unsigned char> buf(8 * 512);
    for (auto* e : entries.list) {
      e->device->ReadSectors(buf.data(), 0, 8);
      if (e->sectorCount > 0) e->device->ReadSectors(buf.data(), e->sectorCount - 1, 1);
    }
  }
}

}  // namespace
