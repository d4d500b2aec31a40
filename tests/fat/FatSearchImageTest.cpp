// The FAT complete search over one disk made by sfdisk, mkfs.fat and mtools
// (FAT32, FAT12 and FAT16 partitions with live, deleted and fragmented
// files), judged by sleuthkit (mmls, fsstat, fls) and testdisk. Damaged
// copies of the disk hold the cases a lost partition shows: the MBR zeroed,
// then the FAT32 main boot sector, then the FAT16 boot sector. vtctl recover
// runs end to end; the search itself runs in process for its edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "CClusterUseBitMap.h"
#include "CFATFileProperties.h"
#include "CFATSearchedPartitionInfo.h"
#include "CFatCompleteSearch.h"
#include "CFileDataReader.h"
#include "CFoundFileStore.h"
#include "CMemoryScanStream.h"
#include "CRawFileInfo.h"
#include "FatTestData.h"
#include "FaultInjectingDevice.h"
#include "IDataRunList.h"
#include "IFileProperties.h"
#include "ImageFileDevice.h"
#include "LoopDevice.h"
#include "RecordingTreeBuilder.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"
#include "Testdisk.h"

namespace {

constexpr uint64_t kFat32Start = 2048, kFat12Start = 83968, kFat16Start = 92160;

struct Partition {
  int number = 0;
  std::string type;
  uint64_t start = 0, sectors = 0, spc = 0, clusterStart = 0, flags = 0, points = 0;
};

struct Entry {
  bool dir = false;
  bool deleted = false;
  bool operator==(const Entry& o) const { return dir == o.dir && deleted == o.deleted; }
};

struct Listing {
  int exitCode = -1;
  std::string text;
  std::vector<Partition> partitions;
  std::map<int, std::map<std::string, Entry>> trees;
  const Partition* Chosen(uint64_t start) const {
    for (const Partition& p : partitions)
      if (p.number > 0 && p.start == start) return &p;
    return nullptr;
  }
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
    out.push_back(line.substr(from, tab - from));
  out.push_back(line.substr(from));
  return out;
}

// The names compared with fls's: the recycled file under the name its
// information file gives it, a deleted 8.3 name from its second character.
std::string Comparable(const std::string& path, bool deleted) {
  return fattest::ComparableName(path == fattest::kRecycledPath ? fattest::kRestoredPath : path, deleted);
}

std::string WithoutFirstNameCharacter(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t at = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, at) + path.substr(std::min(path.size(), at + 1));
}

Listing Parse(const testutil::CommandResult& r) {
  Listing l;
  l.exitCode = r.exitCode;
  l.text = r.output;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = Split(line);
    if (f[0] == "partition" && f.size() >= 10) {
      Partition p;
      p.number = std::stoi(f[1]);
      p.type = f[2];
      p.start = std::stoull(f[3]);
      p.sectors = std::stoull(f[4]);
      p.spc = std::stoull(f[5]);
      p.clusterStart = std::stoull(f[6]);
      p.flags = std::stoull(f[7]);
      p.points = std::stoull(f[8]);
      l.partitions.push_back(p);
    } else if (f[0] == "node" && f.size() >= 7) {
      Entry e;
      e.dir = f[2] == "d";
      e.deleted = f[3] == "deleted";
      l.trees[std::stoi(f[1])][Comparable(f[6], e.deleted)] = e;
    }
  }
  return l;
}

// `fls -r -p` of one partition, as the comparable paths.
std::map<std::string, Entry> ListWithFls(const std::string& image, uint64_t start, int sectorSize = 512) {
  std::map<std::string, Entry> out;
  const auto r = testutil::Run({"fls", "-r", "-p", "-b", std::to_string(sectorSize), "-o", std::to_string(start), image});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find(":\t");
    if (tab == std::string::npos || line.compare(0, 3, "v/v") == 0 || line.compare(0, 3, "V/V") == 0) continue;
    const std::string path = line.substr(tab + 2);
    if (path.find("(Volume Label Entry)") != std::string::npos) continue;
    Entry e;
    e.dir = line[0] == 'd';
    e.deleted = line.find(" * ") != std::string::npos && line.find(" * ") < tab;
    out[Comparable(path, e.deleted)] = e;
  }
  return out;
}

