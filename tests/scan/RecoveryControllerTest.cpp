#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CCompleteRecoveryController.h"
#include "CDeletedRecoveryController.h"
#include "CFileSystemNode.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDirecotryTreeBuilder.h"
#include "INodeFilter.h"
#include "RecordingTreeBuilder.h"
#include "IQuickFileSystemSearchController.h"
#include "IRecoveryResultSink.h"
#include "IScanProgressSink.h"
#include "IStorageDevice.h"
#include "OpenerSpy.h"
#include "ScanEngineRegistry.h"

namespace {

using Log = std::vector<std::string>;

class FakeDevice : public IStorageDevice {
 public:
  FakeDevice(uint64_t sectors, int sectorSize) : m_sectors(sectors), m_size(sectorSize) {}
  int ReadSectors(void* buffer, uint64_t, uint64_t count) override {
    std::memset(buffer, 0, count * static_cast<uint64_t>(m_size));
    return 1;
  }
  uint64_t GetSectorCount() override { return m_sectors; }
  int GetSectorSize() override { return m_size; }
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  uint64_t m_sectors;
  int m_size;
};

class FakeSink : public IScanProgressSink {
 public:
  std::vector<ScanStatusRecord> statuses;
  int continueFor = 1 << 30;
  void OnStatus(const ScanStatusRecord* r) override { statuses.push_back(*r); }
  int ShouldContinue() override { return continueFor-- > 0; }
};

using FakeResults = testutil::IgnoringResultSink;

class FakeFilter : public INodeFilter {
 public:
  int Accept(CFileNode*) override { return 1; }
};

class FakeBuilder : public IDirecotryTreeBuilder {
 public:
  FakeBuilder(Log& log, std::vector<CSearchedPartitionInfo*> chosen) : m_log(log), m_chosen(std::move(chosen)) {}
  ~FakeBuilder() override { m_log.push_back("builder:destroyed"); }
  int Init(const char*, IRecoveryResultSink*, INodeFilter*, ETreeBuildMode mode, IStorageDevice*, int) override {
    m_log.push_back("builder:Init(" + std::to_string(static_cast<int>(mode)) + ")");
    return 1;
  }
  int SetPartitionRoot(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int AddFileSystemNode(CFileNode*) override { return 1; }
  int AddPartitionNode(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int AddNode(CFileNode*, ETreeKind, int&) override { return 1; }
  int AddFoundNode(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int AddCandidate(CSearchedPartitionInfo*) override {
    m_log.push_back("builder:AddCandidate");
    return 1;
  }
  void GetCandidates(std::vector<CSearchedPartitionInfo*>& out) override { out = m_chosen; }
  void FinishSearch() override { m_log.push_back("builder:FinishSearch"); }
  void FinishPartition(CSearchedPartitionInfo*) override { m_log.push_back("builder:FinishPartition"); }
  void FinishBuild() override { m_log.push_back("builder:FinishBuild"); }
  uint64_t GetNodeCount() override { return 17; }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo*) override { return nullptr; }
  CFileNode* FindTreeByType(EFileSystemType) override { return nullptr; }
  int GetBuildFlag() override { return 0; }
  void SetBuildFlag(int) override {}
  void SetProgressSink(IScanProgressSink*) override {}
  IScanProgressSink* GetProgressSink() override { return nullptr; }
  INodeFilter* GetNodeFilter() override { return nullptr; }

 private:
  Log& m_log;
  std::vector<CSearchedPartitionInfo*> m_chosen;
};

class FakeComplete : public ICompleteFileSystemSearchController {
 public:
  FakeComplete(Log& log, ECompleteSearchKind kind, std::string name, CSearchedPartitionInfo* partition)
      : m_log(log), m_kind(kind), m_name(std::move(name)), m_partition(partition) {}
  ~FakeComplete() override { Note("destroyed"); }
  void SetTreeBuilder(IDirecotryTreeBuilder*) override { Note("SetTreeBuilder"); }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& out) override {
    if (m_partition) out.push_back(m_partition);
  }
  void SetDevice(IStorageDevice*) override { Note("SetDevice"); }
  void SetSearchOption(int sectors) override { Note("SetSearchOption(" + std::to_string(sectors) + ")"); }
  void StartSearch() override { Note("StartSearch"); }
  void EndSearch() override { Note("EndSearch"); }
  void AnalyzeBlock(uint64_t first, uint64_t count) override {
    Note("AnalyzeBlock(" + std::to_string(first) + "," + std::to_string(count) + ")");
    if (onBlock) onBlock();
  }
  void SetFoundFileStore(CFoundFileStore* store) override {
    Note(store ? "SetFoundFileStore" : "SetFoundFileStore(null)");
  }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& p) override {
    Note("BuildPartitionTrees(" + std::to_string(p.size()) + ")");
  }
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& p) override {
    Note("BuildLostFiles(" + std::to_string(p.size()) + ")");
  }
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return m_kind; }
  void SetProgressSink(IScanProgressSink*) override { Note("SetProgressSink"); }

  std::function<void()> onBlock;

 private:
  void Note(const std::string& what) { m_log.push_back(m_name + ":" + what); }
  Log& m_log;
  ECompleteSearchKind m_kind;
  std::string m_name;
  CSearchedPartitionInfo* m_partition;
};

