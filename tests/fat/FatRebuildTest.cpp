// The FAT directory rebuild's pieces over synthetic directories and FATs in
// memory: the PE test, the high-word guess, the choice between directories
// sharing a cluster, data runs, the dot rule, carried long names, looping
// chains, the analyser probe and the numbered folders.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "CFATFileProperties.h"
#include "CFatCompleteSearchWorker.h"
#include "CFileSystemNode.h"
#include "CRawFileInfo.h"
#include "FatTestData.h"
#include "IDataRunList.h"
#include "IFATTable.h"
#include "IRawFileAnalyser.h"
#include "MemoryDevice.h"

namespace {

using fattest::Append;
using fattest::Checksum;
using fattest::LongEntry;
using fattest::Put16;
using fattest::Put32;
using fattest::ShortEntry;
using testutil::MemoryDevice;

class MapFAT : public IFATTable {
 public:
  std::map<uint32_t, uint32_t> next;
  uint32_t GetEntry(uint32_t c) override {
    auto it = next.find(c);
    return it == next.end() ? 0 : it->second;
  }
  bool IsLoaded() const override { return true; }
};

constexpr uint32_t kEnd = 0x0FFFFFFF;

// A FAT32 volume in memory: `clusters` data clusters of `spc` sectors from
// sector 100, root in cluster 2.
struct Volume {
  explicit Volume(uint32_t spc = 1, uint64_t clusters = 64, int sectorSize = 512)
      : device(std::vector<uint8_t>((100 + clusters * spc) * sectorSize, 0), sectorSize) {
    geo.fatType = 2;
    geo.sectorsPerCluster = spc;
    geo.rootCluster = 2;
    geo.rebuildRoot = true;
    geo.dataStart = 100;
    geo.partitionSize = 100 + clusters * spc;
    fat.next[2] = kEnd;
  }
  uint8_t* Cluster(uint64_t c) {
    return device.Bytes().data() + (100 + (c - 2) * geo.sectorsPerCluster) * device.GetSectorSize();
  }
  void Put(uint64_t c, const std::vector<uint8_t>& bytes, size_t at = 0) {
    std::memcpy(Cluster(c) + at, bytes.data(), bytes.size());
  }
  MemoryDevice device;
  MapFAT fat;
  FatRebuildGeometry geo;
};

std::vector<uint8_t> Dots(uint32_t self, uint32_t parent) {
  std::vector<uint8_t> v = ShortEntry(".          ", 0x10, self);
  Append(v, ShortEntry("..         ", 0x10, parent));
  return v;
}

std::vector<uint8_t> WithTimes(std::vector<uint8_t> e, uint16_t date, uint16_t time, bool deleted = false) {
  Put16(&e[14], time);
  Put16(&e[16], date);
  Put16(&e[22], time);
  Put16(&e[24], date);
  if (deleted) e[0] = 0xE5;
  return e;
}

// A long name and its short entry, parts in on-disk order.
std::vector<uint8_t> Named(const std::string& name, const char* short11, uint8_t attr, uint32_t cluster,
                           uint32_t size) {
  std::vector<uint8_t> v;
  const uint8_t sum = Checksum(reinterpret_cast<const uint8_t*>(short11));
  const size_t parts = (name.size() + 12) / 13;
  for (size_t i = parts; i-- > 0;) {
    const uint8_t order = static_cast<uint8_t>((i + 1) | (i + 1 == parts ? 0x40 : 0));
    Append(v, LongEntry(order, name.substr(i * 13, 13), sum));
  }
  Append(v, ShortEntry(short11, attr, cluster, size));
  return v;
}

std::map<std::string, CFileNode*> Children(CFileNode* dir) {
  std::map<std::string, CFileNode*> out;
  for (CFileNode* c = dir->GetFirstChild(); c; c = c->GetNextSibling())
    out[c->GetProperties() ? c->GetProperties()->GetName() : "?"] = c;
  return out;
}

std::vector<DataRun> RunsOf(const CFileNode* node) {
  std::vector<DataRun> runs;
  IDataRunList* list = node->GetProperties()->GetDataRunList();
  if (list == nullptr) return runs;
  runs.assign(list->Runs().begin(), list->Runs().end());
  delete list;
  return runs;
}

TEST(FatRebuild, PEImageTestStaysInsideItsBuffer) {
  struct Row {
    const char* what;
    size_t length;
    uint32_t headerOffset;
    bool putPE;
    bool expected;
  } rows[] = {
      {"header inside", 512, 0x80, true, true},
      {"header in the last two bytes", 512, 510, true, true},
      {"header one byte past", 512, 511, false, false},
      {"offset wraps in 32 bits", 512, 0xFFFFFFFE, false, false},
      {"offset at the top of 32 bits", 512, 0xFFFFFFFF, false, false},
      {"no PE signature", 512, 0x80, false, false},
      {"shorter than the offset field", 63, 0, false, false},
  };
  for (const Row& r : rows) {
    std::vector<uint8_t> b(r.length, 0);
    b[0] = 'M';
    b[1] = 'Z';
    if (r.length >= 64) Put32(&b[60], r.headerOffset);
    if (r.putPE) {
      b[r.headerOffset] = 'P';
      b[r.headerOffset + 1] = 'E';
    }
    EXPECT_EQ(CFatCompleteSearchWorker::IsPEImage(b.data(), b.size()), r.expected) << r.what;
  }
  EXPECT_FALSE(CFatCompleteSearchWorker::IsPEImage(nullptr, 4096));
}

TEST(FatRebuild, HighWordGuessTable) {
  // Times in seconds around the file's own, 1000; clusters of 512 bytes.
  using S = FatSiblingInfo;
  const S live = {}, del = {0, 0, 0, true, false};
  auto at = [](S s, uint64_t cluster, uint64_t size, int64_t t) {
    s.firstCluster = cluster;
    s.size = size;
    s.creationSeconds = t;
    return s;
  };
  struct Row {
    const char* what;
    std::vector<S> siblings;
    uint64_t size;
    uint64_t cluster;
    size_t order;
    uint64_t expected;
  } rows[] = {
      {"a cluster with a high word stays", {at(live, 0x30000, 512, 990)}, 512, 0x21234, 0, 0x21234},
      {"no siblings: the low word", {}, 512, 0x1234, 0, 0x1234},
      {"nearest deleted sibling: the word past its data",
       {at(del, 0x2FFFF, 1024, 999), at(del, 0x50000, 512, 900)},
       512,
       0x1234,
       0,
       0x31234},
      {"an empty file does not follow the deleted sibling", {at(del, 0x2FFFF, 1024, 999)}, 0, 0x1234, 0, 0x1234},
      {"both neighbours high: the later is nearer",
       {at(live, 0x30000, 512, 990), at(live, 0x50000, 512, 1005)},
       512,
       0x1234,
       1,
       0x51234},
      {"both neighbours high, equally near: the earlier",
       {at(live, 0x30000, 512, 995), at(live, 0x50000, 512, 1005)},
       512,
       0x1234,
       1,
       0x31234},
      {"earlier high and nearer", {at(live, 0x30000, 512, 999), at(live, 0x100, 512, 1010)}, 512, 0x1234, 1, 0x31234},
      {"earlier high, later nearer, result past the limit",
       {at(live, 0x30000, 512, 900), at(live, 0x100, 512, 1001)},
       512,
       0x1234,
       1,
       0x1234},
      {"earlier high, later nearer, result inside the limit",
       {at(live, 0x30000, 512 * 0x2000, 900), at(live, 0x100, 512, 1001)},
       512,
       0x1234,
       1,
       0x31234},
      {"later high and nearer, inside the limit",
       {at(live, 0x100, 512, 900), at(live, 0x40000, 512, 1001)},
       512,
       0x1234,
       1,
       0x1234},
      {"later high, no earlier, result inside the limit",
       {at(live, 0x40000, 512 * 0x2000, 1001)},
       512,
       0x1234,
       0,
       0x41234},
      {"later high, earlier as near whose data passes 0x10000",
       {at(live, 0xFF00, 512 * 0x200, 999), at(live, 0x40000, 512 * 0x2000, 1001)},
       512,
       0x1234,
       1,
       0x41234},
      {"none high, earlier ends past 0x10000 and no later",
       {at(live, 0xFF00, 512 * 0x200, 900)},
       512,
       0x1234,
       1,
       0x11234},
      {"none high, earlier ends past 0x10000 but a later exists",
       {at(live, 0xFF00, 512 * 0x200, 900), at(live, 0x100, 512, 1100)},
       512,
       0x1234,
       1,
       0x1234},
      {"a sibling too large to be real is passed over",
       {at(live, 0x30000, 0x19000001ull * 10 + 10, 999)},
       512,
       0x1234,
       1,
       0x1234},
      // Equal times: directory order decides which side a sibling is on.
      {"same time, listed before the file: earlier",
       {at(live, 0x30000, 512, 1000), at(live, 0x100, 512, 1000)},
       512,
       0x1234,
       1,
       0x31234},
      {"same time, listed after the file: later, past the limit",
       {at(live, 0x100, 512, 1000), at(live, 0x30000, 512, 1000)},
       512,
       0x1234,
       1,
       0x1234},
  };
  for (const Row& r : rows) {
    const uint64_t got =
        CFatCompleteSearchWorker::GuessClusterHighWord(r.siblings, r.size, r.cluster, 1000, r.order, 512);
    EXPECT_EQ(got, r.expected) << r.what;
    EXPECT_EQ(got & 0xFFFF, r.cluster & 0xFFFF) << r.what;
    // The same inputs give the same answer whatever ran before.
    EXPECT_EQ(CFatCompleteSearchWorker::GuessClusterHighWord(r.siblings, r.size, r.cluster, 1000, r.order, 512), got);
  }
}

TEST(FatRebuild, DirectoryCandidateTable) {
  struct Row {
    const char* what;
    uint8_t deletedA;
    uint16_t dateA;
    const char* nameA;
    uint8_t deletedB;
    uint16_t dateB;
    const char* nameB;
    int sign;  // -1 the new one replaces, 0 or 1 the existing stays
  } rows[] = {
      {"made up against made up", 9, 0x5A21, "DIR0", 9, 0x5A21, "DIR1", 0},
      {"made up against an entry", 9, 0x5A21, "DIR0", 1, 0x5A21, "old", -1},
      {"deleted against made up", 1, 0x5A21, "old", 9, 0x5A21, "DIR0", 1},
      {"deleted older against deleted newer", 1, 0x5A21, "a", 1, 0x5A22, "b", -1},
      {"deleted newer against deleted older", 1, 0x5A22, "a", 1, 0x5A21, "b", 1},
      {"equal times, other name", 1, 0x5A21, "a", 1, 0x5A21, "b", -1},
      {"equal times, same name in another case", 1, 0x5A21, "Name", 1, 0x5A21, "NAME", 0},
      {"deleted against live", 1, 0x5A22, "a", 0, 0x5A21, "b", -1},
      {"live against deleted", 0, 0x5A21, "a", 1, 0x5A22, "b", 1},
      {"live against made up", 0, 0x5A21, "a", 9, 0x5A22, "DIR0", 1},
      {"live against live", 0, 0x5A21, "a", 0, 0x5A22, "b", 0},
      {"an unreadable date is the oldest", 1, 0xFFFF, "a", 1, 0x5A21, "b", -1},
  };
  for (const Row& r : rows) {
    CFATFileProperties a, b;
    a.SetDeleted(r.deletedA);
    a.SetModificationTime(r.dateA, 0);
    a.SetName(r.nameA);
    b.SetDeleted(r.deletedB);
    b.SetModificationTime(r.dateB, 0);
    b.SetName(r.nameB);
    const int got = CFatCompleteSearchWorker::CompareDirectoryCandidates(a, b);
    EXPECT_EQ(got < 0 ? -1 : got > 0 ? 1 : 0, r.sign) << r.what;
  }
}

TEST(FatRebuild, DataRunTable) {
  struct Row {
    const char* what;
    uint32_t spc;
    uint64_t clusters;
    std::map<uint32_t, uint32_t> chain;
    uint64_t first;
    uint64_t size;
    bool deleted;
    std::vector<DataRun> expected;  // empty: no list
  } rows[] = {
      {"10000 bytes on 5, 6, 9", 8, 64, {{5, 6}, {6, 9}, {9, kEnd}}, 5, 10000, false, {{3, 2}, {7, 1}}},
      {"one contiguous chain", 1, 64, {{10, 11}, {11, 12}, {12, kEnd}}, 10, 1500, false, {{8, 3}}},
      {"chain longer than the size is cut", 1, 64, {{10, 20}, {20, 30}, {30, kEnd}}, 10, 800, false, {{8, 1}, {18, 1}}},
      {"chain into the last cluster overflowing the partition", 1, 8, {{5, 9}, {9, kEnd}}, 5, 2048, false, {}},
      {"chain leading past the partition end", 1, 8, {{5, 8}, {8, 0x0FFFFF00}}, 5, 2048, false, {}},
      {"chain looping back ends", 1, 64, {{5, 6}, {6, 5}}, 5, 1024, false, {{3, 2}}},
      {"no cluster", 1, 64, {}, 0, 1000, false, {}},
      {"first cluster past the end", 1, 8, {}, 40, 1000, false, {}},
      {"deleted, FAT free: contiguous", 1, 64, {}, 20, 1500, true, {{18, 3}}},
      {"deleted, entries set: followed", 1, 64, {{21, 30}, {30, kEnd}}, 20, 1500, true, {{18, 2}, {28, 1}}},
      {"deleted, runs to the partition end", 1, 8, {}, 8, 4096, true, {{6, 2}}},
      {"deleted, chain looping", 1, 64, {{20, 21}, {21, 20}}, 20, 4096, true, {{18, 2}}},
  };
  for (const Row& r : rows) {
    Volume v(r.spc, r.clusters);
    for (auto [c, n] : r.chain) v.fat.next[c] = n;
    CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
    IDataRunList* list = w.BuildFileDataRuns(r.first, r.size, r.deleted);
    if (r.expected.empty()) {
      EXPECT_EQ(list, nullptr) << r.what;
    } else {
      ASSERT_NE(list, nullptr) << r.what;
      EXPECT_EQ(std::vector<DataRun>(list->Runs().begin(), list->Runs().end()), r.expected) << r.what;
      // Live runs mark their clusters in use, deleted ones never.
      for (const DataRun& run : r.expected) EXPECT_EQ(w.GetClusterUseBits()[run.start], !r.deleted) << r.what;
    }
    delete list;
  }
}

TEST(FatRebuild, DotRuleLooksAtShortNamesOnly) {
  Volume v;
  std::vector<uint8_t> dir = Dots(5, 0);
  Append(dir, Named(".git", "GIT~1      ", 0x10, 6, 0));
  Append(dir, Named(".gitignore", "GITIGN~1   ", 0x20, 7, 10));
  Append(dir, Named(".fseventsd", "FSEVEN~1   ", 0x12, 8, 0));
  Append(dir, Named(".Trashes", "TRASHE~1   ", 0x12, 9, 0));
  v.Put(5, dir);
  v.fat.next[5] = kEnd;
  v.Put(2, Named("sub", "SUB        ", 0x10, 5, 0));
  CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
  CFileSystemNode* root = w.Run({{v.geo.dataStart + 3, 5, 0}});
  auto top = Children(root);
  ASSERT_EQ(top.count("sub"), 1u);
  auto names = Children(top["sub"]);
  for (const char* n : {".git", ".gitignore", ".fseventsd", ".Trashes"}) EXPECT_EQ(names.count(n), 1u) << n;

  // A third 8.3 name with a leading dot: not a directory.
  std::vector<uint8_t> bad = Dots(5, 0);
  Append(bad, ShortEntry(".X         ", 0x20, 7, 10));
  CFatCompleteSearchWorker w2(&v.device, &v.fat, v.geo);
  CFileSystemNode* root2 = w2.Run({});
  EXPECT_EQ(w2.RebuildDirectories(bad.data(), bad.size(), root2, nullptr, nullptr, nullptr, false, true), -1);
}

TEST(FatRebuild, DirectoriesSharingAClusterTable) {
  const uint16_t older = 0x5A21, newer = 0x5A22;
  struct Row {
    const char* what;
    std::vector<uint8_t> first, second;
    const char* kept;
  } rows[] = {
      {"two deleted: the later modified wins", WithTimes(ShortEntry("ANEWER     ", 0x10, 9), newer, 0, true),
       WithTimes(ShortEntry("BOLDER     ", 0x10, 9), older, 0, true), "#NEWER"},
      {"two deleted, equal times, other names: the later parsed",
       WithTimes(ShortEntry("AONE       ", 0x10, 9), older, 0, true),
       WithTimes(ShortEntry("ATWO       ", 0x10, 9), older, 0, true), "#TWO"},
      {"live first, deleted after: the live stays", WithTimes(ShortEntry("LIVE       ", 0x10, 9), older, 0),
       WithTimes(ShortEntry("XDEL       ", 0x10, 9), newer, 0, true), "LIVE"},
      {"deleted first, live after: the live stays", WithTimes(ShortEntry("XDEL       ", 0x10, 9), newer, 0, true),
       WithTimes(ShortEntry("LIVE       ", 0x10, 9), older, 0), "LIVE"},
  };
  for (const Row& r : rows) {
    Volume v;
    std::vector<uint8_t> root = r.first;
    Append(root, r.second);
    v.Put(2, root);
    // The folder itself, with one file that must end under the survivor.
    std::vector<uint8_t> dir = Dots(9, 0);
    Append(dir, ShortEntry("INSIDE  TXT", 0x20, 0, 0));
    v.Put(9, dir);
    v.fat.next[9] = kEnd;
    CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
    CFileSystemNode* tree = w.Run({{v.geo.dataStart + 7, 9, 0}});
    auto top = Children(tree);
    ASSERT_EQ(top.size(), 1u) << r.what;
    EXPECT_EQ(top.begin()->first, r.kept) << r.what;
    EXPECT_EQ(Children(top.begin()->second).count("INSIDE.TXT"), 1u) << r.what;
  }
}

TEST(FatRebuild, LongNameSplitAcrossClusterRunsIsCarried) {
  for (int sectorSize : {512, 4096}) {
    Volume v(1, 64, sectorSize);
    const size_t perCluster = static_cast<size_t>(sectorSize) / 32;
    // Cluster 5: dots, filler, then the first two parts of a three-part name;
    // cluster 9 (not next to 5: a second run) starts with the last part and
    // the short entry.
    const std::string name = "a name long enough for three parts.txt";
    std::vector<uint8_t> entries = Named(name, "ANAMEL~1TXT", 0x20, 20, 100);
    ASSERT_EQ(entries.size(), 4u * 32);
    std::vector<uint8_t> c5 = Dots(5, 0);
    for (size_t i = 2; i < perCluster - 2; ++i) {
      std::string n = std::to_string(i);
      n = "F" + std::string(7 - n.size(), '0') + n + "BIN";
      Append(c5, ShortEntry(n.c_str(), 0x20, 0, 0));
    }
    c5.insert(c5.end(), entries.begin(), entries.begin() + 64);
    v.Put(5, c5);
    v.Put(9, std::vector<uint8_t>(entries.begin() + 64, entries.end()));
    v.fat.next[5] = 9;
    v.fat.next[9] = kEnd;
    v.fat.next[20] = kEnd;
    v.Put(2, ShortEntry("SUB        ", 0x10, 5));
    CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
    CFileSystemNode* root = w.Run({{v.geo.dataStart + 3, 5, 0}});
    auto sub = Children(Children(root)["SUB"]);
    EXPECT_EQ(sub.count(name), 1u) << sectorSize;
    EXPECT_EQ(sub.size(), perCluster - 4 + 1) << sectorSize;
  }
}

TEST(FatRebuild, LoopingDirectoryChainEnds) {
  Volume v;
  std::vector<uint8_t> c5 = Dots(5, 0);
  Append(c5, ShortEntry("ONE     TXT", 0x20, 0, 0));
  v.Put(5, c5);
  v.Put(6, ShortEntry("TWO     TXT", 0x20, 0, 0));
  v.Put(8, ShortEntry("THREE   TXT", 0x20, 0, 0));
  v.fat.next[5] = 6;
  v.fat.next[6] = 8;
  v.fat.next[8] = 5;  // back to the first cluster
  v.Put(2, ShortEntry("SUB        ", 0x10, 5));
  CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
  CFileSystemNode* root = w.Run({{v.geo.dataStart + 3, 5, 0}});
  auto sub = Children(Children(root)["SUB"]);
  EXPECT_EQ(sub.size(), 3u);
  // A start naming the looped cluster again finds it visited.
  std::vector<CFileNode*> queue;
  EXPECT_FALSE(w.ProcessPendingBuffers(Children(root)["SUB"], 5, queue, false, true));
}

class ProbeAnalyser : public IRawFileAnalyser {
 public:
  int MatchHeader(const uint8_t* sector, CRawFileInfo*) override {
    ++calls;
    // The whole contract window must be readable; past the sector it is zero.
    for (size_t i = 512; i < 4096; ++i) paddedWithZeros = paddedWithZeros && sector[i] == 0;
    return std::memcmp(sector, "KNOWN", 5) == 0;
  }
  int calls = 0;
  bool paddedWithZeros = true;
};

TEST(FatRebuild, KnownFileStartOffersAnalysersTheirWholeWindow) {
  Volume v;
  std::memset(v.Cluster(40), 0xAB, 512);
  std::memcpy(v.Cluster(40), "KNOWN", 5);
  std::vector<uint8_t> pe(512, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  Put32(&pe[60], 0x40);
  pe[0x40] = 'P';
  pe[0x41] = 'E';
  v.Put(41, pe);
  CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
  auto probe = std::make_unique<ProbeAnalyser>();
  ProbeAnalyser* seen = probe.get();
  std::vector<std::unique_ptr<IRawFileAnalyser>> list;
  list.push_back(std::move(probe));
  w.SetRawAnalysers(std::move(list));

  EXPECT_TRUE(w.IsKnownFileStart(40));
  EXPECT_TRUE(w.IsKnownFileStart(41));
  EXPECT_FALSE(w.IsKnownFileStart(42));
  EXPECT_TRUE(seen->paddedWithZeros);
  EXPECT_EQ(seen->calls, 3);
  const int reads = v.device.reads;
  EXPECT_TRUE(w.IsKnownFileStart(70000));  // no read needed
  EXPECT_EQ(v.device.reads, reads);
}

TEST(FatRebuild, NumberedFoldersCountPerWorker) {
  Volume v;
  // Cluster 7 holds entries but no dots: a directory cluster that is not a
  // folder's first, and no chain reaches it.
  std::vector<uint8_t> c7 = ShortEntry("LOST    TXT", 0x20, 30, 100);
  v.Put(7, c7);
  v.fat.next[30] = kEnd;
  for (int round = 0; round < 2; ++round) {
    CFatCompleteSearchWorker w(&v.device, &v.fat, v.geo);
    CFileSystemNode* root = w.Run({{v.geo.dataStart + 5, -1, -1}});
    auto lost = Children(root);
    ASSERT_EQ(lost.count("Other lost files"), 1u);
    EXPECT_EQ(lost["Other lost files"]->GetId(), CFatCompleteSearchWorker::kLostFilesId);
    auto dirs = Children(lost["Other lost files"]);
    ASSERT_EQ(dirs.count("DIR0"), 1u) << round;
    EXPECT_EQ(dirs["DIR0"]->GetProperties()->IsDeleted(), CFatCompleteSearchWorker::kMadeUp);
    auto files = Children(dirs["DIR0"]);
    ASSERT_EQ(files.count("LOST.TXT"), 1u);
    EXPECT_EQ(RunsOf(files["LOST.TXT"]), (std::vector<DataRun>{{28, 1}}));
  }
}

}  // namespace
