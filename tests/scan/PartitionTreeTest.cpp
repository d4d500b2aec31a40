// The partition tree and the quick file tree over synthetic node streams:
// arrival orders, duplicate ids, deleted parents, lost nodes, cycles of
// ids, and the operations the tree builder uses. Every case ends with the
// tree destroyed; the sanitizer build runs these with LeakSanitizer on.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "ByteOrder.h"
#include "CFATDataRunList.h"
#include "CFileTree.h"
#include "CPartitionTree.h"
#include "INodeFilter.h"
#include "IRecoveryResultSink.h"
#include "MemoryDevice.h"
#include "TreeTestSupport.h"

using namespace treetest;

namespace {

constexpr EFileSystemType kFat = EFileSystemType::FAT32;

struct StreamCase {
  const char* name;
  std::vector<NodeShape> stream;
  std::vector<int> results;         // AddNode's answer per node
  std::string tree;                 // after Finish
  std::vector<size_t> placed = {};  // nodes placed per call, when checked
};

std::vector<NodeShape> Chain(int length) {
  // Folder k (id 100 + k) lies in folder k - 1; the deepest arrives first.
  std::vector<NodeShape> shapes;
  for (int k = length - 1; k >= 0; --k) shapes.push_back(NodeShape{100 + k, k == 0 ? 5 : 100 + k - 1, "d", true});
  return shapes;
}

std::string ChainText(int length) {
  std::string text = "root(";
  for (int k = 0; k < length; ++k) text += k + 1 < length ? "d(" : "d";
  return text + std::string(static_cast<size_t>(length), ')');
}

std::vector<StreamCase> PartitionCases() {
  std::vector<StreamCase> cases = {
      {"FileBeforeFolder", {{10, 7, "f"}, {7, 5, "D", true}}, {0, 1}, "root(D(f))", {0, 2}},
      {"FolderBeforeParent",
       {{8, 7, "A", true}, {9, 8, "c"}, {7, 5, "B", true}},
       {0, 0, 1},
       "root(B(A(c)))",
       {0, 0, 3}},
      {"DeletedParentMarksChildren",
       {{7, 5, "D", true, true}, {8, 7, "E", true}, {9, 8, "f"}},
       {1, 1, 1},
       "root(D*(E*(f*)))"},
      // Two folders with id 7: the later-created one is first in map order.
      {"DuplicateIdsByCreationTime",
       {{7, 5, "second", true, false, 200},
        {7, 5, "first", true, false, 100},
        {8, 7, "between", false, false, 150},
        {9, 7, "older", false, false, 50},
        {10, 7, "newer", false, false, 250}},
       {1, 1, 1, 1, 1},
       "root(first(between),second(newer,older))"},
      {"OrphansUnderLostFiles",
       {{21, 20, "x"}, {20, 99, "O", true}, {30, 98, "y"}},
       {0, 0, 0},
       "root(Other lost files(O(x),y))"},
      {"EmptyLostFilesArePruned", {{30, 98, "y", false, false, 0, 0}}, {0}, "root(Other lost files)"},
      // A folder naming itself, and two folders naming each other.
      {"IdCyclesEndInLostFiles",
       {{30, 30, "S", true}, {31, 30, "s"}, {41, 42, "A", true}, {42, 41, "B", true}, {43, 41, "a"}, {44, 42, "b"}},
       {0, 0, 0, 0, 0, 0},
       "root(Other lost files(B(A(a),b),S(s)))"},
      {"CycleResolvedFromOutside",
       {{41, 42, "A", true}, {42, 41, "B", true}, {41, 5, "C", true}},
       {0, 0, 1},
       "root(C(B(A)))"},
      {"SelfParentBelowItsNamesake",
       {{50, 5, "P", true}, {50, 50, "Q", true}, {51, 50, "q", false, false, 5}},
       {1, 1, 1},
       "root(P(Q,q))"},
  };
  cases.push_back({"LongWaitingChain", Chain(300), std::vector<int>(299, 0), ChainText(300)});
  cases.back().results.push_back(1);
  // The same chain whose top names a parent that never comes stays whole
  // below the lost files (a file at the bottom keeps it from being pruned).
  std::vector<NodeShape> lost = {{1000, 399, "f"}};
  for (const NodeShape& s : Chain(300)) lost.push_back(s);
  lost.back().parent = 999;
  const std::string lostText = "root(Other lost files(" + std::string(300 * 2, ' ') + "f" + std::string(302, ')');
  cases.push_back({"LostChainStaysTogether", lost, std::vector<int>(301, 0), lostText});
  for (size_t i = 0; i < 300; ++i) cases.back().tree.replace(22 + 2 * i, 2, "d(");
  return cases;
}

void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.name;
}