class FakeQuick : public IQuickFileSystemSearchController {
 public:
  FakeQuick(Log& log, int result, bool noteEnd = false) : m_log(log), m_result(result), m_noteEnd(noteEnd) {}
  ~FakeQuick() override {
    if (m_noteEnd) m_log.push_back("quick:destroyed");
  }
  void SetTreeBuilder(IDirecotryTreeBuilder* b) override { m_log.push_back(b ? "quick:SetTreeBuilder" : "quick:null"); }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  int QuickSearchFiles(IStorageDevice*, IScanProgressSink* sink) override {
    m_log.push_back(sink ? "quick:Search(sink)" : "quick:Search(null)");
    return m_result;
  }
  void SetOptions(int device, uint64_t start) override {
    m_log.push_back("quick:SetOptions(" + std::to_string(device) + "," + std::to_string(start) + ")");
  }

 private:
  Log& m_log;
  int m_result;
  bool m_noteEnd;
};

class RecoveryTest : public testing::Test {
 protected:
  void SetUp() override { ClearScanEngineRegistry(); }
  void TearDown() override {
    ClearScanEngineRegistry();
    // Recoveries read only: not one asked for a writer.
    EXPECT_EQ(writers.asked, 0);
  }

  void RegisterBuilder(std::vector<CSearchedPartitionInfo*> chosen = {}) {
    RegisterDirectoryTreeBuilder([this, chosen] { return new FakeBuilder(log, chosen); });
  }
  void RegisterAllSearches(CSearchedPartitionInfo* ext2Partition = nullptr) {
    const struct {
      ECompleteSearchKind kind;
      const char* name;
    } all[] = {{ECompleteSearchKind::RAW, "RAW"},   {ECompleteSearchKind::HFSPlus, "HFS"},
               {ECompleteSearchKind::Ext2, "EXT2"}, {ECompleteSearchKind::exFAT, "EXFAT"},
               {ECompleteSearchKind::FAT, "FAT"},   {ECompleteSearchKind::NTFS, "NTFS"}};
    for (const auto& a : all) {
      CSearchedPartitionInfo* p = a.kind == ECompleteSearchKind::Ext2 ? ext2Partition : nullptr;
      RegisterCompleteSearch(a.kind, [this, a, p] { return new FakeComplete(log, a.kind, a.name, p); });
    }
  }
  Log Matching(const std::string& part) const {
    Log out;
    for (const std::string& l : log)
      if (l.find(part) != std::string::npos) out.push_back(l);
    return out;
  }
  bool Has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }

  testutil::OpenerSpy writers;
  Log log;
  FakeSink sink;
  FakeResults results;
  FakeFilter filter;
};

