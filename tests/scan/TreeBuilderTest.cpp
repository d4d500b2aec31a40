// The directory-tree builder over synthetic node streams, in both modes.
// Nodes the builder destroys are not touched again here; nodes it hands
// back are deleted here. Run under the sanitizer build, a node destroyed
// twice or never shows as an error or a leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CDirectoryTreeBuilder.h"
#include "CFileTree.h"
#include "CPartitionTree.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "INodeFilter.h"
#include "IRecoveryResultSink.h"
#include "MemoryDevice.h"
#include "TreeTestSupport.h"

namespace {

using treetest::MakeNode;
using treetest::MakeRoot;
using treetest::NodeShape;
using treetest::Render;

// Keeps what the builder tells: events in order, and the names of the
// nodes given to OnNode.
class RecordingSink : public IRecoveryResultSink {
 public:
  void OnStart(const char* volume) override { events.push_back(std::string("start ") + volume); }
  void OnNodes(std::vector<CFileNode*>& nodes, int final) override {
    delivered += nodes.size();
    if (final) events.push_back("final nodes " + std::to_string(nodes.size()));
  }
  void OnRoot(CFileNode* root, int final) override {
    events.push_back((final ? "show final " : "show ") + treetest::NameOf(root));
  }
  void OnRemove(CFileNode* root) override { events.push_back("remove " + treetest::NameOf(root)); }
  void OnNode(CFileNode* node) override { found.push_back(treetest::NameOf(node)); }
  void OnNodeChanged(CFileNode*) override {}

  std::vector<std::string> events;
  std::vector<std::string> found;
  size_t delivered = 0;
};

// Rejects names starting "skip".
class NameFilter : public INodeFilter {
 public:
  int Accept(CFileNode* node) override { return treetest::NameOf(node).rfind("skip", 0) == 0 ? 0 : 1; }
};

// A device of many sectors that reads zeros (the complete mode reads
// nothing).
class SizedDevice : public IStorageDevice {
 public:
  explicit SizedDevice(uint64_t sectors) : m_sectors(sectors) {}
  int ReadSectors(void* buffer, uint64_t, uint64_t count) override {
    std::fill_n(static_cast<uint8_t*>(buffer), count * 512, 0);
    return 1;
  }
  uint64_t GetSectorCount() override { return m_sectors; }
  int GetSectorSize() override { return 512; }
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  uint64_t m_sectors;
};

// The search that owns the candidates: a node lies in a partition when its
// record position does; an Ext2 root is associated with the partition the
// test names.
class OwnerSearch : public ICompleteFileSystemSearchController {
 public:
  void SetTreeBuilder(IDirecotryTreeBuilder*) override {}
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void SetDevice(IStorageDevice*) override {}
  void SetSearchOption(int) override {}
  void StartSearch() override {}
  void AnalyzeBlock(uint64_t, uint64_t) override {}
  void SetFoundFileStore(CFoundFileStore*) override {}
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>&) override {}
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>&) override {}
  int IsNodeInPartition(CFileNode* node, CSearchedPartitionInfo* p) override {
    return node->GetPosition() >= p->GetStartSector() &&
           node->GetPosition() - p->GetStartSector() < p->GetSectorCount();
  }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::NTFS; }
  CSearchedPartitionInfo* FindPartitionOfNode(CFileNode* root) override {
    auto it = ext2Roots.find(root);
    return it == ext2Roots.end() ? nullptr : it->second;
  }

  std::map<CFileNode*, CSearchedPartitionInfo*> ext2Roots;
};

// Fails the new tree of every root of one type.
class FailingBuilder : public CDirectoryTreeBuilder {
 public:
  explicit FailingBuilder(EFileSystemType failing) : m_failing(failing) {}

 protected:
  CFileNode* CloneTreeRoot(const CFileSystemNode& root) override {
    return root.GetFileSystemType() == m_failing ? nullptr : CDirectoryTreeBuilder::CloneTreeRoot(root);
  }

 private:
  EFileSystemType m_failing;
};

