// Recycle-bin naming on a FAT32 volume made by mkfs.fat and mtools. The
// nodes are built from the volume's directory entries as sleuthkit lists
// them (fls), with the clusters istat gives; the quick tree then reads each
// information file through its own clusters and gives the data files their
// former names back.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileSystemNode.h"
#include "CFileTree.h"
#include "IDataRunList.h"
#include "ImageFileDevice.h"
#include "RecycleBinNames.h"
#include "TestUtil.h"

namespace {

std::string Tool(const std::vector<std::string>& argv) {
  auto r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.output;
  return r.output;
}

uint64_t NumberAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  if (at == std::string::npos) return 0;
  return std::stoull(text.substr(at + key.size()));
}

struct Entry {
  int64_t inode = 0;
  std::string path;
  bool folder = false;
  bool deleted = false;
};

// "d/d 25:\tpath", "r/r * 5:\tname"; virtual entries and the label are left out.
std::vector<Entry> ListEntries(const std::string& image) {
  std::vector<Entry> entries;
  std::istringstream in(Tool({"fls", "-r", "-p", image}));
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find("(Volume Label Entry)") != std::string::npos) continue;
    if (line[0] != 'd' && line[0] != 'r') continue;
    Entry e;
    e.folder = line[0] == 'd';
    e.deleted = line.find(" * ") != std::string::npos;
    const size_t colon = line.rfind(':', tab);
    const size_t space = line.rfind(' ', colon);
    e.inode = std::stoll(line.substr(space + 1, colon - space - 1));
    e.path = line.substr(tab + 1);
    entries.push_back(e);
  }
  return entries;
}

class RecycleImage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"mkfs.fat", "mcopy", "python3", "fls", "istat", "fsstat", "fsck.fat"})
      if (!testutil::HaveTool(tool)) return;
    s_made = true;
    const std::string dir = testutil::SharedFixture("make_recycle_fat_image.sh", {}, "", s_error);
    if (!dir.empty()) s_image = dir + "/recycle.img";
  }
  void SetUp() override {
    if (!s_made) GTEST_SKIP() << "needs mkfs.fat, mtools, python3, sleuthkit (scripts/install-deps)";
    ASSERT_FALSE(s_image.empty()) << s_error;
  }

  // A node per directory entry: FAT properties with the entry's name, size
  // and deleted flag, and runs of the clusters istat lists.
  CFileNode* MakeNode(const Entry& e, const std::map<std::string, int64_t>& folders, uint64_t clusterZero,
                      uint32_t sectorsPerCluster) {
    const std::string stat = Tool({"istat", s_image, std::to_string(e.inode)});
    CFATFileProperties* p = CreateFATFileProperties();
    const size_t slash = e.path.rfind('/');
    p->SetName(e.path.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
    p->SetAttributes(e.folder ? kFileAttributeDirectory : 0x20);
    p->SetFileSize(static_cast<int64_t>(NumberAfter(stat, "\nSize: ")));
    p->SetDeleted(e.deleted ? 1 : 0);
    auto* runs = new CFATDataRunList();
    std::istringstream sectors(stat.substr(std::min(stat.size(), stat.find("Sectors:") + 8)));
    for (uint64_t s = 0; sectors >> s;)
      if ((s - clusterZero) % sectorsPerCluster == 0)
        runs->AppendMerged(DataRun{(s - clusterZero) / sectorsPerCluster, 1});
    m_runCounts[e.inode] = runs->GetRunCount();
    p->SetDataRunList(runs);
    CFileNode* node = CreateFileNode();
    node->SetId(e.inode);
    const std::string parent = slash == std::string::npos ? "" : e.path.substr(0, slash);
    node->SetParentId(parent.empty() ? 2 : folders.at(parent));
    node->SetProperties(p);
    return node;
  }

  static bool s_made;
  static std::string s_image, s_error;
  std::map<int64_t, size_t> m_runCounts;
};

bool RecycleImage::s_made = false;
std::string RecycleImage::s_image, RecycleImage::s_error;