TEST_F(RecoveryTest, FactoryKinds) {
  std::unique_ptr<IRecoveryController> deleted(CreateRecoveryController(0));
  std::unique_ptr<IRecoveryController> complete(CreateRecoveryController(1));
  ASSERT_TRUE(deleted && complete);
  EXPECT_EQ(deleted->GetKind(), ERecoveryKind::Deleted);
  EXPECT_EQ(complete->GetKind(), ERecoveryKind::Complete);
  EXPECT_EQ(CreateRecoveryController(2), nullptr);
  EXPECT_EQ(CreateRecoveryController(-1), nullptr);
}

TEST_F(RecoveryTest, QuickSearchReachesTheRegisteredEngineWithTheWipeTarget) {
  FakeDevice volume(1000, 512);
  RegisterQuickSearch(EFileSystemType::NTFS, [this] { return new FakeQuick(log, 0x7E0015); });
  RegisterQuickSearch(EFileSystemType::Ext2, [this] { return new FakeQuick(log, 0); });
  IRecoveryController* c = CreateRecoveryController(0);

  c->SetFileSystem(EFileSystemType::NTFS, "C:");
  WipeTarget target;
  target.deviceNumber = 3;
  target.startSector = 2048;
  EXPECT_EQ(c->RunQuickSearch(&volume, target), 0x7E0015);
  EXPECT_EQ(log, (Log{"quick:SetOptions(3,2048)", "quick:Search(null)"}));

  // An Ext2 volume: the quick search is made but not run.
  log.clear();
  c->SetFileSystem(EFileSystemType::Ext2, nullptr);
  EXPECT_EQ(c->RunQuickSearch(&volume, 3, 2048), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_NE(static_cast<CDeletedRecoveryController*>(c)->GetQuickController(), nullptr);

  // Types without a registered quick search.
  for (EFileSystemType t : {EFileSystemType::FAT32, EFileSystemType::RAW, EFileSystemType::Unknown}) {
    c->SetFileSystem(t, nullptr);
    EXPECT_EQ(c->RunQuickSearch(&volume, 3, 2048), engine_error::kQuickNoController);
  }
  c->Release();
}

TEST_F(RecoveryTest, DeletedRecoverNeverHandsOutAWriteTarget) {
  FakeDevice volume(1000, 512);
  RegisterQuickSearch(EFileSystemType::exFAT, [this] { return new FakeQuick(log, 0); });
  CDeletedRecoveryController c;
  EXPECT_EQ(c.SetFilter(nullptr), 0);
  EXPECT_EQ(c.SetFilter(&filter), 1);
  c.SetFileSystem(EFileSystemType::exFAT, "E:");

  EXPECT_EQ(c.Recover(nullptr, &sink, &results, "E:", 0), engine_error::kDeletedBadArgument);
  EXPECT_EQ(c.Recover(&volume, nullptr, &results, "E:", 0), engine_error::kDeletedBadArgument);
  EXPECT_EQ(c.Recover(&volume, &sink, nullptr, "E:", 0), engine_error::kDeletedBadArgument);
  EXPECT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), engine_error::kDeletedNoBuilder);

  RegisterBuilder();
  sink.statuses.clear();
  EXPECT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), 0);
  EXPECT_TRUE(Matching("SetOptions").empty());
  EXPECT_EQ(log, (Log{"builder:Init(0)", "quick:SetTreeBuilder", "quick:Search(sink)", "builder:FinishSearch",
                      "builder:FinishBuild"}));
  ASSERT_EQ(sink.statuses.size(), 2u);
  EXPECT_EQ(sink.statuses.front().kind, 2);
  EXPECT_EQ(sink.statuses.back().kind, 4);

  c.SetFileSystem(EFileSystemType::HFSPlus, nullptr);
  EXPECT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), engine_error::kDeletedNoController);
}