// The folder the carved files of a partition go into.
CFileSystemNode* CarvedFolder() {
  CFileSystemNode* folder = CreateFileSystemNode();
  folder->SetId(-15);
  folder->SetFileSystemType(EFileSystemType::RAW);
  folder->SetProperties(treetest::MakeProperties(EFileSystemType::RAW, {-15, -1, "More lost files", true}));
  return folder;
}

CFileNode* At(CFileNode* node, uint64_t position) {
  node->SetPosition(position);
  return node;
}

class TreeBuilderTest : public testing::Test {
 protected:
  static constexpr uint64_t kDeviceSectors = 1000000;

  void Start(int manyChoices = 0, TreeBuilderLimits limits = {}) {
    Start(std::make_unique<CDirectoryTreeBuilder>(limits), manyChoices);
  }
  void Start(std::unique_ptr<CDirectoryTreeBuilder> b, int manyChoices = 0) {
    builder = std::move(b);
    ASSERT_EQ(builder->Init("disk", &sink, &filter, ETreeBuildMode::Complete, &device, manyChoices), 1);
  }
  CFileSystemNode* Root(EFileSystemType type, int64_t id) {
    CFileSystemNode* root = MakeRoot(type, id);
    EXPECT_EQ(builder->AddFileSystemNode(root), 1);
    return root;
  }
  // A file of `type` with parent `parent`, its record at `position`, added
  // by AddNode.
  void File(EFileSystemType type, int64_t id, int64_t parent, uint64_t position, const char* name = "f") {
    int error = 0;
    ETreeKind kind = ETreeKind::None;
    ToTreeKind(type, kind);
    EXPECT_EQ(builder->AddNode(At(MakeNode(type, {id, parent, name}), position), kind, error), 1);
  }
  CSearchedPartitionInfo* Candidate(EFileSystemType type, uint64_t start, uint64_t sectors, uint64_t points = 1) {
    partitions.push_back(std::make_unique<CSearchedPartitionInfo>());
    CSearchedPartitionInfo* p = partitions.back().get();
    p->SetType(type);
    p->SetStartSector(start);
    p->SetClusterStartSector(start + 32);
    p->SetSectorCount(sectors);
    p->SetSectorsPerCluster(8);
    p->SetPoints(points);
    p->SetOwner(&owner);
    builder->AddCandidate(p);
    return p;
  }
  std::vector<std::string> TreeTexts() const {
    std::vector<std::string> out;
    for (CPartitionTree* t : builder->GetTrees()) out.push_back(Render(t->GetRoot()));
    return out;
  }
  uint64_t Cap(const std::string& name) const {
    for (const auto& c : builder->GetCapNotes())
      if (c.name == name) return c.dropped;
    return 0;
  }

  treetest::EngineFolders engineFolders;
  SizedDevice device{kDeviceSectors};
  RecordingSink sink;
  NameFilter filter;
  OwnerSearch owner;
  std::vector<std::unique_ptr<CSearchedPartitionInfo>> partitions;
  std::unique_ptr<CDirectoryTreeBuilder> builder;  // destroyed first
};