// fsstat's type, cluster area start (relative: where cluster 2 lies) and
// sectors per cluster.
struct Fsstat {
  std::string type;
  uint64_t dataStart = 0;
  uint64_t spc = 0;
};

Fsstat RunFsstat(const std::string& image, uint64_t start, int sectorSize = 512) {
  const auto r =
      testutil::Run({"fsstat", "-b", std::to_string(sectorSize), "-o", std::to_string(start), image});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  Fsstat f;
  std::istringstream in(r.output);
  uint64_t sector = 0, cluster = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("File System Type: ", 0) == 0) f.type = line.substr(18);
    if (line.rfind("** Cluster Area: ", 0) == 0) f.dataStart = std::stoull(line.substr(17));
    if (line.rfind("Sector Size: ", 0) == 0) sector = std::stoull(line.substr(13));
    if (line.rfind("Cluster Size: ", 0) == 0) cluster = std::stoull(line.substr(14));
  }
  f.spc = sector ? cluster / sector : 0;
  return f;
}

std::string Describe(const std::map<std::string, Entry>& a, const std::map<std::string, Entry>& b) {
  std::string out;
  for (const auto& [path, e] : a)
    if (!b.count(path) || !(b.at(path) == e)) out += "  only ours: " + path + (e.deleted ? " (deleted)" : "") + "\n";
  for (const auto& [path, e] : b)
    if (!a.count(path) || !(a.at(path) == e)) out += "  only fls: " + path + (e.deleted ? " (deleted)" : "") + "\n";
  return out;
}

size_t DeletedFiles(const std::map<std::string, Entry>& m) {
  return static_cast<size_t>(std::count_if(m.begin(), m.end(), [](const auto& kv) {
    return kv.second.deleted && !kv.second.dir;
  }));
}

class FatSearchImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = testutil::SharedFixture("make_fat_search_disk.sh", {}, "", s_error);
    if (s_dir.empty()) return;
    s_work = std::make_unique<testutil::TempDir>("fatsearch");
    // The damaged copies, each on the one before.
    const std::string intact = s_dir + "/disk.img";
    const struct {
      const char* name;
      uint64_t zeroAt;
    } variants[] = {{"a.img", 0}, {"b.img", kFat32Start}, {"c.img", kFat16Start}};
    std::string from = intact;
    for (const auto& v : variants) {
      const std::string to = s_work->path() + "/" + v.name;
      testutil::Run({"cp", "--sparse=always", from, to});
      testutil::Run({"dd", "if=/dev/zero", "of=" + to, "bs=512", "count=1", "seek=" + std::to_string(v.zeroAt),
                     "conv=notrunc", "status=none"});
      from = to;
    }
  }
  static void TearDownTestSuite() {
    s_listings.clear();
    s_work.reset();
  }
  void SetUp() override {
    VT_REQUIRE_TOOL("fls");
    VT_REQUIRE_TOOL("mkfs.fat");
    VT_REQUIRE_TOOL("mcopy");
    VT_REQUIRE_TOOL("sfdisk");
    ASSERT_FALSE(s_dir.empty()) << s_error;
  }
  static std::string Intact() { return s_dir + "/disk.img"; }
  static std::string Variant(const char* name) { return s_work->path() + "/" + name; }

  static testutil::CommandResult Recover(const std::string& disks, const std::vector<std::string>& args,
                                         const std::string& programDir = std::string()) {
    const std::string dir = programDir.empty() ? s_work->path() : programDir;
    std::string line = "VANTOREL_DISKS='" + disks + "' VANTOREL_PROGRAM_DIR='" + dir + "' '" +
                       VANTOREL_BIN_DIR + "/vtctl' recover 0 --engines fat";
    for (const std::string& a : args) line += " '" + a + "'";
    return testutil::Shell(line + " 2>/dev/null");
  }
  // The listing of vtctl recover over an image, made once per image.
  static const Listing& ListingOf(const std::string& image) {
    auto it = s_listings.find(image);
    if (it == s_listings.end()) it = s_listings.emplace(image, Parse(Recover(image, {}))).first;
    return it->second;
  }

  static std::string s_dir, s_error;
  static std::unique_ptr<testutil::TempDir> s_work;
  static std::map<std::string, Listing> s_listings;
};