// The builder's nodes may point into the search that made them (HFS+ nodes
// hold its volume): a search replaced while the builder lives is kept until
// the builder goes.
TEST_F(RecoveryTest, DeletedRecoverKeepsItsSearchUntilTheBuilderGoes) {
  FakeDevice volume(1000, 512);
  RegisterQuickSearch(EFileSystemType::HFSPlus, [this] { return new FakeQuick(log, 0, true); });
  RegisterBuilder();
  {
    CDeletedRecoveryController c;
    c.SetFilter(&filter);
    c.SetFileSystem(EFileSystemType::HFSPlus, "E:");
    ASSERT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), 0);
    log.clear();
    EXPECT_EQ(c.RunQuickSearch(&volume, 3, 0), 0);  // a new search; the builder stays
    EXPECT_TRUE(Matching("destroyed").empty());
    ASSERT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), 0);
    // The old builder went first, then both searches it could point into.
    EXPECT_EQ(Matching("destroyed"), (Log{"builder:destroyed", "quick:destroyed", "quick:destroyed"}));
    log.clear();
  }
  EXPECT_EQ(Matching("destroyed"), (Log{"builder:destroyed", "quick:destroyed"}));
}

TEST_F(RecoveryTest, DeletedRecoverNeverMakesTheQuickSearchOfAScrubbingType) {
  // The quick searches of FAT and NTFS scrub what they find.
  const EFileSystemType scrubbing[] = {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32,
                                       EFileSystemType::NTFS};
  int made = 0;
  for (EFileSystemType t : scrubbing)
    RegisterQuickSearch(t, [this, &made] {
      ++made;
      return new FakeQuick(log, 0);
    });
  RegisterBuilder();
  FakeDevice volume(1000, 512);
  for (EFileSystemType t : scrubbing) {
    CDeletedRecoveryController c;
    c.SetFilter(&filter);
    c.SetFileSystem(t, "E:");
    EXPECT_EQ(c.Recover(&volume, &sink, &results, "E:", 0), engine_error::kDeletedScrubbingType) << static_cast<int>(t);
    EXPECT_EQ(c.GetQuickController(), nullptr);
  }
  EXPECT_EQ(made, 0);
  EXPECT_TRUE(log.empty());
}

TEST_F(RecoveryTest, CompleteScanWalksChunksInOrderThroughEverySearch) {
  RegisterBuilder();
  RegisterAllSearches();
  FakeDevice disk(8192 * 2 + 1, 512);
  CCompleteRecoveryController c;
  ASSERT_EQ(c.SetFilter(&filter), 1);
  ASSERT_EQ(c.Recover(&disk, &sink, &results, "disk", 0), 0);

  const char* order[] = {"NTFS", "FAT", "EXFAT", "EXT2", "HFS", "RAW"};
  Log expectedBlocks;
  for (const char* chunk : {"AnalyzeBlock(0,8192)", "AnalyzeBlock(8192,8192)", "AnalyzeBlock(16384,1)"})
    for (const char* name : order) expectedBlocks.push_back(std::string(name) + ":" + chunk);
  EXPECT_EQ(Matching("AnalyzeBlock"), expectedBlocks);
  EXPECT_EQ(Matching("NTFS:"),
            (Log{"NTFS:SetDevice", "NTFS:SetSearchOption(8192)", "NTFS:SetTreeBuilder", "NTFS:StartSearch",
                 "NTFS:SetFoundFileStore", "NTFS:SetProgressSink", "NTFS:AnalyzeBlock(0,8192)",
                 "NTFS:AnalyzeBlock(8192,8192)", "NTFS:AnalyzeBlock(16384,1)", "NTFS:EndSearch"}));
  // The Ext2 search gets the sink once before it joins the list.
  EXPECT_EQ(Matching("EXT2:SetProgressSink").size(), 2u);

  ASSERT_GE(sink.statuses.size(), 6u);
  EXPECT_EQ(sink.statuses[0].kind, 2);
  EXPECT_EQ(sink.statuses[1].kind, 0);
  EXPECT_EQ(sink.statuses[1].value1, 4u);  // three chunks announce four
  EXPECT_EQ(sink.statuses[2].value2, 0u);  // floor(0.8 x 1)
  EXPECT_EQ(sink.statuses[3].value2, 1u);
  EXPECT_EQ(sink.statuses[4].value2, 2u);
  EXPECT_EQ(sink.statuses[5].kind, 3);
  EXPECT_EQ(sink.statuses[5].value1, 17u);
  EXPECT_EQ(sink.statuses.back().kind, 4);
}