TEST_F(TreeBuilderTest, InitNeedsNameSinkFilterAndDevice) {
  const struct {
    const char* name;
    IRecoveryResultSink* results;
    INodeFilter* filter;
    IStorageDevice* device;
  } refused[] = {{nullptr, &sink, &filter, &device},
                 {"disk", nullptr, &filter, &device},
                 {"disk", &sink, nullptr, &device},
                 {"disk", &sink, &filter, nullptr}};
  for (const auto& r : refused) {
    CDirectoryTreeBuilder b;
    EXPECT_EQ(b.Init(r.name, r.results, r.filter, ETreeBuildMode::Complete, r.device, 0), 0);
  }
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(TreeBuilderTest, CompleteAddNodeKeepsDestroysOrHandsBack) {
  Start();
  Root(EFileSystemType::NTFS, 5);
  Root(EFileSystemType::Ext2, 2);
  Root(EFileSystemType::Ext3, 2);  // the Ext2 tree is the last one
  const int64_t deviceBytes = static_cast<int64_t>(kDeviceSectors) * 512;
  std::unique_ptr<CFileNode> elsewhere(CreateFileNode());

  enum Fate { Kept, Destroyed, HandedBack };
  const struct Row {
    const char* what;
    std::function<CFileNode*()> make;
    ETreeKind kind;
    int result;
    int error;
    Fate fate;
  } rows[] = {
      {"an NTFS file joins the NTFS tree",
       [] {
         return MakeNode(EFileSystemType::NTFS, {10, 5, "kept.txt"});
       },
       ETreeKind::NTFS, 1, 0, Kept},
      {"a file waiting for its folder is kept",
       [] {
         return MakeNode(EFileSystemType::NTFS, {11, 99, "waiting.txt"});
       },
       ETreeKind::NTFS, 1, 0, Kept},
      {"one byte less than the device",
       [=] {
         return MakeNode(EFileSystemType::NTFS, {12, 5, "big.bin", false, false, 0, deviceBytes - 1});
       },
       ETreeKind::NTFS, 1, 0, Kept},
      {"an Ext2 node goes to the last Ext2 or Ext3 tree",
       [] {
         return MakeNode(EFileSystemType::Ext3, {13, 2, "ext.txt"});
       },
       ETreeKind::Ext2, 1, 0, Kept},
      {"as large as the device",
       [=] {
         return MakeNode(EFileSystemType::NTFS, {20, 5, "huge.bin", false, false, 0, deviceBytes});
       },
       ETreeKind::NTFS, 1, 0, Destroyed},
      {"a negative size",
       [] {
         return MakeNode(EFileSystemType::NTFS, {21, 5, "neg", false, false, 0, -1});
       },
       ETreeKind::NTFS, 1, 0, Destroyed},
      {"rejected by the filter",
       [] {
         return MakeNode(EFileSystemType::NTFS, {22, 5, "skip.txt"});
       },
       ETreeKind::NTFS, 1, 0, Destroyed},
      {"without properties", [] { return CreateFileNode(); }, ETreeKind::NTFS, 1, 0, Destroyed},
      {"linked elsewhere: the tree refuses it",
       [&] {
         CFileNode* n = MakeNode(EFileSystemType::NTFS, {23, 5, "linked.txt"});
         elsewhere->AddChild(n);
         return n;
       },
       ETreeKind::NTFS, 1, 0, Destroyed},
      {"a refused HFS+ node stays with its search",
       [] {
         return MakeNode(EFileSystemType::HFSPlus, {30, 2, "skip"});
       },
       ETreeKind::HFSPlus, 0, 0, HandedBack},
      {"an HFS+ node without properties", [] { return CreateFileNode(); }, ETreeKind::HFSPlus, 0, 0, HandedBack},
      {"no tree of its kind",
       [] {
         return MakeNode(EFileSystemType::exFAT, {31, 5, "x.txt"});
       },
       ETreeKind::exFAT, 0, engine_error::kBuilderNoTree, HandedBack},
  };
  std::vector<std::string> kept;
  for (const Row& row : rows) {
    CFileNode* node = row.make();
    const std::string name = treetest::NameOf(node);
    int error = -7;
    EXPECT_EQ(builder->AddNode(node, row.kind, error), row.result) << row.what;
    EXPECT_EQ(error, row.error) << row.what;
    if (row.fate == Kept) kept.push_back(name);
    if (row.fate == HandedBack) DeleteFileNode(node);
  }
  // OnNode for the kept nodes only, and the count is theirs.
  EXPECT_EQ(sink.found, kept);
  EXPECT_EQ(builder->GetNodeCount(), kept.size());
  EXPECT_EQ(elsewhere->GetFirstChild(), nullptr);
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"root(big.bin,kept.txt)", "root", "root(ext.txt)"}));
  // Each tree is shown on its first link.
  EXPECT_EQ(sink.events, (std::vector<std::string>{"start disk", "show root", "show root"}));
}