std::string PathOf(const CFileNode* n) {
  std::string path;
  for (; n && n->GetParent(); n = n->GetParent()) path = "/" + std::string(n->GetProperties()->GetName()) + path;
  return path;
}

}  // namespace

TEST_F(RecycleImage, QuickTreeRestoresRecycledNames) {
  EXPECT_EQ(testutil::Run({"fsck.fat", "-n", s_image}).exitCode, 0);
  const std::string fs = Tool({"fsstat", s_image});
  const uint64_t sectorSize = NumberAfter(fs, "Sector Size: ");
  const uint32_t sectorsPerCluster = static_cast<uint32_t>(NumberAfter(fs, "Cluster Size: ") / sectorSize);
  ASSERT_GT(sectorsPerCluster, 0u);
  const uint64_t clusterZero = NumberAfter(fs, "Cluster Area: ") - 2 * sectorsPerCluster;

  ImageFileDevice device(s_image, static_cast<int>(sectorSize));
  CFileTree tree;
  CFileSystemNode* root = CreateFileSystemNode();
  root->SetId(2);
  root->SetFileSystemType(EFileSystemType::FAT32);
  root->SetPartitionGeometry(clusterZero, static_cast<int>(sectorsPerCluster));
  root->SetProperties(root->CreateRootProperties());
  ASSERT_EQ(tree.SetRoot(EFileSystemType::FAT32, root, &device, nullptr), 1);

  // As the builder does in the quick mode: recycle-bin content is kept back
  // and added after the search, folders by ascending parent id first.
  std::map<std::string, int64_t> folders;
  std::map<std::string, CFileNode*> byPath;
  std::vector<CFileNode*> heldFolders, heldFiles;
  std::vector<int64_t> heldIds;
  for (const Entry& e : ListEntries(s_image)) {
    if (e.folder) folders[e.path] = e.inode;
    CFileNode* node = MakeNode(e, folders, clusterZero, sectorsPerCluster);
    byPath[e.path] = node;
    const bool held = IsRecycleBinFolder(node) || std::count(heldIds.begin(), heldIds.end(), node->GetParentId());
    if (!held) {
      EXPECT_GE(tree.AddNode(node, nullptr), 0) << e.path;
      continue;
    }
    (e.folder ? heldFolders : heldFiles).push_back(node);
    if (e.folder) heldIds.push_back(e.inode);
  }
  std::stable_sort(heldFolders.begin(), heldFolders.end(),
                   [](CFileNode* a, CFileNode* b) { return a->GetParentId() < b->GetParentId(); });
  for (auto* list : {&heldFolders, &heldFiles})
    for (CFileNode* node : *list) EXPECT_EQ(tree.AddDeferredNode(node, nullptr), 1) << node->GetProperties()->GetName();
  EXPECT_EQ(tree.FinishTree(nullptr), 1);

  const std::string sid = "$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001";
  // The long information file lies in three runs, read across them.
  EXPECT_EQ(m_runCounts[byPath.at(sid + "/$ILONG77.docx")->GetId()], 3u);
  EXPECT_EQ(PathOf(byPath.at(sid + "/$RABC123.docx")), "/" + sid + "/report.docx");
  EXPECT_EQ(PathOf(byPath.at(sid + "/$RLONG77.docx")), "/" + sid + "/report.docx");
  // A recorded length past the file's end renames nothing.
  EXPECT_EQ(PathOf(byPath.at(sid + "/$RCUT001.txt")), "/" + sid + "/$RCUT001.txt");
  EXPECT_EQ(PathOf(byPath.at(sid + "/$IABC123.docx")), "/" + sid + "/$IABC123.docx");
  // Every pair met; only the SID folder, first into the empty list, waits.
  EXPECT_EQ(tree.GetPendingRecycleCount(), 1u);
  // The deleted file of the root is there; the live ones are not.
  std::vector<std::string> top;
  for (CFileNode* c = root->GetFirstChild(); c; c = c->GetNextSibling()) top.push_back(c->GetProperties()->GetName());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"$RECYCLE.BIN", "_ap3.bin", "_ld.txt"}));
}
