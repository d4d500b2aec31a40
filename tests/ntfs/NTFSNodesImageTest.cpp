// Nodes from FILE records, INDX blocks, record numbers and resident reads on
// volumes made by mkntfs (512- and 4096-byte sectors) and filled through
// ntfs-3g, checked against sleuthkit (fls, istat, icat).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "CNTFSDBR.h"
#include "CNTFSFileProperties.h"
#include "CNTFSFileRecord.h"
#include "CNTFSMFTRecordInfo.h"
#include "CNTFSNodeFactory.h"
#include "CNTFSQuickSearch.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "FolderRecordInfo.h"
#include "IDataRunList.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "ImageFileDevice.h"
#include "NTFSAttributeList.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"
#include "NTFSResidentReader.h"
#include "RecordBuilder.h"
#include "RecycleBinNames.h"
#include "ScanEngineRegistry.h"
#include "SleuthkitIstat.h"
#include "TestUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ntfstest::FlsEntry;

struct NodeDeleter {
  void operator()(CFileNode* n) const { DeleteFileNode(n); }
};
using Node = std::unique_ptr<CFileNode, NodeDeleter>;

// The volume as the engine reads it: geometry from the boot sector, the
// $MFT's runs from record 0, and a candidate partition at sector 0.
struct Volume {
  Volume(const std::string& path, int sectorSize) : device(path, sectorSize), sectorSize(sectorSize) {
    SetNTFSEngineSectorSize(sectorSize);
  }
  ~Volume() { SetNTFSEngineSectorSize(512); }
  bool Open() {
    Bytes sector(sectorSize);
    if (!device.ReadSectors(sector.data(), 0, 1) || !dbr.SetFromSector(sector.data())) return false;
    spc = dbr.GetSectorsPerCluster();
    recordSize = static_cast<uint32_t>(dbr.GetFileRecordSize());
    const uint64_t mftSector = dbr.GetMFTCluster() * spc;
    Bytes record0;
    if (!Read(mftSector, record0)) return false;
    CNTFSFileRecord view(record0.data(), static_cast<int>(record0.size()), false);
    mft = CreateMFTRecordInfo(view, mftSector);
    if (!mft) return false;
    partition.SetStartSector(0);
    partition.SetSectorsPerCluster(spc);
    partition.SetSectorCount(device.GetSectorCount());
    return true;
  }
  uint32_t SectorsPerRecordHere() const { return SectorsPerRecord(recordSize, static_cast<uint32_t>(sectorSize)); }
  int64_t RecordSector(uint64_t number) const {
    return GetRecordSectorFromRunList(number, spc, 0, mft->GetRunList(), static_cast<uint8_t>(SectorsPerRecordHere()));
  }
  bool Read(uint64_t sector, Bytes& out) {
    out.assign(recordSize, 0);
    return device.ReadSectors(out.data(), sector, SectorsPerRecordHere()) != 0;
  }
  uint64_t RecordCount() const { return mft->GetRunList().GetClusterCount() * spc * sectorSize / recordSize; }

  ImageFileDevice device;
  int sectorSize;
  CNTFSDBR dbr;
  uint8_t spc = 0;
  uint32_t recordSize = 0;
  std::unique_ptr<CNTFSMFTRecordInfo> mft;
  CSearchedNTFSPartitionInfo partition;
};

class NTFSNodesImage : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkntfs");
    VT_REQUIRE_TOOL("ntfs-3g");
    VT_REQUIRE_TOOL("fls");
    if (!testutil::HaveFuse()) GTEST_SKIP() << "needs /dev/fuse (runs in CI)";
    std::string error;
    image = testutil::SharedFixture("make-ntfs-nodes-image.sh", {std::to_string(GetParam())}, "volume.img", error);
    ASSERT_FALSE(image.empty()) << error;
    volume = std::make_unique<Volume>(image, GetParam());
    ASSERT_TRUE(volume->Open());
    ASSERT_EQ(volume->recordSize, GetParam() == 4096 ? 4096u : 1024u);
    entries = ntfstest::ListFiles({image});
    for (const FlsEntry& e : entries)
      if (e.path.find(':') == std::string::npos) byInode[e.inode].push_back(e);
  }
  uint64_t InodeOf(const std::string& path) const {
    for (const FlsEntry& e : entries)
      if (e.path == path) return e.inode;
    return 0;
  }
  std::string image;
  std::unique_ptr<Volume> volume;
  std::vector<FlsEntry> entries;
  std::map<uint64_t, std::vector<FlsEntry>> byInode;
};

