// The LDM database reader on hand-made disks and records: where PRIVHEAD is
// looked for, how VBLK pieces are joined, and that damaged sizes, counts,
// strings and links are refused or cut instead of trusted.
#include <cstring>
#include <string>

#include "CLdmDatabase.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "TestUtil.h"

using testutil::MemoryDevice;

namespace {

void Be(unsigned char* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * (bytes - 1 - i)));
}
void Le(unsigned char* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct Payload {
  std::vector<unsigned char> b;
  Payload& Num(uint64_t v) {
    b.push_back(8);
    for (int i = 7; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  Payload& Str(const std::string& s) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Payload& Zero(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
  Payload& Byte(uint8_t v) {
    b.push_back(v);
    return *this;
  }
};

LdmRawRecord Record(uint8_t type, uint8_t flags, const Payload& p) {
  LdmRawRecord r;
  r.bytes.assign(24, 0);
  memcpy(r.bytes.data(), "VBLK", 4);
  r.bytes[18] = flags;
  r.bytes[19] = type;
  Be(&r.bytes[20], p.b.size(), 4);
  r.bytes.insert(r.bytes.end(), p.b.begin(), p.b.end());
  r.type = type;
  r.flags = flags;
  r.dataLength = uint32_t(p.b.size());
  return r;
}

Payload Volume(uint64_t id, const std::string& name, const std::string& hint) {
  Payload p;
  p.Num(id).Str(name).Str("gen").Str("").Zero(14).Byte(3).Zero(1).Byte(1).Zero(3).Byte(0).Num(1).Zero(16).Num(2048);
  p.Zero(4).Byte(7).Zero(16);
  if (!hint.empty()) p.Str(hint);
  return p;
}

Payload Component(uint64_t id, uint64_t parent) {
  Payload p;
  p.Num(id).Str("c").Str("ACTIVE").Byte(2).Zero(4).Num(1).Zero(16).Num(parent).Zero(1);
  return p;
}

Payload Partition(uint64_t id, uint64_t parent, uint64_t disk, uint64_t start, uint64_t size) {
  Payload p;
  p.Num(id).Str("p").Zero(12);
  size_t at = p.b.size();
  p.Zero(16);
  Be(&p.b[at], start, 8);
  p.Num(size).Num(parent).Num(disk).Num(0);
  return p;
}

TEST(LdmDatabase, FieldsAreRescaledToTheDiskSectorSize) {
  CLdmDatabase db;
  LdmRecordLists lists;
  db.ParseRecords({Record(0x33, 0x08, Partition(5, 4, 3, 0x800, 0x10000)), Record(0x51, 0, Volume(1, "v", ""))}, 4096,
                  lists);
  ASSERT_EQ(lists.partitions.size(), 1u);
  EXPECT_EQ(lists.partitions[0]->size, 0x2000u);
  EXPECT_EQ(lists.partitions[0]->start, 0x100u);
  ASSERT_EQ(lists.volumes.size(), 1u);
  EXPECT_EQ(lists.volumes[0]->size, 2048u / 8);
}

TEST(LdmDatabase, LongStringsAreCutToTheirFields) {
  CLdmDatabase db;
  LdmRecordLists lists;
  Payload disk;
  disk.Num(3).Str(std::string(200, 'd')).Str(std::string(100, 'g')).Str(std::string(250, 'a'));
  Payload comp;
  comp.Num(4).Str("c").Str(std::string(60, 's')).Byte(2).Zero(4).Num(1).Zero(16).Num(1).Zero(1);
  db.ParseRecords({Record(0x51, 0x02, Volume(1, std::string(200, 'n'), std::string(50, 'E'))),
                   Record(0x34, 0, disk), Record(0x32, 0, comp)},
                  512, lists);
  ASSERT_EQ(lists.volumes.size(), 1u);
  EXPECT_EQ(strlen(lists.volumes[0]->name), 127u);
  EXPECT_EQ(strlen(lists.volumes[0]->driveHint), 19u);
  ASSERT_EQ(lists.disks.size(), 1u);
  EXPECT_EQ(strlen(lists.disks[0]->name), 127u);
  EXPECT_EQ(strlen(lists.disks[0]->diskId), 64u);
  EXPECT_EQ(strlen(lists.disks[0]->altName), 127u);
  ASSERT_EQ(lists.components.size(), 1u);
  EXPECT_EQ(strlen(lists.components[0]->state), 14u);
}

TEST(LdmDatabase, RecordsShorterThanTheirFieldsAreDropped) {
  CLdmDatabase db;
  LdmRecordLists lists;
  Payload cut = Volume(1, "v", "");
  cut.b.resize(20);
  Payload big;
  big.Num(2).Str("x").Byte(200);  // a string longer than the record: empty, then the record ends
  db.ParseRecords({Record(0x51, 0, cut), Record(0x33, 0x08, big)}, 512, lists);
  EXPECT_TRUE(lists.volumes.empty());
  EXPECT_TRUE(lists.partitions.empty());
}

// Two volumes with one id must not link one component (and its partitions)
// into two chains, which would make a chain loop.
TEST(LdmDatabase, RepeatedIdsLinkEachRecordOnce) {
  CLdmDatabase db;
  LdmRecordLists lists;
  Payload disk;
  disk.Num(3).Str("Disk1").Str("id").Str("");
  db.ParseRecords({Record(0x51, 0, Volume(1, "a", "")), Record(0x51, 0, Volume(1, "b", "")),
                   Record(0x32, 0, Component(4, 1)), Record(0x33, 0x08, Partition(5, 4, 3, 0, 8)),
                   Record(0x33, 0x08, Partition(6, 4, 3, 8, 8)), Record(0x34, 0, disk)},
                  512, lists);
  ASSERT_EQ(lists.volumes.size(), 2u);
  ASSERT_NE(lists.volumes[0]->components, nullptr);
  EXPECT_EQ(lists.volumes[1]->components, nullptr);
  int steps = 0;
  for (auto* p = lists.volumes[0]->components->partitions; p && steps < 10; p = p->next) ++steps;
  EXPECT_EQ(steps, 2);
  std::vector<DynamicVolumeEntry*> out;
  db.BuildVolumes(lists, 512, out);  // no member disk: no device, and no hang
  EXPECT_TRUE(out.empty());
}

// ---- disks in memory ----

constexpr uint64_t kSectors = 4000;

struct Disk {
  MemoryDevice dev{std::vector<unsigned char>(kSectors * 512, 0)};
  unsigned char* At(uint64_t sector) { return dev.Bytes().data() + sector * 512; }
  void PrivHead(uint64_t sector, uint64_t configStart) {
    unsigned char* s = At(sector);
    memcpy(s, "PRIVHEAD", 8);
    Be(s + 12, 2, 2);
    Be(s + 14, 11, 2);
    memcpy(s + 48, "11111111-2222-3333-4444-555555555555", 36);
    memcpy(s + 240, "Dg0", 3);
    Be(s + 283, 63, 8);
    Be(s + 299, configStart, 8);
  }
  // A VBLK piece in slot `unit` of the database at `config`.
  unsigned char* Piece(uint64_t config, size_t unit, uint32_t group, uint16_t number, uint16_t total) {
    unsigned char* u = At(config) + unit * 128;
    memcpy(u, "VBLK", 4);
    Be(u + 8, group, 4);
    Be(u + 12, number, 2);
    Be(u + 14, total, 2);
    return u;
  }
};

TEST(LdmDatabase, PrivHeadIsLookedForAtTheEndThenSixThen2081) {
  CLdmDatabase db;
  LdmPrivHead h;
  Disk d;
  EXPECT_FALSE(db.FindPrivHead(&d.dev, h));
  d.PrivHead(2081, 100);
  ASSERT_TRUE(db.FindPrivHead(&d.dev, h));
  EXPECT_STREQ(h.diskId, "11111111-2222-3333-4444-555555555555");
  EXPECT_STREQ(h.diskGroupName, "Dg0");
  EXPECT_EQ(h.configStart, 100u);
  EXPECT_EQ(h.logicalDiskStart, 63u);
  d.PrivHead(6, 200);
  ASSERT_TRUE(db.FindPrivHead(&d.dev, h));
  EXPECT_EQ(h.configStart, 200u);
  d.PrivHead(kSectors - 1, 300);
  ASSERT_TRUE(db.FindPrivHead(&d.dev, h));
  EXPECT_EQ(h.configStart, 300u);
}

TEST(LdmDatabase, GptMetadataPartitionIsFoundByItsEntry) {
  struct Case {
    uint32_t count, entrySize;
    bool found;
  } cases[] = {{3, 128, true}, {128, 128, true}, {129, 128, false}, {3, 0, false}, {3, 64, false},
               {3, 4096, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " entries of " << c.entrySize);
    Disk d;
    unsigned char* h = d.At(1);
    memcpy(h, "EFI PART", 8);
    Le(h + 72, 2, 8);
    Le(h + 80, c.count, 4);
    Le(h + 84, c.entrySize, 4);
    // The third entry, named, ends at sector 3000 (not a place looked at first).
    unsigned char* e = d.At(2) + 2 * 128;
    Le(e + 32, 2900, 8);
    Le(e + 40, 3000, 8);
    const char* name = "LDM metadata partition";
    for (int i = 0; name[i]; ++i) e[56 + 2 * i] = uint8_t(name[i]);
    d.PrivHead(3000, 2000);
    CLdmDatabase db;
    LdmPrivHead ph;
    EXPECT_EQ(db.FindPrivHead(&d.dev, ph), c.found);
  }
}

TEST(LdmDatabase, VblkPiecesJoinOnlyWhenComplete) {
  const uint64_t config = kSectors - 100;  // within 2050 sectors of the end
  Disk d;
  d.PrivHead(6, config);
  // Group 7: three pieces, 104 + 112 + 50 bytes of fields.
  unsigned char* first = d.Piece(config, 3, 7, 0, 3);
  first[19] = 0x51;
  Be(first + 20, 104 + 112 + 50, 4);
  memset(first + 24, 'A', 104);
  memset(d.Piece(config, 5, 7, 1, 3) + 16, 'B', 112);
  memset(d.Piece(config, 9, 7, 2, 3) + 16, 'C', 112);
  // Group 8: a length no piece can hold.
  Be(d.Piece(config, 12, 8, 0, 1) + 20, 0xFFFFFFF0u, 4);
  // Group 9: a count beyond the buffer.
  Be(d.Piece(config, 13, 9, 0, 0xFFFF) + 20, 0x7FFFFFF0u, 4);

  CLdmDatabase db;
  LdmPrivHead h;
  ASSERT_TRUE(db.FindPrivHead(&d.dev, h));
  std::vector<LdmRawRecord> records;
  ASSERT_TRUE(db.ReadDatabase(&d.dev, h, records));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_TRUE(records[0].valid);
  ASSERT_EQ(records[0].bytes.size(), 24u + 266);
  EXPECT_EQ(records[0].bytes[24 + 103], 'A');
  EXPECT_EQ(records[0].bytes[24 + 104], 'B');
  EXPECT_EQ(records[0].bytes[24 + 215], 'B');
  EXPECT_EQ(records[0].bytes[24 + 216], 'C');
  EXPECT_EQ(records[0].bytes[24 + 265], 'C');

  // The middle piece missing: the record is invalid.
  memset(d.At(config) + 5 * 128, 0, 128);
  ASSERT_TRUE(db.ReadDatabase(&d.dev, h, records));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].valid);

  // A configuration start beyond the disk reads nothing.
  h.configStart = kSectors + 5;
  EXPECT_FALSE(db.ReadDatabase(&d.dev, h, records));
  EXPECT_TRUE(records.empty());
}

TEST(LdmDatabase, PrivHeadOnLargeSectorsIsReadWithoutOverflow) {
  MemoryDevice dev(std::vector<unsigned char>(16 * 8192, 0), 8192);
  memcpy(dev.Bytes().data() + 6 * 8192, "PRIVHEAD", 8);
  CLdmDatabase db;
  LdmPrivHead h;
  EXPECT_TRUE(db.ReadPrivHeadAt(&dev, h, 6));
  std::vector<LdmRawRecord> records;
  EXPECT_FALSE(db.ReadDatabase(&dev, h, records));  // no database buffer for such sectors
}

}  // namespace
