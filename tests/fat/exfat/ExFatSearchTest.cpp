// exFAT file properties (saved form), the partition record's geometry and
// run lists over a FAT in memory, and the directory entry-set parser over
// entry sets built here byte by byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CExFatDataRunList.h"
#include "CExFatFileProperties.h"
#include "CExFatPartition.h"
#include "CFileNode.h"
#include "CMemoryScanStream.h"
#include "ExFatEntrySetParser.h"
#include "MemoryDevice.h"

namespace {

// 10 May 2024, 12:30:00.
constexpr uint32_t kStamp = (44u << 25) | (5u << 21) | (10u << 16) | (12u << 11) | (30u << 5);

using Entry = std::array<uint8_t, 32>;

Entry FileEntry(uint8_t secondaries, uint16_t attributes, bool inUse = true) {
  Entry e{};
  e[0] = inUse ? 0x85 : 0x05;
  e[1] = secondaries;
  WriteLE16(e.data() + 4, attributes);
  WriteLE32(e.data() + 8, kStamp);
  WriteLE32(e.data() + 12, kStamp);
  WriteLE32(e.data() + 16, kStamp);
  return e;
}

Entry StreamEntry(uint8_t nameLength, uint32_t firstCluster, uint64_t size, bool inUse = true, bool noFatChain = true) {
  Entry e{};
  e[0] = inUse ? 0xC0 : 0x40;
  e[1] = static_cast<uint8_t>(0x01 | (noFatChain ? 0x02 : 0));
  e[3] = nameLength;
  WriteLE64(e.data() + 8, size);
  WriteLE32(e.data() + 20, firstCluster);
  WriteLE64(e.data() + 24, size);
  return e;
}

// The name entries of `name` (ASCII), 15 characters each.
std::vector<Entry> NameEntries(const std::u16string& name, bool inUse = true) {
  std::vector<Entry> out;
  for (size_t at = 0; at < name.size(); at += 15) {
    Entry e{};
    e[0] = inUse ? 0xC1 : 0x41;
    for (size_t i = 0; i < 15 && at + i < name.size(); ++i) WriteLE16(e.data() + 2 + 2 * i, name[at + i]);
    out.push_back(e);
  }
  return out;
}

// A whole entry set: File, Stream Extension, names, then `extra` benign
// secondary entries counted in the set.
std::vector<Entry> EntrySet(const std::u16string& name, uint32_t cluster, uint64_t size, uint16_t attributes = 0,
                            bool inUse = true, int extra = 0) {
  const std::vector<Entry> names = NameEntries(name, inUse);
  std::vector<Entry> set{FileEntry(static_cast<uint8_t>(1 + names.size() + extra), attributes, inUse),
                         StreamEntry(static_cast<uint8_t>(name.size()), cluster, size, inUse)};
  set.insert(set.end(), names.begin(), names.end());
  for (int i = 0; i < extra; ++i) {
    Entry vendor{};
    vendor[0] = inUse ? 0xE0 : 0x60;
    set.push_back(vendor);
  }
  return set;
}

std::vector<uint8_t> Bytes(const std::vector<std::vector<Entry>>& parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts)
    for (const Entry& e : part) out.insert(out.end(), e.begin(), e.end());
  return out;
}

std::vector<Entry> One(const Entry& e) {
  return {e};
}

Entry Typed(uint8_t type) {
  Entry e{};
  e[0] = type;
  return e;
}

// ---- properties ----

std::unique_ptr<CExFatFileProperties, void (*)(CExFatFileProperties*)> Owned(CExFatFileProperties* p) {
  return {p, ReleaseExFatFileProperties};
}