TEST_F(TreeBuilderTest, NodesBeyondTheCapAreDestroyedAndNotedOnce) {
  TreeBuilderLimits limits;
  limits.addedNodes = 3;
  Start(0, limits);
  Root(EFileSystemType::NTFS, 5);
  for (int i = 0; i < 5; ++i) File(EFileSystemType::NTFS, 100 + i, 5, 10, ("n" + std::to_string(i)).c_str());
  EXPECT_EQ(sink.found, (std::vector<std::string>{"n0", "n1", "n2"}));
  EXPECT_EQ(builder->GetNodeCount(), 3u);
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"root(n0,n1,n2)"}));
  builder->FinishSearch();
  builder->FinishSearch();
  ASSERT_EQ(builder->GetCapNotes().size(), 1u);
  EXPECT_EQ(Cap(CDirectoryTreeBuilder::kAddedNodesCapName), 2u);
}

TEST_F(TreeBuilderTest, WithoutACandidateEveryTreeIsRemoved) {
  Start();
  Root(EFileSystemType::NTFS, 5);
  Root(EFileSystemType::FAT32, 2);
  File(EFileSystemType::NTFS, 10, 5, 100);  // shows the NTFS tree
  builder->FinishSearch();
  EXPECT_TRUE(builder->GetTrees().empty());
  std::vector<CSearchedPartitionInfo*> chosen;
  builder->GetCandidates(chosen);
  EXPECT_TRUE(chosen.empty());
  EXPECT_EQ(sink.events.back(), "remove root");
  EXPECT_EQ(std::count(sink.events.begin(), sink.events.end(), "remove root"), 1);
}