TEST_F(RecoveryTest, ChunkSizes) {
  EXPECT_EQ(CCompleteRecoveryController::ChunkSectors(512), 8192u);
  EXPECT_EQ(CCompleteRecoveryController::ChunkSectors(0), 8192u);
  EXPECT_EQ(CCompleteRecoveryController::ChunkSectors(4096), 1024u);
  EXPECT_EQ(CCompleteRecoveryController::ChunkSectors(8 * 1024 * 1024), 8192u);
}

TEST_F(RecoveryTest, ChosenPartitionsAreBuiltByTheSearchOfTheirKind) {
  struct Ext2Partition : CSearchedPartitionInfo {
    EPartitionKind GetSearchKind() override { return EPartitionKind::Ext2; }
  } chosen;
  RegisterBuilder({&chosen});
  RegisterAllSearches(&chosen);
  FakeDevice disk(100, 512);
  CCompleteRecoveryController c;
  ASSERT_EQ(c.Recover(&disk, &sink, &results, "disk", 0), 0);
  EXPECT_EQ(Matching("builder:AddCandidate").size(), 1u);
  EXPECT_EQ(Matching("Build"), (Log{"NTFS:SetTreeBuilder", "FAT:SetTreeBuilder", "EXFAT:SetTreeBuilder",
                                    "EXT2:SetTreeBuilder", "HFS:SetTreeBuilder", "RAW:SetTreeBuilder",
                                    "EXT2:BuildPartitionTrees(1)", "EXT2:BuildLostFiles(1)", "builder:FinishBuild"}));
  const Log tail(log.end() - 4, log.end() - 1);
  EXPECT_EQ(tail, (Log{"EXT2:BuildPartitionTrees(1)", "builder:FinishPartition", "EXT2:BuildLostFiles(1)"}));
  // A search that associates no roots with its partitions answers null.
  CFileSystemNode root;
  for (ICompleteFileSystemSearchController* s : c.GetSearches()) EXPECT_EQ(s->FindPartitionOfNode(&root), nullptr);
}

TEST_F(RecoveryTest, WithoutAChosenPartitionTheCarvedFilesArePlaced) {
  RegisterBuilder();
  RegisterAllSearches();
  IStorageDevice* placedOn = nullptr;
  RegisterRawFilePlacer([&](IStorageDevice* d, CFoundFileStore* s, IDirecotryTreeBuilder* b,
                            CSearchedPartitionInfo* partition, IIsClusterUsed* clusterUse) {
    placedOn = d;
    EXPECT_TRUE(s && b);
    // Outside any partition: no partition and no cluster-use map.
    EXPECT_EQ(partition, nullptr);
    EXPECT_EQ(clusterUse, nullptr);
    return 1;
  });
  FakeDevice disk(100, 512);
  CCompleteRecoveryController c;
  ASSERT_EQ(c.Recover(&disk, &sink, &results, "disk", 0), 0);
  EXPECT_EQ(placedOn, &disk);
  EXPECT_TRUE(Matching("BuildPartitionTrees").empty());
}

