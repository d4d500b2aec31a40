// vtctl recover over disks whose NTFS partitions were lost: the partition
// table zeroed, then boot sectors and the first $MFT record. The partitions
// found and their trees are checked against sleuthkit (mmls, fsstat, fls)
// on the intact disk, the starts against testdisk, the bytes of deleted
// files against what icat reads, and the scanned images keep their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CClusterUseBitMap.h"
#include "CCompleteRecoveryController.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "CMemoryScanStream.h"
#include "CNTFSSearchController.h"
#include "CNodeTree.h"
#include "CRawFileInfo.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "INodeFilter.h"
#include "IRecoveryResultSink.h"
#include "ImageFileDevice.h"
#include "LoopDevice.h"
#include "RealVolumes.h"
#include "RecordingTreeBuilder.h"
#include "RecoveryEngines.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"
#include "Testdisk.h"
#include "VtctlRecover.h"

namespace {

struct ListedPartition {
  int number = 0;
  uint64_t start = 0, sectors = 0;
  uint32_t sectorsPerCluster = 0;
};

struct Listing {
  std::vector<ListedPartition> partitions;
  // tree number -> "path|deleted" entries
  std::map<int, std::set<std::string>> trees;
  std::map<int, std::map<std::string, int64_t>> ids;
  int exitCode = -1;
  std::string err;

  const ListedPartition* ChosenAt(uint64_t start) const {
    for (const ListedPartition& p : partitions)
      if (p.number > 0 && p.start == start) return &p;
    return nullptr;
  }
};

class NTFSCompleteSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testutil::IsRoot() || !testutil::HaveTool("mkntfs") || !testutil::HaveTool("ntfs-3g")) return;
    std::string error;
    s_folder = testutil::SharedFixture("make-ntfs-search-disk.sh", {}, "", error);
    s_error = error;
  }

  void SetUp() override {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkntfs");
    VT_REQUIRE_TOOL("fls");
    ASSERT_FALSE(s_folder.empty()) << s_error;
  }

  // A copy of the intact disk with `zeroed` sectors (first, count) cleared.
  std::string Variant(const std::string& name, const std::vector<std::pair<uint64_t, uint64_t>>& zeroed,
                      const std::string& from = "disk.img", int sectorSize = 512) {
    const std::string out = m_dir.file(name);
    EXPECT_EQ(testutil::Run({"cp", "--sparse=always", s_folder + "/" + from, out}).exitCode, 0);
    for (const auto& [first, count] : zeroed)
      EXPECT_EQ(testutil::Run({"dd", "if=/dev/zero", "of=" + out, "bs=" + std::to_string(sectorSize),
                               "seek=" + std::to_string(first), "count=" + std::to_string(count), "conv=notrunc",
                               "status=none"})
                    .exitCode,
                0);
    return out;
  }

  Listing Recover(const std::string& disks, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"0", "--engines", "ntfs"};
    args.insert(args.end(), extra.begin(), extra.end());
    const testutil::RecoverOutcome r = testutil::RunVtctlRecover(m_dir, disks, args);
    Listing l;
    l.exitCode = r.exitCode;
    l.err = r.err;
    for (const std::vector<std::string>& f : r.Records()) {
      if (f.size() >= 6 && f[0] == "partition") {
        ListedPartition p;
        p.number = std::stoi(f[1]);
        p.start = std::stoull(f[3]);
        p.sectors = std::stoull(f[4]);
        p.sectorsPerCluster = static_cast<uint32_t>(std::stoul(f[5]));
        l.partitions.push_back(p);
      } else if (f.size() >= 7 && f[0] == "node") {
        const int tree = std::stoi(f[1]);
        l.trees[tree].insert(f[6] + (f[3] == "deleted" ? "|deleted" : ""));
        l.ids[tree][f[6]] = std::stoll(f[5]);
      }
    }
    return l;
  }

  // fls -r -p of the intact partition at `start`, without the metadata
  // files (records 0 to 23 and $Extend), named streams and $OrphanFiles;
  // recycled data files carry the name their information file holds.
  static std::set<std::string> FlsTree(const std::string& image, uint64_t start,
                                       const std::string& sectorSize = "512") {
    const testutil::CommandResult r =
        testutil::Run({"fls", "-r", "-p", "-b", sectorSize, "-o", std::to_string(start), image});
    std::set<std::string> out;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      const std::string head = line.substr(0, tab), path = line.substr(tab + 1);
      const bool deleted = head.find('*') != std::string::npos;
      const size_t number = head.find_first_of("0123456789", 4);
      if (number == std::string::npos) continue;
      const long record = std::stol(head.substr(number));
      if (record < 24 || path.rfind("$Extend", 0) == 0 || path.rfind("$OrphanFiles", 0) == 0 ||
          path.find(':') != std::string::npos)
        continue;
      std::string p = path;
      const size_t r = p.find("/$RABC123.txt");
      if (r != std::string::npos) p = p.substr(0, r) + "/report.txt";
      out.insert(p + (deleted ? "|deleted" : ""));
    }
    return out;
  }

  static std::string Sha256(const std::string& path) { return testutil::Run({"sha256sum", path}).output.substr(0, 64); }

  testutil::TempDir m_dir{"ntfs-search"};
  static std::string s_folder;
  static std::string s_error;
};