// The choice of partitions and their new trees. Trees are given as roots
// with files at record positions; the candidates all score alike, so the
// evaluation keeps them in order.
TEST_F(TreeBuilderTest, ChosenPartitionsGetOneTreeEach) {
  struct TreeRow {
    EFileSystemType type;
    int64_t id;
    std::vector<uint64_t> files;  // record positions
  };
  struct CandidateRow {
    EFileSystemType type;
    uint64_t start;
    uint64_t sectors;
  };
  const struct Case {
    const char* what;
    std::vector<TreeRow> trees;
    std::vector<CandidateRow> candidates;
    int manyChoices;
    uint64_t countedNodes;
    std::vector<std::string> built;  // new roots: type name, id, geometry
    std::vector<size_t> chosen;      // candidate indexes, in tree order
    uint64_t partitionsCap;
    uint64_t countedCap;
  } cases[] = {
      {"two roots of one type: one tree, from the one that holds the nodes",
       {{EFileSystemType::NTFS, 5, {150}}, {EFileSystemType::NTFS, 7, {110, 120, 130}}},
       {{EFileSystemType::NTFS, 100, 100}},
       0,
       7000000,
       {"NTFS 5 @132/8"},
       {0},
       0,
       0},
      {"two partitions of one tree: a tree for each",
       {{EFileSystemType::NTFS, 5, {150, 350}}},
       {{EFileSystemType::NTFS, 100, 100}, {EFileSystemType::NTFS, 300, 100}},
       1,
       7000000,
       {"NTFS 5 @132/8", "NTFS 5 @332/8"},
       {0, 1},
       0,
       0},
      {"a FAT16 partition takes the FAT32 root and its own name",
       {{EFileSystemType::FAT32, 2, {150}}, {EFileSystemType::NTFS, 5, {}}},
       {{EFileSystemType::FAT16, 100, 100}},
       0,
       7000000,
       {"FAT16 2 @132/8"},
       {0},
       0,
       0},
      {"chosen partitions beyond the maximum are noted",
       {{EFileSystemType::NTFS, 5, {150, 350}}},
       {{EFileSystemType::NTFS, 100, 100}, {EFileSystemType::NTFS, 300, 100}},
       0,
       7000000,
       {"NTFS 5 @132/8"},
       {0},
       1,
       0},
      {"the counted-node cap leaves a partition out",
       {{EFileSystemType::NTFS, 5, {110, 120, 310, 320}}},
       {{EFileSystemType::NTFS, 100, 100}, {EFileSystemType::NTFS, 300, 100}},
       1,
       3,
       {"NTFS 5 @132/8"},
       {0},
       0,
       1},
      {"the best candidate is built whatever its count",
       {{EFileSystemType::NTFS, 5, {110, 120, 130}}},
       {{EFileSystemType::NTFS, 100, 100}},
       0,
       2,
       {"NTFS 5 @132/8"},
       {0},
       0,
       0},
      {"no tree of the candidate's type",
       {{EFileSystemType::NTFS, 5, {110}}},
       {{EFileSystemType::exFAT, 100, 100}},
       0,
       7000000,
       {},
       {},
       0,
       0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    builder.reset();
    partitions.clear();
    TreeBuilderLimits limits;
    limits.countedNodes = k.countedNodes;
    Start(k.manyChoices, limits);
    int64_t nextId = 1000;
    for (const TreeRow& t : k.trees) {
      Root(t.type, t.id);
      for (uint64_t position : t.files) File(t.type, nextId++, t.id, position);
    }
    std::vector<CSearchedPartitionInfo*> made;
    for (const CandidateRow& c : k.candidates) made.push_back(Candidate(c.type, c.start, c.sectors));
    builder->FinishSearch();

    std::vector<std::string> built;
    for (CPartitionTree* t : builder->GetTrees()) {
      uint64_t start = 0;
      int spc = 0;
      t->GetRoot()->GetPartitionGeometry(start, spc);
      built.push_back(treetest::NameOf(t->GetRoot()) + " " + std::to_string(t->GetRoot()->GetId()) + " @" +
                      std::to_string(start) + "/" + std::to_string(spc));
      EXPECT_EQ(t->GetFileSystemType(), t->GetPartition()->GetType());
      EXPECT_EQ(builder->GetPartitionRoot(t->GetPartition()), t->GetRoot());
    }
    EXPECT_EQ(built, k.built);
    std::vector<CSearchedPartitionInfo*> chosen;
    builder->GetCandidates(chosen);
    std::vector<CSearchedPartitionInfo*> expected;
    for (size_t i : k.chosen) expected.push_back(made[i]);
    EXPECT_EQ(chosen, expected);
    EXPECT_EQ(Cap(CEvaluation::kPartitionCapName), k.partitionsCap);
    EXPECT_EQ(Cap(CDirectoryTreeBuilder::kCountedNodesCapName), k.countedCap);
  }
}

// Ext2 nodes go to the last Ext2 or Ext3 root; a partition takes a root
// only when its search names it, and of two such the one holding its nodes.
TEST_F(TreeBuilderTest, AnExt2PartitionTakesOnlyARootItsSearchNames) {
  const struct {
    const char* what;
    bool first;
    bool last;
    std::vector<std::string> built;
  } rows[] = {{"no root named", false, false, {}},
              {"the first root named", true, false, {"EXT2"}},
              {"both named: the one with the nodes", true, true, {"EXT3"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    builder.reset();
    partitions.clear();
    owner.ext2Roots.clear();
    Start();
    CFileSystemNode* first = Root(EFileSystemType::Ext2, 2);
    CFileSystemNode* last = Root(EFileSystemType::Ext3, 3);
    File(EFileSystemType::Ext3, 11, 3, 150);
    CSearchedPartitionInfo* p = Candidate(EFileSystemType::Ext2, 100, 100);
    if (row.first) owner.ext2Roots[first] = p;
    if (row.last) owner.ext2Roots[last] = p;
    builder->FinishSearch();
    EXPECT_EQ(TreeTexts(), row.built);
  }
}

TEST_F(TreeBuilderTest, ATreeThatCannotBeMadeLeavesTheOthersBuilt) {
  Start(std::make_unique<FailingBuilder>(EFileSystemType::NTFS), 1);
  Root(EFileSystemType::NTFS, 5);
  Root(EFileSystemType::FAT32, 2);
  File(EFileSystemType::NTFS, 10, 5, 150);
  File(EFileSystemType::FAT32, 11, 2, 350);
  Candidate(EFileSystemType::NTFS, 100, 100);
  CSearchedPartitionInfo* fat = Candidate(EFileSystemType::FAT32, 300, 100);
  builder->FinishSearch();
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"FAT32"}));
  std::vector<CSearchedPartitionInfo*> chosen;
  builder->GetCandidates(chosen);
  EXPECT_EQ(chosen, (std::vector<CSearchedPartitionInfo*>{fat}));
}