std::string FatSearchImages::s_dir, FatSearchImages::s_error;
std::unique_ptr<testutil::TempDir> FatSearchImages::s_work;
std::map<std::string, Listing> FatSearchImages::s_listings;

TEST_F(FatSearchImages, IntactDiskGivesEveryPartitionWithItsTree) {
  const Listing& l = ListingOf(Intact());
  ASSERT_EQ(l.exitCode, 0) << l.text.substr(0, 2000);
  for (uint64_t start : {kFat32Start, kFat12Start, kFat16Start}) {
    SCOPED_TRACE("partition at " + std::to_string(start));
    const Partition* p = l.Chosen(start);
    ASSERT_NE(p, nullptr) << l.text.substr(0, 2000);
    const Fsstat f = RunFsstat(Intact(), start);
    EXPECT_EQ(p->type, f.type);
    EXPECT_EQ(p->spc, f.spc);
    EXPECT_EQ(p->clusterStart, start + f.dataStart);
    const auto fls = ListWithFls(Intact(), start);
    const auto& ours = l.trees.at(p->number);
    EXPECT_EQ(ours, fls) << Describe(ours, fls);
    EXPECT_EQ(DeletedFiles(ours), DeletedFiles(fls));
    EXPECT_GE(DeletedFiles(ours), 3u);
  }
  // The main and backup boot sectors and both FATs of the FAT32 partition.
  EXPECT_EQ(l.Chosen(kFat32Start)->points, 100u);
  // Every start mmls lists is found.
  const auto mmls = testutil::Run({"mmls", Intact()});
  for (uint64_t start : {kFat32Start, kFat12Start, kFat16Start})
    EXPECT_NE(mmls.output.find(std::to_string(start)), std::string::npos);
}

TEST_F(FatSearchImages, DeletedFilesComeBackWhole) {
  const Listing& l = ListingOf(Intact());
  std::istringstream list(testutil::ReadFile(s_dir + "/deleted.txt"));
  std::vector<std::pair<std::string, std::string>> deleted;
  for (std::string line; std::getline(list, line);) {
    const size_t tab = line.find('\t');
    deleted.emplace_back(line.substr(1, tab - 1), line.substr(tab + 1));
  }
  ASSERT_EQ(deleted.size(), 3u);
  for (uint64_t start : {kFat32Start, kFat12Start, kFat16Start}) {
    const Partition* p = l.Chosen(start);
    ASSERT_NE(p, nullptr);
    for (const auto& [path, payload] : deleted) {
      SCOPED_TRACE(std::to_string(start) + " " + path);
      // The name as listed (a deleted 8.3 name lost its first character).
      std::string listed;
      const auto& tree = l.trees.at(p->number);
      for (std::istringstream in(l.text); std::getline(in, listed);) {
        const std::vector<std::string> f = Split(listed);
        if (f[0] == "node" && std::stoi(f[1]) == p->number && f[3] == "deleted" &&
            (Comparable(f[6], true) == path || Comparable(f[6], true) == Comparable(path, true) ||
             Comparable(f[6], true) == WithoutFirstNameCharacter(path)))
          break;
        listed.clear();
      }
      ASSERT_FALSE(listed.empty()) << "not listed";
      ASSERT_TRUE(tree.count(Comparable(Split(listed)[6], true)));
      const std::string out = s_work->path() + "/out-" + std::to_string(start) + "-" + payload;
      const auto r = Recover(Intact(), {"--extract", std::to_string(p->number) + ":" + Split(listed)[6], out});
      ASSERT_EQ(r.exitCode, 0) << r.output;
      EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(s_dir + "/" + payload));
    }
  }
}