std::string NTFSCompleteSearch::s_folder;
std::string NTFSCompleteSearch::s_error;

constexpr uint64_t kFirst = 2048, kSecond = 34816;
// Boot sector totals: one less than the partitions' 32768 sectors.
constexpr uint64_t kTotal = 32767;

std::string Describe(const std::set<std::string>& expected, const std::set<std::string>& got) {
  std::string s;
  for (const std::string& e : expected)
    if (!got.count(e)) s += "  missing " + e + "\n";
  for (const std::string& g : got)
    if (!expected.count(g) && g.rfind("Other lost files", 0) != 0) s += "  extra " + g + "\n";
  return s;
}

// The variants of the fixture disk: the MBR zeroed (a), also the first
// partition's boot sector (b), both of its boot sectors (c), and also its
// $MFT record 0 (d, 4 KiB clusters: the $MFT starts at cluster 4).
TEST_F(NTFSCompleteSearch, LostPartitionsAreFoundWithTheTreesFlsLists) {
  const std::string intact = s_folder + "/disk.img";
  const std::set<std::string> first = FlsTree(intact, kFirst), second = FlsTree(intact, kSecond);
  ASSERT_GT(first.size(), 300u);
  ASSERT_GT(second.size(), 300u);
  const uint64_t backup = kFirst + kTotal;
  const struct {
    const char* name;
    std::vector<std::pair<uint64_t, uint64_t>> zeroed;
    bool firstBootSector;
  } variants[] = {
      {"a.img", {{0, 1}}, true},
      {"b.img", {{0, 1}, {kFirst, 1}}, true},
      {"c.img", {{0, 1}, {kFirst, 1}, {backup, 1}}, false},
      {"d.img", {{0, 1}, {kFirst, 1}, {backup, 1}, {kFirst + 4 * 8, 2}}, false},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string disk = Variant(v.name, v.zeroed);
    const std::string before = Sha256(disk);
    const Listing l = Recover(disk);
    ASSERT_EQ(l.exitCode, 0) << l.err;
    const ListedPartition* p1 = l.ChosenAt(kFirst);
    const ListedPartition* p2 = l.ChosenAt(kSecond);
    ASSERT_TRUE(p1 && p2);
    EXPECT_EQ(p1->sectorsPerCluster, 8u);
    EXPECT_EQ(p2->sectorsPerCluster, 1u);
    // With a boot sector the size is its total; without one it covers the volume.
    EXPECT_EQ(p2->sectors, kTotal);
    if (v.firstBootSector)
      EXPECT_EQ(p1->sectors, kTotal);
    else
      EXPECT_GE(p1->sectors, kTotal);
    EXPECT_EQ(Describe(first, l.trees.at(p1->number)), "");
    EXPECT_EQ(Describe(second, l.trees.at(p2->number)), "");
    EXPECT_EQ(Sha256(disk), before);
  }
}