std::vector<uint64_t> Clusters(const IFileProperties& p) {
  std::unique_ptr<IDataRunList> list(p.GetDataRunList());
  std::vector<uint64_t> out;
  if (!list || list->IsResident()) return out;
  for (const DataRun& run : list->Runs())
    for (uint64_t i = 0; i < run.length; ++i) out.push_back(run.IsSparse() ? 0 : run.start + i);
  return out;
}

TEST_P(NTFSNodesImage, EveryRecordBecomesTheNodeSleuthkitLists) {
  Volume& v = *volume;
  CNTFSNodeFactory factory(&v.device, nullptr);
  std::map<std::string, uint64_t> folders = {{"", 5}};
  for (const FlsEntry& e : entries)
    if (e.directory) folders[e.path] = e.inode;

  int nodes = 0, deleted = 0, folderNodes = 0, withList = 0, olderLayout = 0;
  std::set<uint64_t> seen;
  for (uint64_t n = 0; n < v.RecordCount(); ++n) {
    const int64_t sector = v.RecordSector(n);
    ASSERT_GE(sector, 0);
    Bytes record;
    ASSERT_TRUE(v.Read(static_cast<uint64_t>(sector), record));
    if (!IsValidFileRecord(record.data(), static_cast<int>(record.size()))) continue;
    SCOPED_TRACE("record " + std::to_string(n));
    EXPECT_EQ(RecordNumberFromSector(sector, *v.mft, 0, v.spc, v.recordSize, v.sectorSize), static_cast<int64_t>(n));
    if (n > 0) {
      const int64_t next = v.sectorSize == 4096 ? static_cast<int64_t>(n + 1) : -1;
      EXPECT_EQ(RecordNumberFromSector(sector + 1, *v.mft, 0, v.spc, v.recordSize, v.sectorSize), next);
    }
    Node node(factory.CreateFileNodeFromRecord(record.data(), static_cast<int>(record.size()), sector, &v.partition,
                                               v.mft.get()));
    if (n < 12) {
      EXPECT_FALSE(node) << "a system record gave a node";
      continue;
    }
    CNTFSFileRecord view(record.data(), static_cast<int>(record.size()), false);
    if (view.IsExtensionRecord()) {
      EXPECT_FALSE(node);
      continue;
    }
    auto listed = byInode.find(n);
    if (!node) {
      // Only the reserved records without a name give none.
      EXPECT_TRUE(listed == byInode.end() || listed->second[0].path.rfind("$OrphanFiles/", 0) == 0);
      continue;
    }
    ASSERT_NE(listed, byInode.end()) << "a node for a record fls does not list";
    ++nodes;
    seen.insert(n);
    const IFileProperties& p = *node->GetProperties();
    EXPECT_EQ(node->GetId(), static_cast<int64_t>(n));
    EXPECT_EQ(node->GetPosition(), static_cast<uint64_t>(sector));
    // A hard link lists the record under each name: the node takes one.
    bool nameMatched = false;
    for (const FlsEntry& e : listed->second) {
      const size_t slash = e.path.rfind('/');
      const std::string folder = slash == std::string::npos ? "" : e.path.substr(0, slash);
      const std::string name = e.path.substr(slash == std::string::npos ? 0 : slash + 1);
      if (name == p.GetName() && node->GetParentId() == static_cast<int64_t>(folders[folder])) nameMatched = true;
    }
    EXPECT_TRUE(nameMatched) << p.GetName() << " under " << node->GetParentId();
    EXPECT_EQ(p.IsDeleted() != 0, listed->second[0].deleted);
    deleted += listed->second[0].deleted;
    const bool directory = (p.GetAttributes() & 0x10) != 0;
    EXPECT_EQ(directory, listed->second[0].directory);
    const std::string& path = listed->second[0].path;
    if (directory) {
      ++folderNodes;
    } else if (path.rfind("many/", 0) == 0) {
      // The 300 files of the large folder hold "file <n>\n" (fls names them).
      const std::string number = path.substr(18, path.size() - 18 - 4);  // "many/entry number " ... ".txt"
      EXPECT_EQ(p.GetFileSize(), static_cast<int64_t>(6 + number.size()));
    } else {
      ntfstest::IstatData expected;
      const std::string text = ntfstest::Istat({image}, n);
      ASSERT_TRUE(ntfstest::ParseIstat(text, expected)) << text;
      EXPECT_EQ(p.GetFileSize(), static_cast<int64_t>(expected.size));
      if (expected.nonResident) {
        std::vector<uint64_t> clusters = Clusters(p);
        ASSERT_EQ(clusters.size(), expected.clusters.size());
        const uint64_t inData = (expected.size + v.dbr.GetBytesPerCluster() - 1) / v.dbr.GetBytesPerCluster();
        for (size_t i = inData; i < clusters.size(); ++i)
          if (expected.clusters[i] == 0) clusters[i] = 0;  // istat: allocated past the data
        EXPECT_EQ(clusters, expected.clusters);
      }
      const auto* ntfs = dynamic_cast<const CNTFSFileProperties*>(&p);
      const bool hasList = ntfs && ntfs->GetRecordList() && !ntfs->GetRecordList()->IsEmpty();
      EXPECT_EQ(hasList, text.find("$ATTRIBUTE_LIST") != std::string::npos);
      withList += hasList;
    }
    // The older layout carries no number: the place in the $MFT gives it.
    Bytes older = record;
    ntfstest::ToOlderLayout(older.data());
    Node again(factory.CreateFileNodeFromRecord(older.data(), static_cast<int>(older.size()), sector, &v.partition,
                                                v.mft.get()));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->GetId(), static_cast<int64_t>(n));
    ++olderLayout;
  }
  // Every file and folder fls lists beyond the system records has its node.
  for (const auto& [inode, list] : byInode) {
    if (inode < 12 || list[0].path.rfind("$OrphanFiles", 0) == 0) continue;
    EXPECT_TRUE(seen.count(inode)) << list[0].path;
  }
  EXPECT_GT(nodes, 300);
  EXPECT_EQ(deleted, 3);      // gone1.bin, gone2.bin, gone-small.txt
  EXPECT_EQ(folderNodes, 5);  // many, small, small/deeper, $RECYCLE.BIN and its user folder
  // frag.bin's runs need extension records when records are 1024 bytes.
  EXPECT_EQ(withList, v.recordSize == 1024 ? 1 : 0);
  EXPECT_EQ(olderLayout, nodes);
}