TEST_F(FatSearchImages, WithoutTheMbrTheStartsAreTestdisks) {
  VT_REQUIRE_TOOL("testdisk");
  const Listing& l = ListingOf(Variant("a.img"));
  ASSERT_EQ(l.exitCode, 0);
  std::vector<uint64_t> ours;
  for (const Partition& p : l.partitions)
    if (p.number > 0) ours.push_back(p.start);
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ(ours, testutil::TestdiskFoundStarts(Variant("a.img")));
  EXPECT_EQ(ours, (std::vector<uint64_t>{kFat32Start, kFat12Start, kFat16Start}));
}

TEST_F(FatSearchImages, Fat32WithoutItsMainBootSectorIsFoundThroughTheBackup) {
  const Partition* intact = ListingOf(Intact()).Chosen(kFat32Start);
  const Listing& l = ListingOf(Variant("b.img"));
  ASSERT_NE(intact, nullptr);
  const Partition* p = l.Chosen(kFat32Start);
  ASSERT_NE(p, nullptr) << l.text.substr(0, 2000);
  EXPECT_EQ(p->type, "FAT32");
  EXPECT_EQ(p->clusterStart, intact->clusterStart);
  EXPECT_EQ(p->sectors, intact->sectors);
  EXPECT_EQ(p->spc, intact->spc);
  const auto fls = ListWithFls(Intact(), kFat32Start);
  EXPECT_EQ(l.trees.at(p->number), fls) << Describe(l.trees.at(p->number), fls);
}

TEST_F(FatSearchImages, Fat16WithoutItsBootSectorIsInferredFromItsFolders) {
  const Listing& l = ListingOf(Variant("c.img"));
  const Fsstat f = RunFsstat(Intact(), kFat16Start);
  const Partition* found = nullptr;
  for (const Partition& p : l.partitions)
    if (p.number > 0 && p.clusterStart == kFat16Start + f.dataStart) found = &p;
  ASSERT_NE(found, nullptr) << l.text.substr(0, 3000);
  EXPECT_EQ(found->spc, f.spc);
  EXPECT_EQ(found->points, 20u);
  // Every folder below the root with its files; what lay in the root may
  // sit under the root or under "Other lost files".
  const auto& ours = l.trees.at(found->number);
  for (const auto& [path, e] : ListWithFls(Intact(), kFat16Start)) {
    const size_t slash = path.find('/');
    if (slash == std::string::npos) continue;
    bool seen = false;
    for (const auto& [mine, m] : ours) {
      (void)m;
      const size_t at = mine.find(path.substr(slash));
      seen = seen || (at != std::string::npos && at + path.size() - slash == mine.size());
    }
    EXPECT_TRUE(seen) << path;
  }
  // The two others keep their boot sectors.
  EXPECT_NE(l.Chosen(kFat32Start), nullptr);
  EXPECT_NE(l.Chosen(kFat12Start), nullptr);
}

TEST_F(FatSearchImages, FourKiBSectors) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  testutil::LoopDevice loop(s_dir + "/disk4k.img", 4096, testutil::LoopDevice::kReadOnly);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const Listing l = Parse(Recover(loop.Path(), {}));
  const Partition* p = l.Chosen(256);
  ASSERT_NE(p, nullptr) << l.text.substr(0, 2000);
  const Fsstat f = RunFsstat(s_dir + "/disk4k.img", 256, 4096);
  EXPECT_EQ(p->type, "FAT32");
  EXPECT_EQ(p->spc, f.spc);
  EXPECT_EQ(p->clusterStart, 256 + f.dataStart);
  const auto fls = ListWithFls(s_dir + "/disk4k.img", 256, 4096);
  EXPECT_EQ(l.trees.at(p->number), fls) << Describe(l.trees.at(p->number), fls);
}