TEST(ExFatFileProperties, SaveAndLoadRoundTrip) {
  struct Case {
    const char* what;
    const char* name;
    uint16_t attributes;
    bool runs;
  } cases[] = {
      {"the empty name", "", 0x20, false},
      {"a folder without runs", "Folder ü", kFileAttributeDirectory, false},
      {"a file with runs", "report.txt", 0x20, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = Owned(CreateExFatFileProperties());
    p->SetName(c.name);
    p->SetName(nullptr);  // ignored
    p->SetAttributes(c.attributes);
    p->SetFileSize(123456789012);
    p->SetCreationTime(1);
    p->SetModificationTime(2);
    p->SetAccessTime(3);
    p->SetDeleted(1);
    p->SetFirstCluster(77);
    p->SetDirectoryValue(0xFFFFFFFF);
    EXPECT_EQ(p->SetStatusFlag(5), 1);
    if (c.runs) {
      auto* list = new CExFatDataRunList;
      list->AddRun({8, 3});
      list->AddRun({20, 2});
      p->SetDataRunList(list);
    }
    EXPECT_EQ(p->GetNameLength(), static_cast<int>(strlen(c.name)));
    CMemoryScanStream stream;
    ASSERT_TRUE(p->Save(&stream));
    auto q = Owned(LoadExFatFileProperties(&stream));
    ASSERT_TRUE(q);
    EXPECT_EQ(stream.Remaining(), 0u);
    EXPECT_STREQ(q->GetName(), c.name);
    EXPECT_EQ(q->GetNameLength(), p->GetNameLength());
    EXPECT_EQ(q->GetFileSize(), 123456789012);
    EXPECT_EQ(q->GetAttributes(), c.attributes);
    EXPECT_EQ(q->GetCreationTime(), 1u);
    EXPECT_EQ(q->GetModificationTime(), 2u);
    EXPECT_EQ(q->GetAccessTime(), 3u);
    EXPECT_EQ(q->IsDeletedBit(), 1);
    EXPECT_EQ(q->GetFirstCluster(), 77u);
    EXPECT_EQ(q->GetDirectoryValue(), 0xFFFFFFFFu);
    EXPECT_EQ(q->GetStatusFlag(), 0);
    EXPECT_EQ(q->GetSearchKind(), EPartitionKind::exFAT);
    std::unique_ptr<IDataRunList> runs(q->GetDataRunList());
    if (!c.runs) {
      EXPECT_EQ(runs, nullptr);
      continue;
    }
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->GetRunCount(), 2u);
    EXPECT_EQ(runs->Runs()[0], (DataRun{8, 3}));
    EXPECT_EQ(runs->Runs()[1], (DataRun{20, 2}));
  }
  // A stream cut short loads nothing.
  auto p = Owned(CreateExFatFileProperties());
  p->SetName("cut");
  CMemoryScanStream full;
  ASSERT_TRUE(p->Save(&full));
  CMemoryScanStream cut(full.Bytes().data(), full.Bytes().size() - 1);
  EXPECT_EQ(LoadExFatFileProperties(&cut), nullptr);
}

// ---- partition record ----

// A volume in memory: 512-byte sectors, the FAT at sector 1 (8 sectors,
// 1024 entries), the heap at sector 100.
struct FatVolume {
  testutil::MemoryDevice device{std::vector<uint8_t>(2048 * 512, 0)};
  CExFatPartition partition;

  explicit FatVolume(uint32_t sectorsPerCluster, const std::vector<std::pair<uint32_t, uint32_t>>& fat = {}) {
    for (const auto& [cluster, next] : fat) WriteLE32(device.Bytes().data() + 512 + 4 * cluster, next);
    partition.SetClusterSectors(sectorsPerCluster);
    partition.SetHeapStart(100);
    partition.SetClusterCount(200);
    partition.SetRootCluster(4);
    partition.FatCache().Open(&device, 1, 8, 200);
    partition.SizeClusterMap();
  }
  std::vector<DataRun> Runs(uint32_t first, uint64_t size, bool noFatChain, uint16_t attributes = 0) {
    ExFatEntrySetRecord r;
    r.firstCluster = first;
    r.size = size;
    r.noFatChain = noFatChain;
    r.attributes = attributes;
    auto list = partition.BuildDataRunList(r);
    return {list->Runs().begin(), list->Runs().end()};
  }
};

TEST(ExFatPartition, ClusterGeometry) {
  FatVolume one(1);
  EXPECT_EQ(one.partition.ClusterToOffset(2), 100u);
  FatVolume eight(8);
  EXPECT_EQ(eight.partition.ClusterToOffset(5), 124u);
  // Far into a large heap the sector number needs more than 32 bits:
  // 128 KiB clusters, 20 million clusters in.
  CExFatPartition big;
  big.SetClusterSectors(256);
  big.SetHeapStart(4096);
  EXPECT_EQ(big.ClusterToOffset(20000002), 20000000ull * 256 + 4096);
}