TEST_P(NTFSNodesImage, IndexBlocksOfALargeFolderNameIt) {
  Volume& v = *volume;
  const uint64_t folder = InodeOf("many");
  ASSERT_NE(folder, 0u);
  const std::string text = ntfstest::Istat({image}, folder);
  ntfstest::IstatData allocation;
  ASSERT_TRUE(ntfstest::ParseIstatAttribute(text, "Type: $INDEX_ALLOCATION (160-", allocation, "$I30")) << text;
  ASSERT_TRUE(allocation.nonResident);
  ASSERT_GE(allocation.clusters.size(), 4u);

  Bytes record;
  ASSERT_TRUE(v.Read(static_cast<uint64_t>(v.RecordSector(folder)), record));
  FolderRecordInfo info;
  ASSERT_TRUE(info.SetFromRecord(record.data(), static_cast<int>(record.size()), v.RecordSector(folder)));
  EXPECT_EQ(info.GetDirectoryRecordNumber(), static_cast<int64_t>(folder));
  EXPECT_EQ(info.GetSectorsPerCluster(), v.spc);

  const uint32_t clusterBytes = v.dbr.GetBytesPerCluster();
  for (size_t vcn = 0; vcn < allocation.clusters.size(); ++vcn) {
    SCOPED_TRACE("VCN " + std::to_string(vcn));
    EXPECT_EQ(info.VCNToLCN(vcn), static_cast<int64_t>(allocation.clusters[vcn]));
    Bytes block(clusterBytes);  // one 4096-byte INDX block per cluster
    ASSERT_TRUE(v.device.ReadSectors(block.data(), allocation.clusters[vcn] * v.spc, v.spc));
    const Bytes before = block;
    EXPECT_TRUE(AnalyzeIndexRecordBuffer(block.data(), static_cast<int>(block.size())));
    EXPECT_EQ(block, before);
    EXPECT_EQ(GetIndexRecordParentReference(block.data(), static_cast<int>(block.size())),
              static_cast<int64_t>(folder));
    EXPECT_EQ(GetIndexRecordVCN(block.data()) * 4096 / clusterBytes, vcn);
  }
}