TEST_F(TreeBuilderTest, AnHFSPlusTreeHandsItsNodesBackToItsSearch) {
  Start();
  // The search keeps its root and builds its partitions from the nodes
  // below it, so it destroys them itself.
  CFileSystemNode* searchRoot = Root(EFileSystemType::HFSPlus, 2);
  File(EFileSystemType::HFSPlus, 20, 2, 150, "a");
  File(EFileSystemType::HFSPlus, 21, 77, 150, "orphan");
  Candidate(EFileSystemType::HFSPlus, 100, 100);
  builder->FinishSearch();
  EXPECT_EQ(Render(searchRoot), "root(Other lost files*(orphan),a)");
  ASSERT_EQ(builder->GetTrees().size(), 1u);
  EXPECT_NE(builder->GetTrees()[0]->GetRoot(), searchRoot);
  CNodeTree::DestroySubtree(searchRoot);
}

// After the choice the searches fill the chosen partitions' trees: one
// hands over a tree it built, another adds nodes one by one below the
// placeholder root, carved files join either.
TEST_F(TreeBuilderTest, ChosenTreesAreFilledAndShownAtTheEnd) {
  Start(1);
  Root(EFileSystemType::NTFS, 5);
  Root(EFileSystemType::FAT32, 2);
  File(EFileSystemType::NTFS, 10, 5, 150);
  File(EFileSystemType::FAT32, 11, 2, 350);
  CSearchedPartitionInfo* ntfs = Candidate(EFileSystemType::NTFS, 100, 100);
  CSearchedPartitionInfo* fat = Candidate(EFileSystemType::FAT32, 300, 100);
  CSearchedPartitionInfo other;
  builder->FinishSearch();
  ASSERT_EQ(TreeTexts(), (std::vector<std::string>{"NTFS", "FAT32"}));

  CFileSystemNode* built = MakeRoot(EFileSystemType::NTFS, 5);
  built->AddChild(MakeNode(EFileSystemType::NTFS, {40, 5, "docs", true}));
  EXPECT_EQ(builder->SetPartitionRoot(built, ntfs), 1);
  EXPECT_EQ(builder->GetPartitionRoot(ntfs), built);

  std::unique_ptr<CFileNode> elsewhere(CreateFileNode());
  const struct {
    const char* what;
    CFileNode* node;
    CSearchedPartitionInfo* partition;
    int result;
  } partitionNodes[] = {
      {"a folder", MakeNode(EFileSystemType::FAT32, {50, 2, "photos", true}), fat, 1},
      {"a file in it", MakeNode(EFileSystemType::FAT32, {51, 50, "a.jpg"}), fat, 1},
      {"rejected by the filter", MakeNode(EFileSystemType::FAT32, {52, 50, "skip.jpg"}), fat, 1},
      {"linked elsewhere", MakeNode(EFileSystemType::FAT32, {53, 50, "twice.jpg"}), fat, 1},
      {"a partition without a tree", MakeNode(EFileSystemType::FAT32, {54, 50, "lost.jpg"}), &other, 0},
  };
  elsewhere->AddChild(partitionNodes[3].node);
  for (const auto& row : partitionNodes) {
    EXPECT_EQ(builder->AddPartitionNode(row.node, row.partition), row.result) << row.what;
    if (row.result == 0) DeleteFileNode(row.node);
  }
  EXPECT_EQ(elsewhere->GetFirstChild(), nullptr);

  // Found nodes are always the builder's, placed or destroyed.
  EXPECT_EQ(builder->AddFoundNode(CarvedFolder(), ntfs), 1);
  EXPECT_EQ(builder->AddFoundNode(MakeNode(EFileSystemType::RAW, {60, -15, "FILE000.JPG"}), ntfs), 1);
  EXPECT_EQ(builder->AddFoundNode(MakeNode(EFileSystemType::RAW, {61, -15, "skip.JPG"}), ntfs), 1);
  EXPECT_EQ(builder->AddFoundNode(MakeNode(EFileSystemType::RAW, {62, -15, "FILE001.JPG"}), &other), 0);
  builder->FinishPartition(ntfs);
  builder->FinishPartition(fat);
  builder->FinishBuild();

  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"root(More lost files(FILE000.JPG),docs)", "FAT32(photos(a.jpg))"}));
  const std::vector<std::string> tail(sink.events.end() - 2, sink.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"show final root", "show final FAT32"}));
  EXPECT_EQ(builder->GetNodeCount(), 4u);  // photos, a.jpg, the carved folder and its file
}