TEST_F(NTFSCompleteSearch, StartsEqualThoseTestdiskFinds) {
  VT_REQUIRE_TOOL("testdisk");
  const std::string disk = Variant("a.img", {{0, 1}});
  const std::vector<uint64_t> starts = testutil::TestdiskFoundStarts(disk);
  ASSERT_FALSE(starts.empty());
  const Listing l = Recover(disk);
  for (uint64_t s : starts) EXPECT_TRUE(l.ChosenAt(s)) << "testdisk found " << s;
}

TEST_F(NTFSCompleteSearch, DeletedFilesComeBackWhole) {
  VT_REQUIRE_TOOL("icat");
  const std::string disk = Variant("a.img", {{0, 1}});
  const Listing l = Recover(disk);
  const ListedPartition* p1 = l.ChosenAt(kFirst);
  ASSERT_TRUE(p1);
  const std::set<std::string>& tree = l.trees.at(p1->number);
  // The fill deletes small/gone1.bin, small/gone2.bin and the resident
  // small/gone-small.txt last.
  for (const char* name : {"small/gone1.bin", "small/gone2.bin", "small/gone-small.txt"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(tree.count(std::string(name) + "|deleted"));
    const int64_t id = l.ids.at(p1->number).at(name);
    const std::string out = m_dir.file("out.bin");
    const Listing x = Recover(disk, {"--extract", std::to_string(p1->number) + ":" + name, out});
    EXPECT_EQ(x.exitCode, 0) << x.err;
    const std::string want =
        testutil::Run({"icat", "-o", std::to_string(kFirst), s_folder + "/disk.img", std::to_string(id)}).output;
    EXPECT_EQ(testutil::ReadFile(out), want);
    std::remove(out.c_str());
  }
  size_t deleted = 0;
  for (const std::string& e : tree) deleted += e.find("|deleted") != std::string::npos;
  EXPECT_EQ(deleted, 3u);
}

// A 4096-byte-sector volume (4096-byte records) on a loop device of
// 4096-byte sectors, without a partition table.
TEST_F(NTFSCompleteSearch, FourKiBSectorVolumeIsFoundAndBuilt) {
  VT_REQUIRE_TOOL("losetup");
  const std::string image = Variant("4k.img", {}, "4k.img");
  const std::set<std::string> expected = FlsTree(image, 256, "4096");
  ASSERT_GT(expected.size(), 300u);
  testutil::LoopDevice loop(image, 4096, testutil::LoopDevice::kReadOnly);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const Listing l = Recover(loop.Path());
  ASSERT_EQ(l.exitCode, 0) << l.err;
  const ListedPartition* p = l.ChosenAt(256);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->sectorsPerCluster, 1u);
  EXPECT_EQ(Describe(expected, l.trees.at(p->number)), "");
}

// The Windows-made disks with their MBR zeroed: the partition at sector 128.
TEST_F(NTFSCompleteSearch, WindowsDisksWithoutTheirPartitionTable) {
  for (const char* name : {"ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"}) {
    SCOPED_TRACE(name);
    std::string real;
    VT_REQUIRE_REAL_VOLUME(real, testutil::UnpackedRealVolume(name));
    const std::set<std::string> expected = FlsTree(real, 128);
    const std::string disk = m_dir.file("real.img");
    ASSERT_EQ(testutil::Run({"cp", "--sparse=always", real, disk}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"dd", "if=/dev/zero", "of=" + disk, "bs=512", "count=1", "conv=notrunc", "status=none"})
                  .exitCode,
              0);
    const Listing l = Recover(disk);
    ASSERT_EQ(l.exitCode, 0) << l.err;
    const ListedPartition* p = l.ChosenAt(128);
    ASSERT_TRUE(p);
    EXPECT_EQ(Describe(expected, l.trees.at(p->number)), "");
    std::remove(disk.c_str());
  }
}

// Keeps the roots of the trees built (their node counts) and destroys them.
class RootCountingBuilder : public testutil::RecordingTreeBuilder {
 public:
  RootCountingBuilder() : RecordingTreeBuilder(false) { kind = ETreeKind::NTFS; }
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo*) override {
    size_t n = 0;
    std::vector<CFileNode*> queue{root};
    while (!queue.empty()) {
      CFileNode* at = queue.back();
      queue.pop_back();
      ++n;
      for (CFileNode* c = at->GetFirstChild(); c; c = c->GetNextSibling()) queue.push_back(c);
    }
    treeSizes.push_back(n);
    const char* label = root->IsFileSystemNode() ? static_cast<CFileSystemNode*>(root)->GetName() : nullptr;
    labels.push_back(label ? label : "");
    CNodeTree::DestroySubtree(root);
    return 1;
  }
  std::vector<size_t> treeSizes;
  std::vector<std::string> labels;
};