TEST_F(RecoveryTest, CancelStopsTheScanAndSkipsTheTrees) {
  const struct {
    const char* when;
    int cancelAfterBlocks;  // -1: before the recovery starts
    size_t chunksScanned;
  } cases[] = {{"before the recovery", -1, 0}, {"during the first chunk", 1, 1}, {"during the second chunk", 2, 2}};
  for (const auto& k : cases) {
    log.clear();
    sink.statuses.clear();
    CCompleteRecoveryController c;
    int blocks = 0;
    RegisterBuilder();
    RegisterAllSearches();
    // The cancel arrives while the FAT search reads a chunk: the searches
    // after it still get that chunk, none gets the next.
    RegisterCompleteSearch(ECompleteSearchKind::FAT, [&] {
      auto* fat = new FakeComplete(log, ECompleteSearchKind::FAT, "FAT", nullptr);
      fat->onBlock = [&] {
        if (++blocks == k.cancelAfterBlocks) c.Cancel();
      };
      return fat;
    });
    if (k.cancelAfterBlocks < 0) c.Cancel();
    FakeDevice disk(8192 * 4, 512);
    ASSERT_EQ(c.Recover(&disk, &sink, &results, "disk", 0), 0) << k.when;
    EXPECT_EQ(Matching("NTFS:AnalyzeBlock").size(), k.chunksScanned) << k.when;
    EXPECT_EQ(Matching("RAW:AnalyzeBlock").size(), k.chunksScanned) << k.when;
    EXPECT_TRUE(Matching("EndSearch").empty()) << k.when;
    EXPECT_FALSE(Has("builder:FinishSearch")) << k.when;
    EXPECT_FALSE(Has("builder:FinishBuild")) << k.when;
    ASSERT_FALSE(sink.statuses.empty());
    EXPECT_EQ(sink.statuses.back().kind, 4) << k.when;
  }
}

TEST_F(RecoveryTest, SinkStopsTheScan) {
  RegisterBuilder();
  RegisterAllSearches();
  FakeDevice disk(8192 * 3, 512);
  sink.continueFor = 1;
  CCompleteRecoveryController c;
  ASSERT_EQ(c.Recover(&disk, &sink, &results, "disk", 0), 0);
  EXPECT_EQ(Matching("NTFS:AnalyzeBlock"), (Log{"NTFS:AnalyzeBlock(0,8192)"}));
}

TEST_F(RecoveryTest, ADeviceWithoutSectorsIsAnErrorNotAnEndlessScan) {
  RegisterBuilder();
  RegisterAllSearches();
  FakeDevice empty(0, 512);
  CCompleteRecoveryController c;
  EXPECT_EQ(c.Recover(&empty, &sink, &results, "disk", 0), engine_error::kScanBadRange);
  EXPECT_TRUE(Matching("AnalyzeBlock").empty());
  EXPECT_EQ(sink.statuses.back().kind, 4);
}

TEST_F(RecoveryTest, CompleteRecoverErrors) {
  FakeDevice disk(100, 512);
  CCompleteRecoveryController c;
  EXPECT_EQ(c.Recover(nullptr, &sink, &results, "d", 0), engine_error::kCompleteBadArgument);
  EXPECT_EQ(c.Recover(&disk, &sink, &results, "d", 0), engine_error::kCompleteNoBuilder);
  RegisterBuilder();
  EXPECT_EQ(c.Recover(&disk, &sink, &results, "d", 0), engine_error::kCompleteNoSearch);
  EXPECT_TRUE(Has("builder:destroyed"));
  EXPECT_EQ(c.RunQuickSearch(&disk, 1, 0), 0);
  RegisterCompleteSearch(ECompleteSearchKind::RAW,
                         [this] { return new FakeComplete(log, ECompleteSearchKind::RAW, "RAW", nullptr); });
  ASSERT_EQ(c.Recover(&disk, &sink, &results, "d", 0), 0);
  EXPECT_EQ(c.HasOnlyRawController(), 1);
}

}  // namespace