// A node of the file at `path` made from its record, under a file-system
// node with the volume's geometry.
struct PlacedNode {
  PlacedNode(Volume& v, uint64_t inode) : root(CreateFileSystemNode()) {
    root->SetPartitionGeometry(0, v.spc);
    root->SetFileSystemType(EFileSystemType::NTFS);
    Bytes record;
    const int64_t sector = v.RecordSector(inode);
    if (sector < 0 || !v.Read(static_cast<uint64_t>(sector), record)) return;
    CNTFSNodeFactory factory(&v.device, nullptr);
    node = factory.CreateFileNodeFromRecord(record.data(), static_cast<int>(record.size()), sector, &v.partition,
                                            v.mft.get());
    if (node) root->AddChild(node);
  }
  ~PlacedNode() {
    if (node) {
      root->RemoveChild(node);
      DeleteFileNode(node);
    }
    DeleteFileNode(root);
  }
  CFileSystemNode* root;
  CFileNode* node = nullptr;
};

std::string Icat(const std::string& image, uint64_t inode) {
  return testutil::Run({"icat", image, std::to_string(inode)}).output;
}

TEST_P(NTFSNodesImage, ResidentFilesReadAsIcatReadsThem) {
  VT_REQUIRE_TOOL("icat");
  RegisterNTFSResidentReader();
  Volume& v = *volume;
  const uint32_t offsets[] = {0, 1, 99, 100, 338, 499, 639, 699, 700, 4096};
  int read = 0, resident = 0;
  for (const char* name :
       {"s1.bin", "s2.bin", "s100.bin", "s200.bin", "s339.bin", "s500.bin", "s640.bin", "s700.bin", "SHORT.TXT"}) {
    SCOPED_TRACE(name);
    const uint64_t inode = InodeOf(std::string("small/") + name);
    ASSERT_NE(inode, 0u);
    const std::string expected = Icat(image, inode);
    PlacedNode placed(v, inode);
    ASSERT_TRUE(placed.node);
    std::unique_ptr<IDataRunList> runs(placed.node->GetProperties()->GetDataRunList());
    ASSERT_TRUE(runs);
    resident += runs->IsResident() != 0;
    CFileDataReader reader;
    ASSERT_EQ(reader.Open(&v.device, placed.node), 1);
    for (uint32_t offset : offsets) {
      SCOPED_TRACE(offset);
      std::string got(1024, '\0');
      uint32_t bytesRead = 0;
      const int ok = reader.Read(offset, got.data(), 1024, bytesRead);
      if (offset >= expected.size()) {
        EXPECT_EQ(ok, 0);
        continue;
      }
      ASSERT_EQ(ok, 1);
      got.resize(bytesRead);
      EXPECT_EQ(got, expected.substr(offset));
      ++read;
    }
  }
  EXPECT_GT(read, 20);
  EXPECT_GE(resident, 7);  // all but the largest, whatever the record size
  RegisterResidentDataReader(nullptr);
}