void ScanWhole(CNTFSSearchController& search, IStorageDevice* device, IDirecotryTreeBuilder* builder) {
  constexpr uint32_t kBlock = 8192;
  search.SetDevice(device);
  search.SetSearchOption(kBlock);
  search.SetTreeBuilder(builder);
  search.StartSearch();
  for (uint64_t first = 0; first < device->GetSectorCount(); first += kBlock)
    search.AnalyzeBlock(first, std::min<uint64_t>(kBlock, device->GetSectorCount() - first));
  search.EndSearch();
}

// The search state saved after a scan and loaded into a fresh search gives
// the same $MFT records and record runs; the candidates saved with it come
// back alike, and both searches build the same trees from them.
TEST_F(NTFSCompleteSearch, SearchStateSavedAndLoadedBuildsTheSameTrees) {
  const std::string disk = Variant("a.img", {{0, 1}});
  ImageFileDevice device(disk, 512);
  ASSERT_TRUE(device.Open());
  RootCountingBuilder builder;
  CNTFSSearchController search;
  ScanWhole(search, &device, &builder);
  ASSERT_GE(search.GetMFTRecords().size(), 2u);
  ASSERT_FALSE(search.GetRecordRuns().empty());

  CMemoryScanStream stream;
  search.SaveSearchState(&stream);
  std::vector<CSearchedPartitionInfo*> found;
  search.GetPartitions(found);
  for (CSearchedPartitionInfo* p : found) ASSERT_TRUE(p->Save(&stream));

  CNTFSSearchController loaded;
  loaded.SetDevice(&device);
  loaded.SetTreeBuilder(&builder);
  loaded.LoadSearchState(&stream);
  ASSERT_EQ(loaded.GetMFTRecords().size(), search.GetMFTRecords().size());
  for (size_t i = 0; i < search.GetMFTRecords().size(); ++i) {
    EXPECT_EQ(loaded.GetMFTRecords()[i]->GetSector(), search.GetMFTRecords()[i]->GetSector());
    EXPECT_TRUE(loaded.GetMFTRecords()[i]->GetRunList().IsEqual(search.GetMFTRecords()[i]->GetRunList()));
  }
  ASSERT_EQ(loaded.GetRecordRuns().size(), search.GetRecordRuns().size());
  for (auto a = search.GetRecordRuns().begin(), b = loaded.GetRecordRuns().begin(); a != search.GetRecordRuns().end();
       ++a, ++b) {
    EXPECT_EQ(a->firstSector, b->firstSector);
    EXPECT_EQ(a->count, b->count);
  }
  std::vector<std::unique_ptr<CSearchedNTFSPartitionInfo>> back;
  for (CSearchedPartitionInfo* p : found) {
    auto c = std::make_unique<CSearchedNTFSPartitionInfo>();
    ASSERT_TRUE(c->Load(&stream));
    const auto* original = static_cast<CSearchedNTFSPartitionInfo*>(p);
    EXPECT_EQ(c->GetStartSector(), original->GetStartSector());
    EXPECT_EQ(c->GetSectorCount(), original->GetSectorCount());
    EXPECT_EQ(c->GetStateFlags(), original->GetStateFlags());
    EXPECT_EQ(c->GetPoints(), original->GetPoints());
    back.push_back(std::move(c));
  }
  // The two volumes: built by the search and by the loaded one alike.
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i]->GetStartSector() != kFirst && found[i]->GetStartSector() != kSecond) continue;
    if (found[i]->GetPoints() <= 10) continue;
    std::vector<CSearchedPartitionInfo*> one{found[i]}, same{back[i].get()};
    search.BuildPartitionTrees(one);
    loaded.BuildPartitionTrees(same);
  }
  ASSERT_EQ(builder.treeSizes.size(), 4u);
  EXPECT_GT(builder.treeSizes[0], 300u);
  EXPECT_EQ(builder.treeSizes[0], builder.treeSizes[1]);
  EXPECT_EQ(builder.treeSizes[2], builder.treeSizes[3]);
  // The roots carry the labels ntfslabel reads from the intact volumes.
  if (testutil::HaveTool("ntfslabel")) {
    for (uint64_t start : {kFirst, kSecond}) {
      const std::string part = m_dir.file("part.img");
      ASSERT_EQ(testutil::Run({"dd", "if=" + s_folder + "/disk.img", "of=" + part, "bs=512",
                               "skip=" + std::to_string(start), "count=32768", "status=none"})
                    .exitCode,
                0);
      std::string label = testutil::Run({"ntfslabel", "-f", part}).output;
      while (!label.empty() && (label.back() == '\n' || label.back() == ' ')) label.pop_back();
      EXPECT_EQ(builder.labels[start == kFirst ? 0 : 2], label);
      EXPECT_EQ(builder.labels[start == kFirst ? 1 : 3], label);
      std::remove(part.c_str());
    }
  }
  // Each search numbers its own builds.
  EXPECT_EQ(search.GetBuildCount(), 2);
  EXPECT_EQ(loaded.GetBuildCount(), 2);
}

