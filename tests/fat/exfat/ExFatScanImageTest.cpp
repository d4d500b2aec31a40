// The exFAT sector scan over whole volumes made with mkfs.exfat and filled
// through exfat-fuse (tests/fixtures/make-exfat-images.sh), read in 4 MiB
// blocks as the complete recovery reads a device: the boot sectors and the
// FAT start give one candidate at the volume's geometry, and the directory
// groups hold every name fls lists, with the same deleted marks.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "CClusterUseBitMap.h"
#include "CExFatCompleteSearch.h"
#include "CExFatDBR.h"
#include "CExFatFileProperties.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "ExFatCandidateSet.h"
#include "ExFatEntryScanner.h"
#include "ExFatImagePatch.h"
#include "IDataRunList.h"
#include "ImageFileDevice.h"
#include "RecordingTreeBuilder.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"

namespace {

struct Volume {
  const char* name;
  uint32_t sectorSize;
  bool cutSets;  // big300's folder has sets cut at a cluster's end
};

struct Scan {
  ExFatEntryScanner scanner;
  ExFatCandidateSet candidates;
  std::vector<std::unique_ptr<ExFatDirectoryGroup>> groups;

  void Take(std::unique_ptr<ExFatDirectoryGroup> g) {
    if (g) groups.push_back(std::move(g));
  }
  bool Run(const std::string& image, uint32_t sectorSize) {
    std::ifstream in(image, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const uint64_t sectors = static_cast<uint64_t>(in.tellg()) / sectorSize;
    in.seekg(0);
    scanner.SetGeometry(sectors, sectorSize);
    candidates.SetGeometry(sectorSize, sectors);
    const uint64_t blockSectors = (4 << 20) / sectorSize;
    ExFatScanBuffer buffer;
    buffer.Reset(sectorSize, blockSectors);
    const ExFatGroupSink sink = [this](std::unique_ptr<ExFatDirectoryGroup> g) { Take(std::move(g)); };
    for (uint64_t first = 0; first < sectors; first += blockSectors) {
      const uint64_t n = std::min<uint64_t>(blockSectors, sectors - first);
      in.read(reinterpret_cast<char*>(buffer.Prepare(n)), static_cast<std::streamsize>(n * sectorSize));
      if (!in) return false;
      buffer.Analyze(first, n, true, scanner, candidates, sink);
    }
    buffer.Finish(scanner, candidates, sink);
    return true;
  }
};

// One filled volume of the fixture, with its layout as its boot sector says.
class ExFatScanVolume : public ::testing::TestWithParam<Volume> {
 protected:
  void SetUp() override {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkfs.exfat");
    VT_REQUIRE_TOOL("mount.exfat-fuse");
    VT_REQUIRE_TOOL("fls");
    if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
    std::string error;
    const std::string folder = testutil::SharedFixture("make-exfat-images.sh", {}, "", error);
    ASSERT_FALSE(folder.empty()) << error;
    image = folder + "/" + GetParam().name;
    ASSERT_TRUE(testutil::ReadExFatLayout(image, layout));
    ASSERT_EQ(layout.sectorSize, sectorSize);
  }
  std::string image;
  testutil::ExFatLayout layout;
  const uint32_t sectorSize = GetParam().sectorSize;
};

TEST_P(ExFatScanVolume, FindsTheVolumeAndEveryName) {
  Scan scan;
  ASSERT_TRUE(scan.Run(image, sectorSize));

  // The main and backup boot sectors and the one FAT: boot part 50, FAT part 45.
  std::vector<std::unique_ptr<CExFatPartitionEx>> found;
  scan.candidates.CollectCandidates(found);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->GetScore(), 95);
  EXPECT_EQ(found[0]->GetStartSector(), 0u);
  EXPECT_EQ(found[0]->GetClusterStartSector(), layout.heapOffset / sectorSize);
  EXPECT_EQ(found[0]->GetSectorsPerCluster(), layout.clusterSize / sectorSize);

  // One root group, at the root cluster.
  int roots = 0;
  for (const auto& g : scan.groups)
    if (g->IsRoot()) {
      ++roots;
      EXPECT_EQ(g->firstSector * sectorSize, layout.ClusterOffset(layout.rootCluster));
    }
  EXPECT_EQ(roots, 1);
  if (GetParam().cutSets) {
    EXPECT_FALSE(scan.scanner.Joins().empty());
  }