TEST_F(TreeBuilderTest, CarvedFilesOutsideAnyPartitionGetATreeOfTheirOwn) {
  Start();
  builder->FinishSearch();
  CFileSystemNode* carved = CarvedFolder();
  EXPECT_EQ(builder->AddFoundNode(carved, nullptr), 1);
  EXPECT_EQ(builder->AddFoundNode(MakeNode(EFileSystemType::RAW, {60, -15, "FILE000.JPG"}), nullptr), 1);
  builder->FinishBuild();
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"More lost files(FILE000.JPG)"}));
  EXPECT_EQ(builder->FindTreeByType(EFileSystemType::RAW), carved);
  EXPECT_EQ(sink.events.back(), "show final More lost files");
}

TEST_F(TreeBuilderTest, WhileTheBuildFlagIsSetTheEndDoesNothing) {
  Start();
  Root(EFileSystemType::NTFS, 5);
  File(EFileSystemType::NTFS, 10, 5, 150);
  builder->SetBuildFlag(1);
  EXPECT_EQ(builder->GetBuildFlag(), 1);
  const std::vector<std::string> before = sink.events;
  builder->FinishSearch();
  builder->FinishBuild();
  EXPECT_EQ(TreeTexts(), (std::vector<std::string>{"root(f)"}));
  EXPECT_EQ(sink.events, before);
}

TEST_F(TreeBuilderTest, FileSystemRootsAfterTheSearchAreIgnored) {
  Start();
  CFileNode* plain = MakeNode(EFileSystemType::NTFS, {1, -1, "plain"});
  EXPECT_EQ(builder->AddFileSystemNode(plain), 0);
  CFileSystemNode* unknown = MakeRoot(EFileSystemType::Unknown, 3);
  EXPECT_EQ(builder->AddFileSystemNode(unknown), 0);
  DeleteFileNode(plain);
  DeleteFileNode(unknown);
  builder->FinishSearch();
  CFileSystemNode* late = MakeRoot(EFileSystemType::NTFS, 5);
  late->AddChild(MakeNode(EFileSystemType::NTFS, {6, 5, "below"}));
  EXPECT_EQ(builder->AddFileSystemNode(late), 1);  // destroyed with its subtree
  EXPECT_TRUE(builder->GetTrees().empty());
}

TEST(RecycledFileName, Table) {
  const struct {
    const char* name;
    bool recycled;
  } rows[] = {{"$RAB12CD.docx", true}, {"#R0001", true}, {"$RmMetadata", false},
              {"$R", false},           {"$Rm", false},   {"$IAB12CD.docx", false},
              {"$r12.txt", false},     {"R", false},     {"$RmMetadata2", true}};
  for (const auto& r : rows) {
    std::unique_ptr<CFileNode> node(MakeNode(EFileSystemType::FAT32, {1, 2, r.name}));
    EXPECT_EQ(IsRecycledFileName(node.get()), r.recycled) << r.name;
  }
  std::unique_ptr<CFileNode> bare(CreateFileNode());
  EXPECT_FALSE(IsRecycledFileName(bare.get()));
}