class AcceptAll : public INodeFilter {
 public:
  int Accept(CFileNode*) override { return 1; }
};

// Cancels the recovery (as its Cancel button does) at the n-th chunk.
class CancellingSink : public testutil::CountingSink {
 public:
  int ShouldContinue() override {
    if (controller && --cancelAt == 0) controller->Cancel();
    return 1;
  }
  CCompleteRecoveryController* controller = nullptr;
  int cancelAt = -1;
};

// A cancel after the first blocks ends the scan: no partition is chosen and
// no tree is built.
TEST_F(NTFSCompleteSearch, CancelMidScanBuildsNoTree) {
  const std::string disk = Variant("a.img", {{0, 1}});
  ImageFileDevice device(disk, 512);
  ASSERT_TRUE(device.Open());
  EngineSelection selection;
  ASSERT_TRUE(selection.Parse("ntfs"));
  RegisterRecoveryEngines(selection);
  for (int stopAfter : {-1, 3}) {
    SCOPED_TRACE(stopAfter);
    CCompleteRecoveryController controller;
    AcceptAll filter;
    testutil::IgnoringResultSink results;
    CancellingSink sink;
    sink.controller = &controller;
    sink.cancelAt = stopAfter;
    ASSERT_EQ(controller.SetFilter(&filter), 1);
    EXPECT_EQ(controller.Recover(&device, &sink, &results, "disk", 0), 0);
    if (stopAfter < 0)
      EXPECT_GE(controller.GetChosenPartitions().size(), 2u);
    else
      EXPECT_TRUE(controller.GetChosenPartitions().empty());
  }
}

// Keeps the root of the one tree built, for the carved-file placement.
class RootKeepingBuilder : public testutil::RecordingTreeBuilder {
 public:
  RootKeepingBuilder() : RecordingTreeBuilder(false) { kind = ETreeKind::NTFS; }
  ~RootKeepingBuilder() override {
    if (root) CNodeTree::DestroySubtree(root);
  }
  int SetPartitionRoot(CFileNode* node, CSearchedPartitionInfo*) override {
    if (root) CNodeTree::DestroySubtree(root);
    root = node;
    return 1;
  }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo*) override { return root; }
  CFileNode* root = nullptr;
};