class PartitionTreeStreams : public ::testing::TestWithParam<StreamCase> {};

}  // namespace

TEST_P(PartitionTreeStreams, BuildsTheExpectedTree) {
  const StreamCase& c = GetParam();
  CPartitionTree tree;
  ASSERT_EQ(tree.SetRoot(kFat, MakeRoot(kFat)), 1);
  for (size_t i = 0; i < c.stream.size(); ++i) {
    std::vector<CFileNode*> placed;
    EXPECT_EQ(tree.AddNode(MakeNode(kFat, c.stream[i]), &placed), c.results[i]) << "node " << i;
    if (!c.placed.empty()) {
      EXPECT_EQ(placed.size(), c.placed[i]) << "node " << i;
    }
  }
  std::vector<CFileNode*> placed;
  EXPECT_EQ(tree.Finish(&placed), 1);
  EXPECT_EQ(Render(tree.GetRoot()), c.tree);
  if (tree.GetLostFilesFolder()) {
    EXPECT_EQ(tree.GetLostFilesFolder()->GetId(), -14);
    EXPECT_EQ(placed.front(), tree.GetLostFilesFolder());
  }
  for (CFileNode* n : placed) EXPECT_NE(n->GetParent(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Streams, PartitionTreeStreams, ::testing::ValuesIn(PartitionCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PartitionTree, LostFilesFolderOfEachType) {
  EngineFolders engines;
  struct Row {
    EFileSystemType type;
    EPartitionKind kind;
    const char* name;
    uint8_t deleted;
  };
  const Row rows[] = {
      {EFileSystemType::FAT16, EPartitionKind::FAT, "Other lost files", 0},
      {EFileSystemType::NTFS, EPartitionKind::NTFS, "Other lost files", 0},
      {EFileSystemType::Ext3, EPartitionKind::Ext2, "Other lost files", 0},
      {EFileSystemType::exFAT, EPartitionKind::exFAT, "Other lost files", 0},
      {EFileSystemType::HFSPlus, EPartitionKind::HFSPlus, "Other lost files", 9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + std::to_string(static_cast<int>(row.type)));
    CPartitionTree tree;
    ASSERT_EQ(tree.SetRoot(row.type, MakeRoot(row.type)), 1);
    EXPECT_EQ(tree.AddNode(MakeNode(row.type, {20, 99, "O", true}), nullptr), 0);
    EXPECT_EQ(tree.AddNode(MakeNode(row.type, {21, 20, "empty", false, false, 0, 0}), nullptr), 0);
    tree.Finish(nullptr);
    CFileNode* lost = tree.GetLostFilesFolder();
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->GetParent(), tree.GetRoot());
    EXPECT_EQ(lost->GetId(), -14);
    EXPECT_STREQ(lost->GetProperties()->GetName(), row.name);
    EXPECT_EQ(lost->GetProperties()->GetSearchKind(), row.kind);
    EXPECT_EQ(lost->GetProperties()->GetAttributes() & kFileAttributeDirectory, kFileAttributeDirectory);
    EXPECT_EQ(lost->GetProperties()->IsDeleted(), row.deleted);
    // HFS+ keeps empty results; the others prune them.
    EXPECT_EQ(Render(lost), row.type == EFileSystemType::HFSPlus ? "Other lost files*(O(empty))" : "Other lost files");
  }
  // Without an engine's member there is no folder and the nodes stay parked.
  RegisterFolderProperties(EFileSystemType::HFSPlus, nullptr);
  CPartitionTree tree;
  tree.SetRoot(EFileSystemType::HFSPlus, MakeRoot(EFileSystemType::HFSPlus));
  tree.AddNode(MakeNode(EFileSystemType::HFSPlus, {20, 99, "O", true}), nullptr);
  tree.Finish(nullptr);
  EXPECT_EQ(tree.GetLostFilesFolder(), nullptr);
  EXPECT_EQ(tree.GetNodeCount(), 2u);
}

TEST(PartitionTree, RawTreesKeepOrphansParked) {
  CPartitionTree tree;
  ASSERT_EQ(tree.SetRoot(EFileSystemType::RAW, MakeRoot(EFileSystemType::RAW)), 1);
  EXPECT_EQ(tree.AddNode(MakeNode(EFileSystemType::RAW, {20, 99, "carved.jpg"}), nullptr), 0);
  tree.Finish(nullptr);
  EXPECT_EQ(tree.GetLostFilesFolder(), nullptr);
  EXPECT_EQ(Render(tree.GetRoot()), "root");
}

TEST(PartitionTree, RefusesWhatItCannotOwn) {
  CPartitionTree tree;
  CFileSystemNode* root = MakeRoot(kFat);
  CFileNode* plain = MakeNode(kFat, {5, 1, "plain", true});
  EXPECT_EQ(tree.SetRoot(EFileSystemType::Unknown, root), 0);
  EXPECT_EQ(tree.SetRoot(kFat, nullptr), 0);
  EXPECT_EQ(tree.SetRoot(kFat, plain), 0);
  ASSERT_EQ(tree.SetRoot(kFat, root), 1);
  EXPECT_EQ(tree.AddNode(nullptr, nullptr), -1);
  EXPECT_EQ(tree.AddNode(root, nullptr), 1);  // held already
  // A node that already hangs below another is not the tree's to keep.
  CFileNode* other = MakeNode(kFat, {60, 61, "elsewhere", true});
  CFileNode* child = MakeNode(kFat, {62, 60, "child"});
  other->AddChild(child);
  std::vector<CFileNode*> placed;
  EXPECT_EQ(tree.AddNode(child, &placed), -1);
  EXPECT_TRUE(placed.empty());
  EXPECT_EQ(tree.GetNodeCount(), 1u);
  DeleteFileNode(child);
  DeleteFileNode(other);
  DeleteFileNode(plain);
}

TEST(PartitionTree, GetNodeAtWalksEverySectionInOrder) {
  CPartitionTree tree;
  tree.SetRoot(kFat, MakeRoot(kFat));
  const std::vector<NodeShape> stream = {{7, 5, "D", true},   {8, 7, "E", true},   {9, 7, "f"},   {10, 8, "g"},
                                         {20, 99, "W", true}, {21, 98, "V", true}, {30, 97, "w"}, {31, 96, "v"}};
  for (const NodeShape& s : stream) tree.AddNode(MakeNode(kFat, s), nullptr);
  ASSERT_EQ(tree.GetNodeCount(), 9u);
  std::vector<std::string> names;
  for (uint64_t i = 0; i < tree.GetNodeCount(); ++i) names.push_back(NameOf(tree.GetNodeAt(i)));
  // Linked folders by id, waiting folders by parent id, linked files in
  // arrival order, waiting files by parent id.
  const std::vector<std::string> expected = {"root", "D", "E", "V", "W", "f", "g", "v", "w"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(tree.GetNodeAt(9), nullptr);
  // Out of order: found by counting, and the walk goes on from there.
  EXPECT_EQ(NameOf(tree.GetNodeAt(2)), "E");
  EXPECT_EQ(NameOf(tree.GetNodeAt(4)), "W");
  EXPECT_EQ(NameOf(tree.GetNodeAt(1)), "D");
  EXPECT_EQ(NameOf(tree.GetNodeAt(2)), "E");
}

TEST(PartitionTree, TakeAnyNodeAndForgetAllHandOwnershipOver) {
  std::vector<CFileNode*> taken;
  {
    CPartitionTree tree;
    tree.SetRoot(kFat, MakeRoot(kFat));
    for (const NodeShape& s :
         std::vector<NodeShape>{{7, 5, "D", true}, {9, 7, "f"}, {20, 99, "W", true}, {30, 97, "w"}})
      tree.AddNode(MakeNode(kFat, s), nullptr);
    while (CFileNode* n = tree.TakeAnyNode()) {
      EXPECT_EQ(n->GetParent(), nullptr);
      EXPECT_EQ(n->GetFirstChild(), nullptr);
      taken.push_back(n);
    }
    EXPECT_EQ(tree.GetNodeCount(), 0u);
    EXPECT_EQ(tree.GetRoot(), nullptr);
  }
  std::vector<std::string> names;
  for (CFileNode* n : taken) names.push_back(NameOf(n));
  EXPECT_EQ(names, (std::vector<std::string>{"root", "D", "W", "f", "w"}));
  for (CFileNode* n : taken) DeleteFileNode(n);

  CFileSystemNode* root = MakeRoot(kFat);
  {
    CPartitionTree tree;
    tree.SetRoot(kFat, root);
    tree.AddNode(MakeNode(kFat, {7, 5, "D", true}), nullptr);
    tree.AddNode(MakeNode(kFat, {20, 99, "W", true}), nullptr);
    tree.AddNode(MakeNode(kFat, {21, 20, "w"}), nullptr);
    tree.Finish(nullptr);
    tree.ForgetAll();
    EXPECT_EQ(tree.GetNodeCount(), 0u);
    EXPECT_EQ(tree.GetRoot(), nullptr);
    EXPECT_EQ(tree.GetNodeAt(0), nullptr);
  }
  // Every node still hangs below the root the caller now owns.
  EXPECT_EQ(Render(root), "root(D,Other lost files(W(w)))");
  std::vector<CFileNode*> all{root};
  for (size_t i = 0; i < all.size(); ++i)
    for (CFileNode* c = all[i]->GetFirstChild(); c; c = c->GetNextSibling()) all.push_back(c);
  for (CFileNode* n : all) DeleteFileNode(n);
}

namespace {

struct NameFilter : INodeFilter {
  std::set<std::string> rejected;
  int Accept(CFileNode* node) override { return rejected.count(NameOf(node)) ? 0 : 1; }
};

// root(A(a1,B(b1)),c): built by an engine, not yet in any tree.
CFileSystemNode* BuiltTree(EFileSystemType type) {
  CFileSystemNode* root = MakeRoot(type);
  CFileNode* a = MakeNode(type, {7, 5, "A", true});
  CFileNode* b = MakeNode(type, {8, 7, "B", true});
  root->AddChild(a);
  root->AddChild(MakeNode(type, {9, 5, "c"}));
  a->AddChild(b);
  a->AddChild(MakeNode(type, {10, 7, "a1"}));
  b->AddChild(MakeNode(type, {11, 8, "b1"}));
  return root;
}

}  // namespace

TEST(PartitionTree, AttachFilteredTreeDropsRejectedSubtrees) {
  struct Row {
    std::set<std::string> rejected;
    EFileSystemType type;
    const char* tree;
    uint64_t count;
  };
  const Row rows[] = {
      {{}, kFat, "root(A(B(b1),a1),c)", 6},
      {{"A"}, kFat, "root(c)", 2},
      {{"b1", "c"}, kFat, "root(A(B,a1))", 4},
      {{"root"}, kFat, "null", 0},
      // exFAT: the root is entered by its id only; the filter is not asked.
      {{"A"}, EFileSystemType::exFAT, "root(A(B(b1),a1),c)", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tree);
    CPartitionTree tree;
    tree.SetRoot(row.type, MakeRoot(row.type));
    tree.AddNode(MakeNode(row.type, {7, 5, "old", true}), nullptr);
    tree.AddNode(MakeNode(row.type, {30, 99, "parked"}), nullptr);
    NameFilter filter;
    filter.rejected = row.rejected;
    EXPECT_EQ(tree.AttachFilteredTree(BuiltTree(row.type), &filter), 1);
    EXPECT_EQ(Render(tree.GetRoot()), row.tree);
    EXPECT_EQ(tree.GetNodeCount(), row.count);
  }
  CPartitionTree tree;
  CFileNode* plain = MakeNode(kFat, {1, 0, "plain", true});
  EXPECT_EQ(tree.AttachFilteredTree(plain, nullptr), 0);
  EXPECT_EQ(tree.AttachFilteredTree(nullptr, nullptr), 0);
  DeleteFileNode(plain);
}

TEST(PartitionTree, ReplaceRootDestroysTheOldContent) {
  CPartitionTree tree;
  tree.SetRoot(kFat, MakeRoot(kFat));
  tree.AddNode(MakeNode(kFat, {7, 5, "D", true}), nullptr);
  tree.AddNode(MakeNode(kFat, {8, 7, "f"}), nullptr);
  tree.AddNode(MakeNode(kFat, {30, 99, "w"}), nullptr);
  ASSERT_EQ(tree.ReplaceRoot(EFileSystemType::HFSPlus, MakeRoot(EFileSystemType::HFSPlus, 2)), 1);
  EXPECT_EQ(tree.GetNodeCount(), 1u);
  EXPECT_EQ(tree.GetFileSystemType(), EFileSystemType::HFSPlus);
  EXPECT_EQ(tree.AddNode(MakeNode(EFileSystemType::HFSPlus, {16, 2, "x"}), nullptr), 1);
}

TEST(PartitionTree, RawSubTreeJoinsTheRoot) {
  CPartitionTree tree;
  tree.SetRoot(EFileSystemType::NTFS, MakeRoot(EFileSystemType::NTFS));
  EXPECT_EQ(tree.AttachRawTree(), 0);
  // Only carved nodes are placed.
  CFileNode* ntfsNode = MakeNode(EFileSystemType::NTFS, {40, 5, "file.txt"});
  EXPECT_EQ(tree.AddRawNode(ntfsNode), 0);
  DeleteFileNode(ntfsNode);
  CFileSystemNode* rawRoot = MakeRoot(EFileSystemType::RAW, 1);
  EXPECT_EQ(tree.AddRawNode(rawRoot), 1);
  EXPECT_EQ(tree.AddRawNode(MakeNode(EFileSystemType::RAW, {2, 1, "More lost files", true})), 1);
  EXPECT_EQ(tree.AddRawNode(MakeNode(EFileSystemType::RAW, {3, 1, "Empty type", true})), 1);
  EXPECT_EQ(tree.AddRawNode(MakeNode(EFileSystemType::RAW, {4, 2, "0001.jpg"})), 1);
  ASSERT_NE(tree.GetRawTree(), nullptr);
  EXPECT_EQ(tree.AttachRawTree(), 1);
  EXPECT_EQ(tree.GetRoot()->GetFirstChild(), rawRoot);
  EXPECT_EQ(Render(tree.GetRoot()), "root(root(More lost files(0001.jpg)))");
  EXPECT_EQ(tree.GetRawTree()->GetNodeCount(), 4u);  // the unlinked folder is still held
}

// The quick tree: only deleted files and the folders leading to them.
namespace {

struct QuickCase {
  const char* name;
  std::vector<NodeShape> stream;
  std::vector<int> results;
  std::string tree;  // after FinishTree
};

std::vector<QuickCase> QuickCases() {
  return {
      {"LiveFoldersClonedUpToTheRoot",
       {{10, 5, "L1", true},
        {11, 10, "L2", true},
        {12, 11, "live.txt"},
        {13, 11, "gone.txt", false, true},
        {14, 10, "Unused", true}},
       {0, 0, 0, 1, 0},
       "root(L1(L2(gone.txt*)))"},
      {"DeletedFileBeforeItsLiveFolders",
       {{13, 11, "gone.txt", false, true}, {11, 10, "L2", true}, {10, 5, "L1", true}},
       {0, 0, 0},
       "root(L1(L2(gone.txt*)))"},
      {"LiveFolderWithWaitingChildLinksItself",
       {{13, 11, "gone.txt", false, true}, {11, 5, "L", true}},
       {0, 1},
       "root(L(gone.txt*))"},
      {"DeletedFolderKeepsItsDeletedFiles",
       {{20, 5, "D", true, true}, {21, 20, "a", false, true}, {22, 20, "b", false, true}},
       {1, 1, 1},
       "root(D*(a*,b*))"},
      {"LoopOfLiveFoldersEnds",
       {{20, 21, "A", true},
        {21, 20, "B", true},
        {22, 20, "x", false, true},
        {23, 23, "S", true},
        {24, 23, "y", false, true}},
       {0, 0, 0, 0, 0},
       "root(Other lost files(x*,y*))"},
      {"DeletedSelfParentEnds",
       {{30, 30, "Z", true, true}, {31, 30, "z", false, true}},
       {0, 0},
       "root(Other lost files(Z*(z*)))"},
  };
}

void PrintTo(const QuickCase& c, std::ostream* os) {
  *os << c.name;
}

class FileTreeStreams : public ::testing::TestWithParam<QuickCase> {};

}  // namespace

TEST_P(FileTreeStreams, KeepsDeletedFilesAndTheirWay) {
  const QuickCase& c = GetParam();
  testutil::MemoryDevice device(16, 512);
  CFileTree tree;
  CFileSystemNode* root = MakeRoot(kFat);
  ASSERT_EQ(tree.SetRoot(kFat, root, &device, nullptr), 1);
  for (size_t i = 0; i < c.stream.size(); ++i)
    EXPECT_EQ(tree.AddNode(MakeNode(kFat, c.stream[i]), nullptr), c.results[i]) << "node " << i;
  std::vector<CFileNode*> placed;
  EXPECT_EQ(tree.FinishTree(&placed), 1);
  EXPECT_EQ(tree.GetUnusedLiveFolderCount(), 0u);
  EXPECT_EQ(Render(root), c.tree);
  for (CFileNode* n : placed) EXPECT_NE(n->GetParent(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Streams, FileTreeStreams, ::testing::ValuesIn(QuickCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileTree, OrphansOfRawAndHfsTrees) {
  EngineFolders engines;
  testutil::MemoryDevice device(16, 512);
  for (EFileSystemType type : {EFileSystemType::RAW, EFileSystemType::HFSPlus, EFileSystemType::exFAT}) {
    SCOPED_TRACE(static_cast<int>(type));
    CFileTree tree;
    ASSERT_EQ(tree.SetRoot(type, MakeRoot(type), &device, nullptr), 1);
    EXPECT_EQ(tree.AddNode(MakeNode(type, {20, 99, "lost.bin", false, true}), nullptr), 0);
    tree.FinishTree(nullptr);
    CFileNode* lost = tree.GetLostFilesFolder();
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->GetId(), -14);
    EXPECT_EQ(lost->GetParent(), tree.GetRoot());
    // A carved folder's name setter keeps nothing.
    EXPECT_STREQ(lost->GetProperties()->GetName(), type == EFileSystemType::RAW ? "" : "Other lost files");
    EXPECT_EQ(lost->GetProperties()->IsDeleted(), type == EFileSystemType::HFSPlus ? 9 : 0);
  }
}

TEST(FileTree, RefusesWhatItCannotOwn) {
  testutil::MemoryDevice device(16, 512);
  CFileTree tree;
  CFileSystemNode* root = MakeRoot(kFat);
  EXPECT_EQ(tree.SetRoot(kFat, root, nullptr, nullptr), 0);
  ASSERT_EQ(tree.SetRoot(kFat, root, &device, nullptr), 1);
  EXPECT_EQ(tree.AddNode(nullptr, nullptr), -1);
  CFileNode* holder = MakeNode(kFat, {60, 61, "holder", true});
  CFileNode* child = MakeNode(kFat, {62, 60, "child", false, true});
  holder->AddChild(child);
  EXPECT_EQ(tree.AddNode(child, nullptr), -1);
  EXPECT_EQ(tree.AddDeferredNode(child, nullptr), -1);
  DeleteFileNode(child);
  DeleteFileNode(holder);
}

namespace {

struct ChangeSink : IRecoveryResultSink {
  std::vector<std::string> changed;
  void OnStart(const char*) override {}
  void OnNodes(std::vector<CFileNode*>&, int) override {}
  void OnRoot(CFileNode*, int) override {}
  void OnRemove(CFileNode*) override {}
  void OnNode(CFileNode*) override {}
  void OnNodeChanged(CFileNode* node) override { changed.push_back(NameOf(node)); }
};

}  // namespace

TEST(FileTree, DeferredExFatFilesGoBelowTheRecycleBin) {
  EngineFolders engines;
  const EFileSystemType exfat = EFileSystemType::exFAT;
  testutil::MemoryDevice device(16, 512);
  CFileTree tree;
  CFileSystemNode* root = MakeRoot(exfat);
  ASSERT_EQ(tree.SetRoot(exfat, root, &device, nullptr), 1);
  EXPECT_EQ(tree.AddNode(MakeNode(exfat, {30, 5, "Outside", true, true}), nullptr), 1);
  EXPECT_EQ(tree.AddNode(MakeNode(exfat, {31, 5, "Other", true, true}), nullptr), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(exfat, {10, 5, "$RECYCLE.BIN", true}), nullptr), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(exfat, {30, 10, "Inside", true}), nullptr), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(exfat, {40, 30, "kept.txt"}), nullptr), 1);
  EXPECT_EQ(tree.AddNode(MakeNode(exfat, {41, 30, "deleted.txt", false, true}), nullptr), 1);
  // No folder of that id in a recycle bin: the file waits.
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(exfat, {42, 31, "stray.txt"}), nullptr), 0);
  tree.FinishTree(nullptr);
  EXPECT_EQ(Render(root),
            "root($RECYCLE.BIN(Inside(kept.txt)),Other lost files(stray.txt),Other*,Outside*(deleted.txt*))");
}