TEST(ExFatPartition, RunLists) {
  const uint32_t kSpc = 8, kCluster = kSpc * 512;
  FatVolume v(kSpc, {{10, 11},
                     {11, 12},
                     {12, 0xFFFFFFFF},
                     {20, 0},
                     {30, 1},
                     {40, 41},
                     {41, 250},
                     {50, 52},
                     {52, 51},
                     {51, 0xFFFFFFFF},
                     {70, 71},
                     {71, 72},
                     {72, 73},
                     {73, 71}});
  using Runs = std::vector<DataRun>;
  const struct {
    const char* what;
    uint32_t first;
    uint64_t size;
    bool noFatChain;
    Runs runs;
  } cases[] = {
      {"one byte, contiguous", 10, 1, true, {{8, 1}}},
      {"a cluster and a byte, contiguous", 10, kCluster + 1, true, {{8, 2}}},
      {"a chain 10 -> 11 -> 12", 10, 3 * kCluster, false, {{8, 3}}},
      {"a chain read no further than the size", 10, kCluster, false, {{8, 1}}},
      {"a FAT entry of 0 ends the chain", 20, 3 * kCluster, false, {{18, 1}}},
      {"a FAT entry of 1 ends the chain", 30, 3 * kCluster, false, {{28, 1}}},
      {"a chain value past the cluster count ends it", 40, 3 * kCluster, false, {{38, 2}}},
      {"a chain out of order", 50, 3 * kCluster, false, {{48, 1}, {50, 1}, {49, 1}}},
      {"no size, no runs", 10, 0, true, {}},
      {"first cluster 0, no runs", 0, 100, false, {}},
      {"first cluster 1, no runs", 1, 100, false, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(v.Runs(c.first, c.size, c.noFatChain), c.runs) << c.what;
  // A chain that loops (70 -> 71 -> 72 -> 73 -> 71) ends near where it
  // closes, however large the size.
  const Runs looped = v.Runs(70, uint64_t(1) << 40, false);
  ASSERT_FALSE(looped.empty());
  EXPECT_EQ(looped.front(), (DataRun{68, 4}));
  EXPECT_LE(looped.size(), 3u);
  // A folder gives no runs and marks nothing.
  EXPECT_EQ(v.Runs(60, 3 * kCluster, true, kFileAttributeDirectory), Runs{});
  EXPECT_FALSE(v.partition.IsClusterUsed(58));
  EXPECT_TRUE(v.partition.IsClusterUsed(8));
  EXPECT_TRUE(v.partition.IsClusterUsed(49));
}

TEST(ExFatPartition, ContiguousChainsDoNotFollowTheFat) {
  // The FAT keeps no chain for a contiguous run; what it holds there (here
  // 0, as a formatter leaves it) must not end the walk.
  FatVolume v(1);
  ASSERT_TRUE(v.partition.FatCache().IsOpen());
  EXPECT_EQ(v.partition.GetNextCluster(10, true), 11u);
  EXPECT_EQ(v.partition.GetNextCluster(10, false), 0u);  // free: the walkers stop there
  EXPECT_EQ(v.partition.GetNextCluster(199, true), CExFatPartition::kEndOfChain);
}

TEST(ExFatPartition, CreateFileNode) {
  FatVolume v(1);
  ExFatEntrySetRecord r;
  r.firstCluster = 10;
  r.size = 1000;
  r.noFatChain = 1;
  r.inUse = 0;
  r.attributes = 0x20;
  r.creation = r.modification = r.access = kStamp;
  r.position = 1234;
  r.name = "gone.txt";
  CFileNode* node = v.partition.CreateFileNode(r);
  ASSERT_TRUE(node);
  auto* p = static_cast<CExFatFileProperties*>(node->GetProperties());
  ASSERT_TRUE(p);
  EXPECT_STREQ(p->GetName(), "gone.txt");
  EXPECT_EQ(p->GetFileSize(), 1000);
  EXPECT_EQ(p->IsDeletedBit(), 1);
  EXPECT_TRUE(p->IsContiguous());
  EXPECT_EQ(p->GetFirstCluster(), 10u);
  EXPECT_EQ(node->GetPosition(), 1234u);
  EXPECT_EQ(p->GetModificationTime(), ExFatDosTimeToFileTime(kStamp));
  EXPECT_NE(p->GetModificationTime(), 0u);
  std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
  ASSERT_TRUE(runs);
  EXPECT_EQ(runs->Runs().front(), (DataRun{8, 2}));
  DestroyFileNode(node);
}

// ---- entry-set parser ----

struct Parsed {
  std::vector<std::string> names;  // "name" or "-name" for a deleted set
  bool goOn = false;
};

Parsed Parse(const std::vector<uint8_t>& bytes, size_t clusterBytes = 0) {
  ExFatEntrySetParser parser;
  parser.SetGeometry(9, 12, 1u << 20);
  Parsed out;
  if (clusterBytes == 0) clusterBytes = bytes.size();
  out.goOn = true;
  for (size_t at = 0; at < bytes.size() && out.goOn; at += clusterBytes)
    out.goOn = parser.ParseEntries(bytes.data() + at, std::min(clusterBytes, bytes.size() - at), 100);
  for (const ExFatEntrySetRecord& r : parser.Records()) out.names.push_back((r.inUse ? "" : "-") + r.name);
  return out;
}

TEST(ExFatEntrySetParser, EntrySets) {
  const std::u16string forty = u"a name of forty characters, 3 entries!!";
  ASSERT_EQ(forty.size(), 39u);
  const std::u16string name40 = forty + u"x";
  const Entry guid = Typed(0xA0), padding = Typed(0xA1), unknownCritical = Typed(0x84);
  using Names = std::vector<std::string>;
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    Names names;
    bool goOn;
  } cases[] = {
      {"a File entry without a Stream Extension",
       Bytes({One(FileEntry(2, 0)), NameEntries(u"lost.txt"), EntrySet(u"next.txt", 5, 10)}),
       {"next.txt"},
       true},
      {"a deleted File entry with an in-use stream",
       Bytes({One(FileEntry(2, 0, false)), One(StreamEntry(4, 5, 10, true)), NameEntries(u"half", false),
              EntrySet(u"after", 6, 10, 0, false)}),
       {"-after"},
       true},
      {"a 40-character name over three name entries",
       Bytes({EntrySet(name40, 5, 10)}),
       {std::string(name40.begin(), name40.end())},
       true},
      {"a name entry out of its place resets the set",
       Bytes({One(FileEntry(3, 0)), One(StreamEntry(20, 5, 10)), NameEntries(u"first half"), One(guid),
              NameEntries(u"second half")}),
       {},
       true},
      {"a 0x00 entry ends the directory",
       Bytes({EntrySet(u"one", 5, 1), One(Entry{}), EntrySet(u"two", 6, 1)}),
       {"one"},
       false},
      {"benign primary entries are passed over",
       Bytes({One(guid), EntrySet(u"one", 5, 1), One(padding), One(padding), EntrySet(u"two", 6, 1)}),
       {"one", "two"},
       true},
      {"a benign secondary entry counts in its set",
       Bytes({EntrySet(u"vendor", 5, 1, 0, true, 1), EntrySet(u"x", 7, 1)}),
       {"vendor", "x"},
       true},
      {"an unknown critical entry ends the directory",
       Bytes({EntrySet(u"one", 5, 1), One(unknownCritical), EntrySet(u"two", 6, 1)}),
       {"one"},
       false},
      {"a File entry that fails its check ends the directory",
       Bytes({EntrySet(u"one", 5, 1), One(FileEntry(1, 0)), EntrySet(u"two", 6, 1)}),
       {"one"},
       false},
      {"bitmap, up-case and label entries are passed over",
       Bytes({One(Typed(0x83)), One(Typed(0x81)), One(Typed(0x82)), EntrySet(u"one", 5, 1)}),
       {"one"},
       true},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.bytes);
    EXPECT_EQ(p.names, c.names) << c.what;
    EXPECT_EQ(p.goOn, c.goOn) << c.what;
  }
}