  // Every name fls lists stands in a group, deleted where fls marks it so.
  std::multiset<std::pair<std::string, bool>> named;
  for (const auto& g : scan.groups) {
    for (const auto& s : g->inUse) named.insert({s.name, false});
    for (const auto& s : g->deleted) named.insert({s.name, true});
  }
  for (const testutil::Listed& l : testutil::Fls(image)) {
    const std::string base = l.path.substr(l.path.rfind('/') + 1);
    if (l.path.find("$OrphanFiles") == 0) continue;
    EXPECT_TRUE(named.count({base, l.deleted})) << l;
  }
}

// The complete search over the same volume as a device of its own sector
// size, in the complete recovery's 4 MiB blocks.
TEST_P(ExFatScanVolume, CompleteSearchOffersTheVolume) {
  ImageFileDevice device(image, static_cast<int>(sectorSize));
  ASSERT_TRUE(device.Open());
  CExFatCompleteSearch search;
  search.SetDevice(&device);
  const uint64_t block = (4 << 20) / sectorSize;
  search.SetSearchOption(static_cast<int>(block));
  const uint64_t sectors = device.GetSectorCount();
  for (uint64_t first = 0; first < sectors; first += block)
    ASSERT_EQ(search.ScanBlock(first, std::min(block, sectors - first)), 1);
  search.EndSearch();
  std::vector<CSearchedPartitionInfo*> parts;
  search.GetPartitions(parts);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0]->GetStartSector(), 0u);
  EXPECT_EQ(parts[0]->GetClusterStartSector(), layout.heapOffset / sectorSize);
  EXPECT_EQ(parts[0]->GetSectorsPerCluster(), layout.clusterSize / sectorSize);
  EXPECT_EQ(parts[0]->GetScore(), 95);
  // Its folders' groups are on its grid: the root directory among them.
  const auto* volume = static_cast<CExFatPartitionEx*>(parts[0]);
  EXPECT_TRUE(volume->alignedSectors.count(layout.ClusterOffset(layout.rootCluster) / sectorSize));
}

// A recording builder that also keeps the nodes of a partition's tree.
class PartitionNodeKeeper : public testutil::RecordingTreeBuilder {
 public:
  PartitionNodeKeeper() { kind = ETreeKind::exFAT; }
  ~PartitionNodeKeeper() override {
    for (CFileNode* n : partitionNodes) DestroyFileNode(n);
  }
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo*) override {
    partitionNodes.push_back(root);
    return 1;
  }
  int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo*) override {
    partitionNodes.push_back(node);
    return 1;
  }
  std::vector<CFileNode*> partitionNodes;  // the root first
};

const CExFatFileProperties* PropsOf(const CFileNode* n) {
  return static_cast<const CExFatFileProperties*>(n->GetProperties());
}