TEST_P(NTFSNodesImage, RecycleBinInfoFileGivesTheOriginalName) {
  VT_REQUIRE_TOOL("icat");
  RegisterNTFSResidentReader();
  Volume& v = *volume;
  const uint64_t inode = InodeOf("$RECYCLE.BIN/S-1-5-21-1-1-1-1001/$IABC123.txt");
  ASSERT_NE(inode, 0u);
  PlacedNode placed(v, inode);
  ASSERT_TRUE(placed.node);
  CFileDataReader reader;
  ASSERT_EQ(reader.Open(&v.device, placed.node), 1);
  std::vector<uint8_t> bytes(1024);
  uint32_t bytesRead = 0;
  ASSERT_EQ(reader.Read(0, bytes.data(), 1024, bytesRead), 1);
  bytes.resize(bytesRead);
  const std::string expected = Icat(image, inode);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(RecycledNameFromInfo(bytes), "report.txt");
  RegisterResidentDataReader(nullptr);
}

// Keeps what the MFT walk hands over.
class CollectingBuilder : public IDirecotryTreeBuilder {
 public:
  ~CollectingBuilder() override {
    for (CFileNode* n : nodes) DeleteFileNode(n);
    for (CFileNode* n : roots) DeleteFileNode(n);
  }
  int Init(const char*, IRecoveryResultSink*, INodeFilter*, ETreeBuildMode, IStorageDevice*, int) override { return 1; }
  int SetPartitionRoot(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int AddFileSystemNode(CFileNode* root) override {
    roots.push_back(root);
    return 1;
  }
  int AddPartitionNode(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int AddNode(CFileNode* node, ETreeKind kind, int&) override {
    if (kind != ETreeKind::NTFS) return 0;
    nodes.push_back(node);
    return 1;
  }
  int AddFoundNode(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int AddCandidate(CSearchedPartitionInfo*) override { return 0; }
  void GetCandidates(std::vector<CSearchedPartitionInfo*>&) override {}
  void FinishSearch() override {}
  void FinishPartition(CSearchedPartitionInfo*) override {}
  void FinishBuild() override {}
  uint64_t GetNodeCount() override { return nodes.size(); }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo*) override { return nullptr; }
  CFileNode* FindTreeByType(EFileSystemType) override { return nullptr; }
  int GetBuildFlag() override { return 0; }
  void SetBuildFlag(int) override {}
  void SetProgressSink(IScanProgressSink*) override {}
  IScanProgressSink* GetProgressSink() override { return nullptr; }
  INodeFilter* GetNodeFilter() override { return nullptr; }

  std::vector<CFileNode*> nodes;
  std::vector<CFileNode*> roots;
};

TEST_P(NTFSNodesImage, MFTWalkHandsOverTheNodesFlsLists) {
  CollectingBuilder builder;
  CNTFSQuickSearch search;
  search.SetTreeBuilder(&builder);
  ASSERT_EQ(search.ScanVolume(&volume->device, nullptr), 0);
  ASSERT_EQ(builder.roots.size(), 1u);
  EXPECT_EQ(builder.roots[0]->GetId(), 5);
  EXPECT_STREQ(builder.roots[0]->GetProperties()->GetName(), "Nodes");
  std::set<uint64_t> expected, got;
  for (const auto& [inode, list] : byInode)
    if (inode >= 12 && list[0].path.rfind("$OrphanFiles", 0) != 0) expected.insert(inode);
  for (CFileNode* node : builder.nodes) {
    ASSERT_GE(node->GetId(), 0);
    got.insert(static_cast<uint64_t>(node->GetId()));
    bool named = false;
    for (const FlsEntry& e : byInode[node->GetId()]) {
      const size_t slash = e.path.rfind('/');
      named = named || e.path.substr(slash == std::string::npos ? 0 : slash + 1) == node->GetProperties()->GetName();
    }
    EXPECT_TRUE(named) << node->GetProperties()->GetName();
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(builder.nodes.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, NTFSNodesImage, ::testing::Values(512, 4096),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

}  // namespace