// The quick mode holds the recycle bin back until the search ends, then
// gives its files their former names from their information files.
TEST(QuickTreeBuilder, RecycleBinIsHeldAndPaired) {
  // The information file lies in cluster 2 of a file system whose cluster 0
  // is at sector 6, with 2 sectors per cluster: sectors 10 and 11.
  std::vector<uint8_t> disk(64 * 512, 0);
  const std::vector<uint8_t> info = treetest::InfoBytes(1, u"C:\\Users\\x\\Documents\\report.docx");
  std::copy(info.begin(), info.end(), disk.begin() + 10 * 512);
  testutil::MemoryDevice device(disk);
  RecordingSink sink;
  NameFilter filter;
  CDirectoryTreeBuilder builder;
  ASSERT_EQ(builder.Init("E:", &sink, &filter, ETreeBuildMode::Quick, &device, 0), 1);
  CFileSystemNode* root = MakeRoot(EFileSystemType::FAT32, 5);
  root->SetPartitionGeometry(6, 2);
  ASSERT_EQ(builder.AddFileSystemNode(root), 1);
  CFileSystemNode* second = MakeRoot(EFileSystemType::FAT32, 6);
  EXPECT_EQ(builder.AddFileSystemNode(second), 0);
  DeleteFileNode(second);

  CFileNode* index = MakeNode(EFileSystemType::FAT32, {31, 21, "$IAB12CD.docx", false, false, 0, 544});
  treetest::SetRuns(index, {{2, 1}});
  const struct {
    CFileNode* node;
    bool found;  // given to OnNode during the search
  } stream[] = {
      {MakeNode(EFileSystemType::FAT32, {20, 5, "$RECYCLE.BIN", true}), false},
      {MakeNode(EFileSystemType::FAT32, {21, 20, "S-1-5-21", true}), false},
      {MakeNode(EFileSystemType::FAT32, {30, 21, "$RAB12CD.docx", false, false, 0, 100}), false},
      {index, false},
      {MakeNode(EFileSystemType::FAT32, {32, 21, "$IZZ.txt"}), false},  // no partner
      {MakeNode(EFileSystemType::FAT32, {33, 5, "$R99.txt"}), false},   // a recycled name outside the bin
      {MakeNode(EFileSystemType::FAT32, {40, 5, "$RmMetadata", false, true}), true},
      {MakeNode(EFileSystemType::FAT32, {41, 5, "gone.txt", false, true}), true},
      {MakeNode(EFileSystemType::FAT32, {42, 5, "live.txt"}), false},  // no result
      {MakeNode(EFileSystemType::FAT32, {43, 5, "skip.txt", false, true}), false},
  };
  std::vector<std::string> found;
  int error = 0;
  for (const auto& s : stream) {
    if (s.found) found.push_back(treetest::NameOf(s.node));
    EXPECT_EQ(builder.AddNode(s.node, ETreeKind::FAT, error), 1);
  }
  EXPECT_EQ(sink.found, found);
  EXPECT_EQ(Render(root), "root($RmMetadata*,gone.txt*)");

  builder.FinishSearch();
  builder.FinishBuild();
  EXPECT_EQ(Render(root), "root($R99.txt,$RECYCLE.BIN(S-1-5-21(report.docx)),$RmMetadata*,gone.txt*)");
  EXPECT_EQ(sink.events, (std::vector<std::string>{"start E:", "show root", "final nodes 0"}));
  EXPECT_EQ(sink.delivered, 6u);
  EXPECT_EQ(builder.FindTreeByType(EFileSystemType::FAT32), root);
}

// A quick search that ends without FinishSearch (cancelled): the held
// nodes go with the builder.
TEST(QuickTreeBuilder, HeldNodesGoWithTheBuilder) {
  testutil::MemoryDevice device(std::vector<uint8_t>(64 * 512, 0));
  RecordingSink sink;
  NameFilter filter;
  CDirectoryTreeBuilder builder;
  ASSERT_EQ(builder.Init("E:", &sink, &filter, ETreeBuildMode::Quick, &device, 0), 1);
  ASSERT_EQ(builder.AddFileSystemNode(MakeRoot(EFileSystemType::exFAT, 5)), 1);
  int error = 0;
  for (NodeShape s :
       {NodeShape{20, 5, "$RECYCLE.BIN", true}, NodeShape{30, 20, "$RAB.txt"}, NodeShape{31, 20, "$IAB.txt"}})
    EXPECT_EQ(builder.AddNode(MakeNode(EFileSystemType::exFAT, s), ETreeKind::exFAT, error), 1);
  EXPECT_TRUE(sink.found.empty());
}

}  // namespace