#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CompleteSearchPatition.h"

namespace {

TEST(PartitionRange, NodeMustLieInsideWithAFittingClusterSize) {
  CSearchedPartitionInfo p;
  p.SetType(EFileSystemType::FAT32);
  p.SetStartSector(100);
  p.SetSectorCount(1000);
  p.SetSectorsPerCluster(8);
  const struct {
    const char* what;
    EFileSystemType type;
    uint64_t position;
    DataRun run;
    int64_t size;
    uint32_t spc;
    int expected;
  } cases[] = {
      {"inside, 4 KiB clusters", EFileSystemType::FAT32, 150, {10, 2}, 8192, 8, 1},
      {"FAT16 node against FAT32", EFileSystemType::FAT16, 150, {10, 2}, 8192, 8, 0},
      {"record at the start sector", EFileSystemType::FAT32, 100, {10, 2}, 8192, 8, 0},
      {"record past the end", EFileSystemType::FAT32, 1100, {10, 2}, 8192, 8, 0},
      {"run past the end", EFileSystemType::FAT32, 150, {124, 2}, 8192, 8, 0},
      {"sparse run", EFileSystemType::FAT32, 150, {DataRun::kSparseStart, 2}, 8192, 8, 0},
      {"cluster size does not fit the size", EFileSystemType::FAT32, 150, {10, 2}, 8192, 4, 0},
      {"one-sector clusters, one cluster", EFileSystemType::FAT32, 150, {10, 1}, 100, 1, 1},
      {"one-sector clusters, two clusters", EFileSystemType::FAT32, 150, {10, 2}, 1024, 1, 1},
      {"two-sector clusters for 512-byte clusters", EFileSystemType::FAT32, 150, {10, 2}, 1024, 2, 0},
      {"three sectors per cluster is no power of two", EFileSystemType::FAT32, 150, {10, 2}, 3072, 3, 0},
      {"no sectors per cluster", EFileSystemType::FAT32, 150, {10, 1}, 100, 0, 0},
      {"one cluster always fits", EFileSystemType::FAT32, 150, {10, 1}, 100, 2, 1},
  };
  for (const auto& c : cases) {
    p.SetSectorsPerCluster(c.spc);
    CFileSystemNode root;
    root.SetFileSystemType(c.type);
    CFileNode* node = CreateFileNode();
    root.AddChild(node);
    node->SetPosition(c.position);
    auto* props = CreateFATFileProperties();
    props->SetFileSize(c.size);
    auto* runs = new CFATDataRunList;
    runs->AppendMerged(c.run);
    props->SetDataRunList(runs);
    node->SetProperties(props);
    EXPECT_EQ(IsNodeInPartitionRange(&p, node), c.expected) << c.what;
    root.RemoveChild(node);
    DeleteFileNode(node);
  }
}

TEST(PartitionRange, HfsCandidateDefaults) {
  CompleteSearchPatition hfs;
  EXPECT_EQ(hfs.GetSearchKind(), EPartitionKind::HFSPlus);
  EXPECT_EQ(hfs.nodeSize, 4096u);
  EXPECT_EQ(hfs.headerPosition, CompleteSearchPatition::kUnset);
  EXPECT_EQ(hfs.GetBytesPerSector(), 512u);
  EXPECT_EQ(hfs.IsNodeInPartition(nullptr), 0);
  hfs.AddUsedSectors(1, 2);
  hfs.AddUsedSectors(5, 1);
  EXPECT_EQ(hfs.usedSectors.front().first, 5u);
}

}  // namespace

namespace {

class LocatingSink : public FakeSink {
 public:
  int GetLocateMode() override { return 2; }
};

class QuickWithPartition : public FakeQuick {
 public:
  QuickWithPartition(Log& log, CSearchedPartitionInfo* p) : FakeQuick(log, 0), m_p(p) {}
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& out) override { out.push_back(m_p); }