TEST(ExFatEntrySetParser, SetsRunAcrossClustersAndNamesStayWhole) {
  // One set split over two 64-byte "clusters": the parser keeps it.
  std::vector<uint8_t> bytes = Bytes({One(Typed(0xA0)), EntrySet(u"spanning the boundary", 5, 1)});
  EXPECT_EQ(Parse(bytes, 64).names, std::vector<std::string>{"spanning the boundary"});
  // 255 characters of three UTF-8 bytes each fit whole; an unpaired
  // surrogate becomes "_"; a pair split between name entries stays one
  // character.
  std::u16string wide(255, u'\u4E2D');
  std::string wideUtf8;
  for (int i = 0; i < 255; ++i) wideUtf8 += "\xE4\xB8\xAD";
  std::u16string paired(14, u'a');
  paired += u"\U0001F600z";
  const struct {
    std::u16string name;
    std::string utf8;
  } names[] = {{wide, wideUtf8}, {u"a\xD800z", "a_z"}, {paired, std::string(14, 'a') + "\xF0\x9F\x98\x80z"}};
  for (const auto& n : names) {
    const Parsed p = Parse(Bytes({EntrySet(n.name, 5, 1)}));
    ASSERT_EQ(p.names.size(), 1u);
    EXPECT_EQ(p.names[0], n.utf8);
  }
}

}  // namespace