TEST_F(FatSearchImages, BrokenCarvingScriptsChangeNothing) {
  VT_REQUIRE_ROOT();  // root reads any file: only a dangling link and a FIFO stay unreadable
  testutil::TempDir plain("noscripts"), scripted("scripts");
  const std::string folder = scripted.path() + "/CustomFileScript";
  ASSERT_EQ(testutil::Run({"mkdir", folder}).exitCode, 0);
  // Malformed: no FILEINFO line, and a key of five bytes.
  testutil::WriteFile(folder + "/malformed.fhs", "REMARK broken\r\nFILESIGN=BYTE 0x12,0x34,0x56,0x78,0x9A\r\n");
  ASSERT_EQ(testutil::Run({"ln", "-s", folder + "/nowhere", folder + "/dangling.fhs"}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfifo", folder + "/pipe.fhs"}).exitCode, 0);
  const auto without = Recover(Intact(), {"--complete"}, plain.path());
  const auto with = Recover(Intact(), {"--complete"}, scripted.path());
  ASSERT_EQ(without.exitCode, 0);
  EXPECT_EQ(with.exitCode, 0);
  EXPECT_EQ(with.output, without.output);
  // Three partitions were rebuilt, each asking for the analysers: the
  // folder was read once, and each script is named once.
  ASSERT_GE(Parse(with).partitions.size(), 3u);
  const std::string log = testutil::ReadFile(scripted.path() + "/RunLog.log");
  for (const char* name : {"malformed.fhs", "dangling.fhs", "pipe.fhs"}) {
    size_t count = 0;
    for (size_t at = log.find(name); at != std::string::npos; at = log.find(name, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << name << "\n" << log;
  }
}

// ---- the search in process ----

struct InProcess {
  // `keepNodes`: the builder keeps the nodes the scan hands over.
  explicit InProcess(IStorageDevice* device, bool keepNodes = false) : builder(keepNodes) {
    builder.kind = ETreeKind::FAT;
    search.SetTreeBuilder(&builder);
    search.SetDevice(device);
    search.StartSearch();
  }
  void ScanAll(IStorageDevice* device) {
    const uint64_t n = device->GetSectorCount();
    for (uint64_t s = 0; s < n; s += 8192) search.AnalyzeBlock(s, std::min<uint64_t>(8192, n - s));
    search.EndSearch();
  }
  std::vector<CFATSearchedPartitionInfo*> Partitions() {
    std::vector<CSearchedPartitionInfo*> all;
    search.GetPartitions(all);
    std::vector<CFATSearchedPartitionInfo*> out;
    for (CSearchedPartitionInfo* p : all) out.push_back(static_cast<CFATSearchedPartitionInfo*>(p));
    return out;
  }
  testutil::RecordingTreeBuilder builder;
  CFatCompleteSearch search;
};

CFATSearchedPartitionInfo* At(const std::vector<CFATSearchedPartitionInfo*>& all, uint64_t dataStart) {
  for (CFATSearchedPartitionInfo* p : all)
    if (p->GetClusterStartSector() == dataStart) return p;
  return nullptr;
}

TEST_F(FatSearchImages, EdgeCases) {
  ImageFileDevice intact(Intact());
  ImageFileDevice noFat16Boot(Variant("c.img"));
  const uint64_t fat32Data = kFat32Start + RunFsstat(Intact(), kFat32Start).dataStart;
  const uint64_t fat16Data = kFat16Start + RunFsstat(Intact(), kFat16Start).dataStart;
  const struct {
    const char* name;
    std::function<void()> check;
  } cases[] = {
      {"a FAT32 main boot sector yields two candidates; the one without hits is dropped",
       [&] {
         InProcess one(&intact);
         one.search.AnalyzeBlock(kFat32Start, 1);
         EXPECT_EQ(one.search.GetPartitionCount(), 2u);
         InProcess all(&intact);
         all.ScanAll(&intact);
         const auto found = all.Partitions();
         EXPECT_NE(At(found, fat32Data), nullptr);
         EXPECT_EQ(At(found, fat32Data - 6), nullptr);
       }},
      {"an inferred partition scores 10 + 10",
       [&] {
         InProcess s(&noFat16Boot);
         s.ScanAll(&noFat16Boot);
         CFATSearchedPartitionInfo* p = At(s.Partitions(), fat16Data);
         ASSERT_NE(p, nullptr);
         EXPECT_EQ(p->GetFlags() & 0x0F, 0u);
         EXPECT_NE(p->GetFlags() & CFatCompleteSearch::kFlagInferred, 0u);
         EXPECT_EQ(p->GetPoints(), 20u);
         EXPECT_EQ(p->GetType(), EFileSystemType::FAT16);
       }},
      {"both FATs and both boot sectors score 100",
       [&] {
         InProcess s(&intact);
         s.ScanAll(&intact);
         CFATSearchedPartitionInfo* p = At(s.Partitions(), fat32Data);
         ASSERT_NE(p, nullptr);
         EXPECT_EQ(p->GetFlags() & 0x3CC, 0x3CCu);
         EXPECT_EQ(p->GetPoints(), 100u);
       }},
      {"a repeated cluster rejects a directory sector",
       [&] {
         // The first sector of the FAT16 root: entries, no dot entries.
         const uint64_t rootSector = fat16Data - 32;
         std::vector<uint8_t> sector(512);
         ASSERT_TRUE(intact.ReadSectors(sector.data(), rootSector, 1));
         CFatFolderAnalyzer a(nullptr, nullptr);
         a.Analyze(sector.data(), 512);
         ASSERT_EQ(a.GetState(), CFatFolderAnalyzer::kEntries);
         // The two first live short entries with a cluster: the second takes
         // the first's.
         std::vector<size_t> live;
         for (size_t at = 0; at < 512 && live.size() < 2; at += 32) {
           const uint8_t* e = &sector[at];
           if (e[0] != 0xE5 && e[11] != 0x0F && !(e[11] & 0x08) && (e[26] | e[27])) live.push_back(at);
         }
         ASSERT_EQ(live.size(), 2u);
         std::copy(&sector[live[0] + 26], &sector[live[0] + 28], &sector[live[1] + 26]);
         std::copy(&sector[live[0] + 20], &sector[live[0] + 22], &sector[live[1] + 20]);
         a.Analyze(sector.data(), 512);
         EXPECT_EQ(a.GetState(), CFatFolderAnalyzer::kNothing);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.check();
  }
}

// A node the scan hands over reads its file's bytes through the run
// LoadNodeDataRuns gives it: cluster numbers count from the data start, so
// the run starts at the first cluster - 2.
TEST_F(FatSearchImages, FoundNodesReadTheirFilesBytes) {
  ImageFileDevice image(Intact());
  InProcess s(&image, true);
  // The FAT32 partition alone: every node handed over is one of its files.
  for (uint64_t at = kFat32Start; at < kFat12Start; at += 8192)
    s.search.AnalyzeBlock(at, std::min<uint64_t>(8192, kFat12Start - at));
  CSearchedPartitionInfo* fat32 = nullptr;
  for (CFATSearchedPartitionInfo* p : s.Partitions())
    if (p->GetStartSector() == kFat32Start) fat32 = p;
  ASSERT_NE(fat32, nullptr);
  const struct {
    const char* name;
    const char* payload;
  } cases[] = {{"small1.bin", "small.bin"}, {"SHORT.TXT", "short.bin"}, {"inner.bin", "inner.bin"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CFileNode* node = nullptr;
    for (CFileNode* n : s.builder.nodes)
      if (n->GetProperties() && !n->GetProperties()->IsDeleted() &&
          std::string(n->GetProperties()->GetName()) == c.name)
        node = n;
    ASSERT_NE(node, nullptr);
    const auto* props = static_cast<const CFATFileProperties*>(node->GetProperties());
    ASSERT_EQ(s.search.LoadNodeDataRuns(node, fat32), 1);
    std::unique_ptr<IDataRunList> runs(props->GetDataRunList());
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->Runs().size(), 1u);
    EXPECT_EQ(runs->Runs()[0].start, props->GetFirstCluster() - 2u);
    const std::string expected = testutil::ReadFile(s_dir + "/" + c.payload);
    CFileDataReader reader;
    ASSERT_TRUE(
        reader.OpenAt(&image, node, fat32->GetClusterStartSector(), static_cast<int>(fat32->GetSectorsPerCluster())));
    std::string bytes(expected.size() + 1, '\0');
    uint32_t got = 0;
    ASSERT_TRUE(reader.Read(0, &bytes[0], static_cast<uint32_t>(bytes.size()), got));
    bytes.resize(got);
    EXPECT_TRUE(bytes == expected) << got << " bytes read";
  }
}

// Without its boot sector (FAT12 keeps no backup), a FAT12 volume is found
// from the "." and ".." entries of its folders, as FAT12 with the data start
// and cluster size fsstat gives for the intact copy.
TEST_F(FatSearchImages, Fat12WithoutItsBootSectorIsInferredFromItsFolders) {
  const std::string volume = s_work->path() + "/fat12-no-boot.img";
  ASSERT_EQ(testutil::Run({"dd", "if=" + Intact(), "of=" + volume, "bs=512", "skip=" + std::to_string(kFat12Start),
                           "count=8192", "status=none"})
                .exitCode,
            0);
  ASSERT_EQ(testutil::Run({"dd", "if=/dev/zero", "of=" + volume, "bs=512", "count=1", "conv=notrunc", "status=none"})
                .exitCode,
            0);
  const Fsstat f = RunFsstat(Intact(), kFat12Start);
  ASSERT_EQ(f.type, "FAT12");
  ImageFileDevice device(volume);
  InProcess s(&device);
  s.ScanAll(&device);
  const auto found = s.Partitions();
  CFATSearchedPartitionInfo* p = At(found, f.dataStart);
  ASSERT_NE(p, nullptr) << found.size() << " partitions";
  EXPECT_EQ(p->GetType(), EFileSystemType::FAT12);
  EXPECT_EQ(p->GetSectorsPerCluster(), f.spc);
  EXPECT_NE(p->GetFlags() & CFatCompleteSearch::kFlagInferred, 0u);
  EXPECT_EQ(p->GetFlags() & 0x0F, 0u);
}

// Records past the partition set's cap are dropped, counted, and noted on
// the builder once.
TEST_F(FatSearchImages, PartitionsPastTheCapAreNoted) {
  struct CapSpy : testutil::RecordingTreeBuilder {
    CapSpy() : RecordingTreeBuilder(false) {}
    void NoteCap(const char* name, uint64_t dropped) override {
      names.push_back(name);
      noted += dropped;
    }
    std::vector<std::string> names;
    uint64_t noted = 0;
  } builder;
  builder.kind = ETreeKind::FAT;
  ImageFileDevice image(Intact());
  CFatCompleteSearch search;
  search.SetTreeBuilder(&builder);
  search.SetDevice(&image);
  search.SetPartitionCap(1);
  search.StartSearch();
  // The FAT32 main boot sector proposes two records: the second is dropped.
  search.AnalyzeBlock(kFat32Start, 1);
  EXPECT_EQ(search.GetPartitionCount(), 1u);
  EXPECT_EQ(search.GetDroppedPartitions(), 1u);
  search.EndSearch();
  std::vector<CSearchedPartitionInfo*> all;
  search.GetPartitions(all);
  search.GetPartitions(all);
  EXPECT_EQ(builder.names, std::vector<std::string>{CFatCompleteSearch::kPartitionCapName});
  EXPECT_EQ(builder.noted, 1u);
}

TEST_F(FatSearchImages, BadSectorsInsideABlockAddNoPartition) {
  ImageFileDevice image(Intact());
  InProcess clean(&image);
  clean.ScanAll(&image);
  std::set<std::pair<uint64_t, uint32_t>> known;
  for (CFATSearchedPartitionInfo* p : clean.Partitions())
    known.insert({p->GetClusterStartSector(), p->GetSectorsPerCluster()});

  auto plan = std::make_shared<testutil::FaultPlan>();
  // Boot sectors, the first FAT sector and sectors of the FAT32 data area.
  for (uint64_t s : {kFat32Start + 6, kFat12Start, kFat16Start + 1, kFat32Start + 1300, kFat32Start + 1301})
    plan->SetBadSector(s);
  testutil::FaultInjectingDevice faulty(&image, plan);
  InProcess s(&faulty);
  s.ScanAll(&faulty);
  EXPECT_GT(plan->FailedReads(), 0);
  for (CFATSearchedPartitionInfo* p : s.Partitions())
    EXPECT_TRUE(known.count({p->GetClusterStartSector(), p->GetSectorsPerCluster()}))
        << "new partition at " << p->GetStartSector();
}

TEST_F(FatSearchImages, SavedStateGivesTheSameDirectoryStarts) {
  ImageFileDevice image(Intact());
  InProcess s(&image);
  s.ScanAll(&image);
  ASSERT_GT(s.search.GetDirectoryStarts().size(), 10u);
  CMemoryScanStream stream;
  s.search.SaveSearchState(&stream);
  CFatCompleteSearch fresh;
  fresh.LoadSearchState(&stream);
  const auto& a = s.search.GetDirectoryStarts();
  const auto& b = fresh.GetDirectoryStarts();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].sector, b[i].sector);
    EXPECT_EQ(a[i].dotCluster, b[i].dotCluster);
    EXPECT_EQ(a[i].dotDotCluster, b[i].dotDotCluster);
  }
}

TEST_F(FatSearchImages, LostFilesGetAMapOfTheLiveFilesClusters) {
  ImageFileDevice image(Intact());
  testutil::PartitionTreeKeeper builder;
  builder.kind = ETreeKind::FAT;
  CFatCompleteSearch search;
  search.SetTreeBuilder(&builder);
  search.SetDevice(&image);
  search.StartSearch();
  const uint64_t n = image.GetSectorCount();
  for (uint64_t s = 0; s < n; s += 8192) search.AnalyzeBlock(s, std::min<uint64_t>(8192, n - s));
  search.EndSearch();
  CFoundFileStore store;
  store.AddFile(new CRawFileInfo);
  search.SetFoundFileStore(&store);
  std::vector<CSearchedPartitionInfo*> all;
  search.GetPartitions(all);
  CFATSearchedPartitionInfo* fat12 = nullptr;
  for (CSearchedPartitionInfo* p : all)
    if (p->GetStartSector() == kFat12Start) fat12 = static_cast<CFATSearchedPartitionInfo*>(p);
  ASSERT_NE(fat12, nullptr);
  std::vector<CSearchedPartitionInfo*> one{fat12};
  search.BuildPartitionTrees(one);
  ASSERT_FALSE(builder.Tree().empty());

  // The clusters the live files of the tree hold.
  std::set<uint64_t> live;
  for (CFileNode* node : builder.Tree()) {
    const IFileProperties* p = node->GetProperties();
    if (!p || p->IsDeleted() || (p->GetAttributes() & 0x10)) continue;
    std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
    if (!runs) continue;
    for (const DataRun& r : runs->Runs())
      for (uint64_t c = r.start; c < r.start + r.length; ++c) live.insert(c);
  }
  ASSERT_GT(live.size(), 10u);
  int calls = 0;
  RegisterRawFilePlacer([&](IStorageDevice*, CFoundFileStore*, IDirecotryTreeBuilder*, CSearchedPartitionInfo* p,
                            IIsClusterUsed* map) {
    ++calls;
    EXPECT_EQ(p, fat12);
    const uint64_t spc = fat12->GetSectorsPerCluster();
    for (uint64_t c = 0; c < fat12->GetClusterCount(); ++c)
      EXPECT_EQ(map->IsClusterUsed(fat12->GetClusterStartSector() + c * spc), live.count(c) == 1) << c;
    return 1;
  });
  search.BuildLostFiles(one);
  RegisterRawFilePlacer(nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