TEST(FileTree, RecycledFolderRenameIsReported) {
  // The information file of a recycled folder in sectors 10 and 11.
  std::vector<uint8_t> disk(16 * 512, 0);
  const std::u16string path = u"C:\\Users\\x\\Projects";
  WriteLE64(disk.data() + 10 * 512, 2);
  WriteLE32(disk.data() + 10 * 512 + 24, static_cast<uint32_t>(path.size() + 1));
  for (size_t i = 0; i < path.size(); ++i) WriteLE16(disk.data() + 10 * 512 + 28 + 2 * i, path[i]);
  testutil::MemoryDevice device(disk);
  ChangeSink sink;
  CFileTree tree;
  CFileSystemNode* root = MakeRoot(kFat);
  root->SetPartitionGeometry(0, 1);
  ASSERT_EQ(tree.SetRoot(kFat, root, &device, &sink), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(kFat, {10, 5, "$Recycle.Bin", true}), nullptr), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(kFat, {11, 10, "S-1-5-21-1", true}), nullptr), 1);
  EXPECT_EQ(tree.AddDeferredNode(MakeNode(kFat, {12, 11, "$RFOLD1", true}), nullptr), 1);
  CFileNode* info = MakeNode(kFat, {13, 11, "$IFOLD1", false, false, 0, 100});
  auto* runs = new CFATDataRunList();
  runs->AppendMerged(DataRun{10, 1});
  static_cast<CFATFileProperties*>(info->GetProperties())->SetDataRunList(runs);
  EXPECT_EQ(tree.AddDeferredNode(info, nullptr), 1);
  EXPECT_EQ(sink.changed, (std::vector<std::string>{"Projects"}));
  EXPECT_EQ(Render(root), "root($Recycle.Bin(S-1-5-21-1($IFOLD1,Projects)))");
}