// The clusters istat lists for record `inode` of the volume at `start`.
std::vector<uint64_t> IstatClusters(const std::string& image, uint64_t start, int64_t inode) {
  const std::string out = testutil::Run({"istat", "-o", std::to_string(start), image, std::to_string(inode)}).output;
  std::vector<uint64_t> clusters;
  std::istringstream in(out);
  std::string line;
  bool data = false;
  while (std::getline(in, line)) {
    if (line.rfind("Type: ", 0) == 0) {
      // The unnamed $DATA only: named streams are not the file's data runs.
      data = line.find("$DATA") != std::string::npos && line.find("Name: N/A") != std::string::npos &&
             line.find("Non-Resident") != std::string::npos;
      continue;
    }
    if (!data) continue;
    std::istringstream numbers(line);
    std::string t;
    while (numbers >> t)
      if (!t.empty() && std::isdigit(static_cast<unsigned char>(t[0])) &&
          t.find_first_not_of("0123456789") == std::string::npos)
        clusters.push_back(std::stoull(t));
  }
  // istat shows the holes of sparse files as cluster 0 (the boot sector's).
  clusters.erase(std::remove(clusters.begin(), clusters.end(), 0u), clusters.end());
  return clusters;
}

// The carved files are offered the clusters no file of the tree uses: the
// map answers "used" for every cluster of a live file and "free" for those
// of deleted files.
TEST_F(NTFSCompleteSearch, CarvedFilesAreOfferedTheClustersNoLiveFileUses) {
  VT_REQUIRE_TOOL("istat");
  const std::string disk = Variant("a.img", {{0, 1}});
  ImageFileDevice device(disk, 512);
  ASSERT_TRUE(device.Open());
  RootKeepingBuilder builder;
  CNTFSSearchController search;
  ScanWhole(search, &device, &builder);
  CFoundFileStore store;
  store.AddFile(new CRawFileInfo(kFirst + 8 * 100, 4096, "", 1, "jpg"));
  search.SetFoundFileStore(&store);
  std::vector<CSearchedPartitionInfo*> found, one;
  search.GetPartitions(found);
  for (CSearchedPartitionInfo* p : found)
    if (p->GetStartSector() == kFirst && p->GetPoints() > 10) one.push_back(p);
  ASSERT_EQ(one.size(), 1u);
  search.BuildPartitionTrees(one);
  ASSERT_TRUE(builder.root);
  std::vector<bool> used;
  int placed = 0;
  RegisterRawFilePlacer(
      [&](IStorageDevice*, CFoundFileStore*, IDirecotryTreeBuilder*, CSearchedPartitionInfo*, IIsClusterUsed* map) {
        ++placed;
        for (uint64_t c = 0; c < 32768 / 8; ++c) used.push_back(map && map->IsClusterUsed(kFirst + c * 8));
        return 0;
      });
  search.BuildLostFiles(one);
  RegisterRawFilePlacer(nullptr);
  ASSERT_EQ(placed, 1);
  // Live and deleted files of the intact volume, by fls.
  const std::string listing =
      testutil::Run({"fls", "-r", "-p", "-o", std::to_string(kFirst), s_folder + "/disk.img"}).output;
  std::istringstream in(listing);
  std::string line;
  size_t live = 0, freed = 0;
  std::set<uint64_t> liveClusters;
  std::vector<uint64_t> deletedClusters;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || (line.compare(0, 3, "r/r") != 0 && line.compare(0, 3, "-/r") != 0)) continue;
    const std::string head = line.substr(0, tab), path = line.substr(tab + 1);
    const size_t number = head.find_first_of("0123456789", 4);
    if (number == std::string::npos || path.find(':') != std::string::npos || path.rfind("$", 0) == 0) continue;
    const int64_t record = std::stoll(head.substr(number));
    if (record < 24) continue;
    const bool deleted = head.find('*') != std::string::npos;
    // A few of the 300 small files of "many" are enough (istat per file is slow).
    if (path.rfind("many/", 0) == 0 && path.find("number 1") == std::string::npos) continue;
    for (uint64_t c : IstatClusters(s_folder + "/disk.img", kFirst, record)) {
      if (deleted) {
        deletedClusters.push_back(c);
      } else {
        liveClusters.insert(c);
        ASSERT_LT(c, used.size());
        EXPECT_TRUE(used[c]) << path << " cluster " << c;
        ++live;
      }
    }
  }
  for (uint64_t c : deletedClusters) {
    if (liveClusters.count(c)) continue;
    ASSERT_LT(c, used.size());
    EXPECT_FALSE(used[c]) << "deleted cluster " << c;
    ++freed;
  }
  EXPECT_GT(live, 100u);
  EXPECT_GT(freed, 0u);
}

}  // namespace