// The scan hands every set to the builder as a found node under "EXFAT";
// the chosen partition's tree holds every name fls lists, each below the
// folder fls puts it in; the lost-file placement gets the partition's
// cluster map with every cluster of a live file in use; a found node's runs
// come from its stream entry, counted from the heap.
TEST_P(ExFatScanVolume, TreeFoundNodesAndClusterMap) {
  ImageFileDevice device(image, static_cast<int>(sectorSize));
  ASSERT_TRUE(device.Open());
  PartitionNodeKeeper builder;
  CFoundFileStore store;
  CExFatCompleteSearch search;
  search.SetTreeBuilder(&builder);
  search.SetFoundFileStore(&store);
  search.SetDevice(&device);
  const uint64_t block = (4 << 20) / sectorSize;
  search.SetSearchOption(static_cast<int>(block));
  for (uint64_t first = 0; first < device.GetSectorCount(); first += block)
    ASSERT_EQ(search.ScanBlock(first, std::min(block, device.GetSectorCount() - first)), 1);
  search.EndSearch();
  std::vector<CSearchedPartitionInfo*> parts;
  search.GetPartitions(parts);
  ASSERT_EQ(parts.size(), 1u);

  // Found nodes: the "EXFAT" root, then one node per set, all below it.
  ASSERT_GT(builder.nodes.size(), 300u);
  ASSERT_TRUE(builder.nodes[0]->IsFileSystemNode());
  EXPECT_STREQ(static_cast<CFileSystemNode*>(builder.nodes[0])->GetName(), "EXFAT");
  EXPECT_EQ(search.FoundNodes(), builder.nodes.size() - 1);
  CFileNode* found = nullptr;
  for (size_t i = 1; i < builder.nodes.size(); ++i) {
    EXPECT_EQ(builder.nodes[i]->GetParentId(), builder.nodes[0]->GetId());
    EXPECT_EQ(PropsOf(builder.nodes[i])->GetPackedRuns(), nullptr);
    if (std::string(PropsOf(builder.nodes[i])->GetName()) == "gone-big.bin") found = builder.nodes[i];
  }
  ASSERT_NE(found, nullptr);
  ASSERT_EQ(search.LoadNodeDataRuns(found, parts[0]), 1);
  std::unique_ptr<IDataRunList> runs(found->GetProperties()->GetDataRunList());
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs->Runs().size(), 1u);
  EXPECT_EQ(runs->Runs()[0].start, PropsOf(found)->GetFirstCluster() - 2u);
  EXPECT_EQ(runs->Runs()[0].length, (102400 + layout.clusterSize - 1) / layout.clusterSize);

  std::vector<CSearchedPartitionInfo*> one{parts[0]};
  search.BuildPartitionTrees(one);
  ASSERT_GT(builder.partitionNodes.size(), 1u);
  const CFileNode* root = builder.partitionNodes[0];
  EXPECT_EQ(root->GetId(), -1);
  uint64_t heap = 0;
  int spc = 0;
  ASSERT_TRUE(static_cast<const CFileSystemNode*>(root)->GetPartitionGeometry(heap, spc));
  EXPECT_EQ(heap, layout.heapOffset / sectorSize);
  EXPECT_EQ(static_cast<uint32_t>(spc), layout.clusterSize / sectorSize);
  // Paths by parent ids, folders by id (live ones first).
  std::map<int64_t, const CFileNode*> folders;
  for (bool live : {true, false})
    for (const CFileNode* n : builder.partitionNodes)
      if (n != root && (n->GetProperties()->GetAttributes() & kFileAttributeDirectory) &&
          !(n->GetProperties()->IsDeleted() & 1) == live)
        folders.emplace(n->GetId(), n);
  std::multiset<testutil::Listed> ours;
  for (const CFileNode* n : builder.partitionNodes) {
    if (n == root) continue;
    std::string path = n->GetProperties()->GetName();
    const CFileNode* at = n;
    for (int depth = 0; at->GetParentId() != -1 && depth < 32; ++depth) {
      const auto it = folders.find(at->GetParentId());
      if (it == folders.end()) {
        path = "?/" + path;
        break;
      }
      at = it->second;
      path = std::string(at->GetProperties()->GetName()) + "/" + path;
    }
    ours.insert({path, (n->GetProperties()->GetAttributes() & kFileAttributeDirectory) != 0,
                 (n->GetProperties()->IsDeleted() & 1) != 0});
  }
  for (testutil::Listed l : testutil::Fls(image)) {
    const std::string recycled = "$RR3C7QX.txt";
    if (l.path.size() > recycled.size() &&
        l.path.compare(l.path.size() - recycled.size(), recycled.size(), recycled) == 0)
      l.path = l.path.substr(0, l.path.size() - recycled.size()) + "old-report.txt";
    EXPECT_TRUE(ours.count(l)) << l;
  }

  // The lost-file placement sees every cluster of a live file in use.
  std::vector<uint64_t> unusedLiveSectors;
  uint64_t checked = 0;
  bool placed = false;
  RegisterRawFilePlacer(
      [&](IStorageDevice*, CFoundFileStore*, IDirecotryTreeBuilder*, CSearchedPartitionInfo* p, IIsClusterUsed* used) {
        placed = p == parts[0] && used;
        for (const CFileNode* n : builder.partitionNodes) {
          if (n == root || (n->GetProperties()->IsDeleted() & 1)) continue;
          std::unique_ptr<IDataRunList> list(n->GetProperties()->GetDataRunList());
          if (!list) continue;
          for (const DataRun& r : list->Runs())
            for (uint64_t c = r.start; c < r.start + r.length; ++c, ++checked) {
              const uint64_t sector = heap + c * static_cast<uint64_t>(spc);
              if (!used->IsClusterUsed(sector)) unusedLiveSectors.push_back(sector);
            }
        }
        return 1;
      });
  search.BuildLostFiles(one);
  RegisterRawFilePlacer(nullptr);
  EXPECT_TRUE(placed);
  EXPECT_GE(checked, 10u);  // frag/even.bin alone has 6
  EXPECT_TRUE(unusedLiveSectors.empty()) << unusedLiveSectors.size() << " clusters of live files not in use";
}

INSTANTIATE_TEST_SUITE_P(Volumes, ExFatScanVolume,
                         ::testing::Values(Volume{"exfat-4k.img", 512, true}, Volume{"exfat-128k.img", 512, false},
                                           Volume{"exfat-4kn.img", 4096, true}),
                         [](const ::testing::TestParamInfo<Volume>& info) {
                           std::string n = info.param.name;
                           n = n.substr(0, n.find('.'));
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

}  // namespace