 private:
  CSearchedPartitionInfo* m_p;
};

// A FAT32 root holding one file at `position` with runs {run}.
struct FatNode {
  CFileSystemNode root;
  CFileNode* node = CreateFileNode();
  FatNode(uint64_t position, DataRun run) {
    root.SetFileSystemType(EFileSystemType::FAT32);
    root.SetPartitionGeometry(77, 4);
    root.AddChild(node);
    node->SetPosition(position);
    auto* props = CreateFATFileProperties();
    props->SetFileSize(4096);
    auto* runs = new CFATDataRunList;
    runs->AppendMerged(run);
    props->SetDataRunList(runs);
    node->SetProperties(props);
  }
  ~FatNode() {
    root.RemoveChild(node);
    DeleteFileNode(node);
  }
};

TEST_F(RecoveryTest, DeletedControllerLocatesNodesThroughItsQuickSearch) {
  FatNode n(150, {10, 1});
  CSearchedPartitionInfo p;
  p.SetClusterStartSector(2048);
  p.SetSectorsPerCluster(8);
  CDeletedRecoveryController c;
  uint64_t start = 0;
  int spc = 0;
  EXPECT_EQ(c.GetNodePartition(nullptr, start, spc), 0);
  EXPECT_EQ(c.GetNodePartition(n.node, start, spc), 1);  // no quick search yet: the node's root
  EXPECT_EQ(start, 77u);
  RegisterQuickSearch(EFileSystemType::Ext2, [&] { return new QuickWithPartition(log, &p); });
  c.SetFileSystem(EFileSystemType::Ext2, nullptr);
  FakeDevice volume(10, 512);
  c.RunQuickSearch(&volume, 0, 0);
  EXPECT_EQ(c.GetNodePartition(n.node, start, spc), 1);
  EXPECT_EQ(start, 2048u);
  EXPECT_EQ(spc, 8);
}

TEST_F(RecoveryTest, CompleteControllerLocatesNodesAmongEveryPartition) {
  // Two FAT32 candidates, gathered NTFS search first: the node lies in the
  // one gathered second.
  CSearchedPartitionInfo first, second;
  for (auto* p : {&first, &second}) {
    p->SetType(EFileSystemType::FAT32);
    p->SetSectorsPerCluster(8);
    p->SetSectorCount(1000);
  }
  first.SetStartSector(5000);
  first.SetClusterStartSector(5100);
  second.SetStartSector(100);
  second.SetClusterStartSector(200);
  RegisterBuilder();
  RegisterCompleteSearch(ECompleteSearchKind::FAT,
                         [this, &first] { return new FakeComplete(log, ECompleteSearchKind::FAT, "FAT1", &first); });
  RegisterCompleteSearch(ECompleteSearchKind::NTFS,
                         [this, &second] { return new FakeComplete(log, ECompleteSearchKind::NTFS, "FAT2", &second); });
  LocatingSink locating;
  FakeDevice disk(100, 512);
  CCompleteRecoveryController c;
  ASSERT_EQ(c.Recover(&disk, &locating, &results, "d", 0), 0);

  FatNode inside(5050, {10, 1});
  uint64_t start = 0;
  int spc = 0;
  EXPECT_EQ(c.GetNodePartition(inside.node, start, spc), 1);
  EXPECT_EQ(start, 5100u);
  // Outside both: the first gathered partition of the node's type.
  FatNode outside(90000, {10, 1});
  EXPECT_EQ(c.GetNodePartition(outside.node, start, spc), 1);
  EXPECT_EQ(start, 200u);
  // A controller that never searched knows no partition.
  CCompleteRecoveryController plain;
  EXPECT_EQ(plain.GetNodePartition(inside.node, start, spc), 0);  // no searches
}

}  // namespace
