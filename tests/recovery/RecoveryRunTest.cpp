// The recovery run of `vtctl recover` in process, through the real tree
// builder: a synthetic stream from a stand-in FAT search gives a committed
// golden listing, a listed file is extracted byte for byte, and the run
// never asks for a writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CExt2FileProperties.h"
#include "CFATFileProperties.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CScanOptions.h"
#include "CSearchedPartitionInfo.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDirecotryTreeBuilder.h"
#include "IQuickFileSystemSearchController.h"
#include "MemoryDevice.h"
#include "OpenerSpy.h"
#include "RecoveryEngines.h"
#include "RecoveryRun.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"
#include "TreeTestSupport.h"

namespace {

using treetest::NodeShape;

constexpr uint64_t kDeviceSectors = 65536;
constexpr uint64_t kDataStart = 2048 + 32;  // cluster 0 of the chosen FAT32 volume

struct StreamNode {
  NodeShape shape;
  std::vector<DataRun> runs;
};

// The synthetic stream of the first partition: out of order, names that need
// escapes, deleted and live files, one whose runs leave the device.
const StreamNode kStream[] = {
    {{24, 25, "inner.bin", false, false, 0, 700}, {{40, 2}}},  // before its folder
    {{20, 5, "docs", true}, {}},
    {{21, 20, "report.txt", false, false, 0, 1500}, {{10, 2}, {30, 1}}},
    {{22, 20, "old\tdraft", false, true, 0, 700}, {{12, 2}}},
    {{23, 5, "a/b\\c", false, true, 0, 5}, {{50, 1}}},
    {{25, 5, "caf\xc3\xa9", true}, {}},
    {{26, 5, "bad\xff", false, false, 0, 3}, {{51, 1}}},
    {{27, 5, "offdisk.bin", false, false, 0, 4096}, {{uint64_t(1) << 40, 8}}},
};

CFileNode* MakeStreamNode(const StreamNode& s) {
  CFileNode* node = treetest::MakeNode(EFileSystemType::FAT32, s.shape);
  if (!s.runs.empty()) {
    auto* list = new CNoneResidentNTFSDataRunList;
    for (const DataRun& r : s.runs) list->AddRun(r);
    static_cast<CFATFileProperties*>(node->GetProperties())->SetDataRunList(list);
  }
  return node;
}

struct FatPartition : CSearchedPartitionInfo {
  EPartitionKind GetSearchKind() override { return EPartitionKind::FAT; }
};

// Finds six FAT32 candidates: a strong one, an overlapping weak echo of it
// and four small disjoint ones, one more than a disk shows. Builds the
// strong one's tree from the stream.
class StreamSearch : public ICompleteFileSystemSearchController {
 public:
  StreamSearch() {
    const struct {
      uint64_t start, sectors, records;
    } found[] = {{2048, 16384, 10}, {2048, 16384, 0}, {20000, 1000, 0},
                 {22000, 1000, 0},  {24000, 1000, 0}, {26000, 1000, 0}};
    for (const auto& f : found) {
      auto p = std::make_unique<FatPartition>();
      p->SetType(EFileSystemType::FAT32);
      p->SetStartSector(f.start);
      p->SetSectorCount(f.sectors);
      p->SetSectorsPerCluster(1);
      p->SetClusterStartSector(f.start + 32);
      p->AddRecordMatch(f.records);
      p->SetOwner(this);
      m_partitions.push_back(std::move(p));
    }
  }
  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& out) override {
    for (auto& p : m_partitions) out.push_back(p.get());
  }
  void SetDevice(IStorageDevice*) override {}
  void SetSearchOption(int) override {}
  void StartSearch() override {}
  void AnalyzeBlock(uint64_t first, uint64_t) override {
    if (first == 0) m_builder->AddFileSystemNode(treetest::MakeRoot(EFileSystemType::FAT32));
  }
  void SetFoundFileStore(CFoundFileStore*) override {}
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) override {
    if (partitions.size() != 1 || partitions[0] != m_partitions[0].get()) return;
    for (const StreamNode& s : kStream) {
      CFileNode* node = MakeStreamNode(s);
      if (!m_builder->AddPartitionNode(node, partitions[0])) DeleteFileNode(node);
    }
  }
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>&) override {}
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::FAT; }

 private:
  IDirecotryTreeBuilder* m_builder = nullptr;
  std::vector<std::unique_ptr<CSearchedPartitionInfo>> m_partitions;
};

// Carves nothing and finds no partition; counts how often it was made.
class IdleRawSearch : public StreamSearch {
 public:
  static inline int made = 0;
  IdleRawSearch() { ++made; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void AnalyzeBlock(uint64_t, uint64_t) override {}
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>&) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::RAW; }
};

// The deleted-file search of an Ext2 volume: a root, a deleted file in a
// live folder, a live file (which the quick tree does not keep) and a deleted
// name that needs an escape. Its one partition's clusters start at sector
// 100, two sectors each.
class QuickExt2Search : public IQuickFileSystemSearchController {
 public:
  QuickExt2Search() {
    m_partition.SetType(EFileSystemType::Ext2);
    m_partition.SetStartSector(64);
    m_partition.SetSectorCount(kDeviceSectors - 64);
    m_partition.SetClusterStartSector(100);
    m_partition.SetSectorsPerCluster(2);
  }
  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& out) override { out.push_back(&m_partition); }
  void SetOptions(int, uint64_t) override { ADD_FAILURE() << "a recovery handed out a write target"; }
  int QuickSearchFiles(IStorageDevice*, IScanProgressSink*) override {
    m_builder->AddFileSystemNode(treetest::MakeRoot(EFileSystemType::Ext2));
    const NodeShape shapes[] = {{20, 5, "kept", true},
                                {21, 20, "gone.txt", false, true, 0, 1500},
                                {22, 5, "live.txt", false, false, 0, 10},
                                {23, 5, "tab	here", false, true, 0, 1}};
    for (const NodeShape& s : shapes) {
      CFileNode* node = treetest::MakeNode(EFileSystemType::Ext2, s);
      auto* list = new CNoneResidentNTFSDataRunList;
      list->AddRun({7, 1});
      static_cast<CExt2FileProperties*>(node->GetProperties())->SetDataRunList(list);
      int error = 0;
      if (!m_builder->AddNode(node, ETreeKind::Ext2, error)) DeleteFileNode(node);
    }
    return 0;
  }

 private:
  IDirecotryTreeBuilder* m_builder = nullptr;
  CSearchedPartitionInfo m_partition;
};

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

class RecoveryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterRecoveryEngines(EngineSelection());
    RegisterCompleteSearch(ECompleteSearchKind::FAT, [] { return new StreamSearch; });
    // The disk the run scans, as the disk table would name it: an image file
    // no loop device presents, so a file beside it lies off the disk.
    m_request.disk.path = m_dir.file("disk.img");
    m_request.disk.isImageFile = true;
    m_request.disk.sectorCount = kDeviceSectors;
    testutil::WriteFile(m_request.disk.path, "");
    m_request.device = &m_device;
    m_request.volumeName = "disk 0";
  }
  void TearDown() override {
    ClearScanEngineRegistry();
    EXPECT_EQ(m_writers.asked, 0);  // read-only: not one writer was asked for
  }
  RunResult Recover() {
    RunResult r;
    char *out = nullptr, *err = nullptr;
    size_t outSize = 0, errSize = 0;
    FILE* o = open_memstream(&out, &outSize);
    FILE* e = open_memstream(&err, &errSize);
    r.exitCode = RunRecovery(m_request, o, e);
    fclose(o);
    fclose(e);
    r.out.assign(out, outSize);
    r.err.assign(err, errSize);
    free(out);
    free(err);
    return r;
  }

  testutil::OpenerSpy m_writers;
  testutil::TempDir m_dir{"recovery-run"};
  testutil::MemoryDevice m_device{kDeviceSectors, 512};
  RecoveryRequest m_request;
};

TEST_F(RecoveryRunTest, SyntheticStreamGivesTheGoldenListing) {
  const RunResult r = Recover();
  EXPECT_EQ(r.exitCode, kRecoverListed) << r.err;
  const std::string golden = testutil::SourceDir() + "/tests/recovery/data/synthetic-stream.listing";
  if (getenv("VANTOREL_WRITE_GOLDEN")) testutil::WriteFile(golden, r.out);
  EXPECT_EQ(r.out, testutil::ReadFile(golden));
}

TEST_F(RecoveryRunTest, ExtractionCopiesTheRunsOrLeavesNothing) {
  // report.txt: clusters 10, 11 and 30 of the chosen volume, 1500 bytes.
  std::string want;
  for (uint64_t cluster : {10, 11, 30}) {
    const auto bytes = testutil::PatternBytes((kDataStart + cluster) * 512, 512);
    want.append(bytes.begin(), bytes.end());
  }
  want.resize(1500);
  const struct {
    const char* path;
    const char* out;
    bool existing;
    int exitCode;
    const char* says;
  } cases[] = {
      {"1:docs/report.txt", "report.out", false, kRecoverListed, "1500 bytes written"},
      {"docs/report.txt", "any-tree.out", false, kRecoverListed, "1500 bytes written"},
      {"1:offdisk.bin", "offdisk.out", false, kRecoverNothing, "reading the file failed"},
      {"1:docs", "folder.out", false, kRecoverNothing, "no file docs was listed"},
      {"2:docs/report.txt", "tree2.out", false, kRecoverNothing, "no file docs/report.txt"},
      {"1:docs/old\\x09draft", "draft.out", false, kRecoverListed, "700 bytes written"},
      {"1:docs/report.txt", "existing.out", true, kRecoverUsage, "exists"},
  };
  for (const auto& c : cases) {
    m_request.extract = true;
    const std::string path = c.path;
    const size_t colon = path.find(':');
    m_request.extractTree = colon == std::string::npos ? 0 : std::stoi(path.substr(0, colon));
    m_request.extractPath = colon == std::string::npos ? path : path.substr(colon + 1);
    m_request.extractOut = m_dir.file(c.out);
    if (c.existing) testutil::WriteFile(m_request.extractOut, "mine");
    const RunResult r = Recover();
    EXPECT_EQ(r.exitCode, c.exitCode) << c.path << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.path << ": " << r.err;
    const bool left = testutil::Run({"test", "-e", m_request.extractOut}).exitCode == 0;
    EXPECT_EQ(left, c.existing || c.exitCode == kRecoverListed) << c.path;
    if (c.existing) {
      EXPECT_EQ(testutil::ReadFile(m_request.extractOut), "mine");
    } else if (c.exitCode == kRecoverListed && std::string(c.out) != "draft.out") {
      EXPECT_EQ(testutil::ReadFile(m_request.extractOut), want) << c.path;
    }
  }
}

TEST_F(RecoveryRunTest, RawSearchJoinsOnlyWhenAsked) {
  RegisterCompleteSearch(ECompleteSearchKind::RAW, [] { return new IdleRawSearch; });
  IdleRawSearch::made = 0;
  for (bool raw : {false, true}) {
    m_request.raw = raw;
    EXPECT_EQ(Recover().exitCode, kRecoverListed);
    EXPECT_EQ(IdleRawSearch::made, raw ? 1 : 0);
  }
}

TEST_F(RecoveryRunTest, DeletedFilesOfAVolumeAreListedAndExtracted) {
  RegisterQuickSearch(EFileSystemType::Ext2, [] { return new QuickExt2Search; });
  m_request.complete = false;
  m_request.fileSystem = EFileSystemType::Ext2;
  m_request.volumeName = "E:";
  m_request.extract = true;
  m_request.extractPath = "kept/gone.txt";
  m_request.extractOut = m_dir.file("gone.out");
  const RunResult r = Recover();
  EXPECT_EQ(r.exitCode, kRecoverListed) << r.err;
  EXPECT_NE(r.err.find("1024 bytes written"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("runs end before its 1500 bytes"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "partition\t1\tEXT2\t64\t65472\t2\t100\t0x0\t1\t0\t0\t0.000000\troot\n"
            "node\t1\td\tlive\t1\t20\tkept\n"
            "node\t1\tf\tdeleted\t1500\t21\tkept/gone.txt\n"
            "node\t1\tf\tdeleted\t1\t23\ttab\\x09here\n");
  // Cluster 7 of the volume: sectors 114 and 115 (the run is one cluster:
  // the file's last 476 bytes are not on the device).
  const auto bytes = testutil::PatternBytes((100 + 7 * 2) * 512, 1024);
  EXPECT_EQ(testutil::ReadFile(m_request.extractOut), std::string(bytes.begin(), bytes.end()));
}

TEST_F(RecoveryRunTest, WithoutEnginesOrForScrubbingTypesNothingRuns) {
  // The quick searches of FAT and NTFS scrub: the deleted-file recovery of
  // such a volume never makes one, even when one is registered.
  int made = 0;
  for (EFileSystemType t :
       {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32, EFileSystemType::NTFS})
    RegisterQuickSearch(t, [&made]() -> IQuickFileSystemSearchController* {
      ++made;
      return nullptr;
    });
  const struct {
    bool complete;
    EFileSystemType type;
    bool engines;
    const char* says;
  } cases[] = {
      {false, EFileSystemType::FAT12, true, "use --complete"},
      {false, EFileSystemType::FAT32, true, "use --complete"},
      {false, EFileSystemType::NTFS, true, "use --complete"},
      // The exFAT and HFS+ searches say so when the volume is none of theirs.
      {false, EFileSystemType::HFSPlus, true, "the recovery failed with engine code 0x6"},
      {false, EFileSystemType::exFAT, true, "the recovery failed with engine code 0x2F7000D"},
      {true, EFileSystemType::Unknown, false, "no recovery engine is registered"},
  };
  for (const auto& c : cases) {
    if (!c.engines) {
      // The builder alone: no engine selected.
      EngineSelection none;
      for (int e = 0; e < static_cast<int>(ERecoveryEngine::Count); ++e)
        none.Set(static_cast<ERecoveryEngine>(e), false);
      RegisterRecoveryEngines(none);
    }
    m_request.complete = c.complete;
    m_request.fileSystem = c.type;
    const RunResult r = Recover();
    EXPECT_EQ(r.exitCode, kRecoverEngineError) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(made, 0);
}

// The Ext2 complete search of the composition over an ext2 disk made by
// mke2fs at sector 2048 (no partition table): the file system is listed and
// its file extracted, and not one writer is asked for (TearDown).
TEST_F(RecoveryRunTest, Ext2CompleteSearchFindsAFileSystemReadOnly) {
  VT_REQUIRE_TOOL("mke2fs");
  ClearScanEngineRegistry();
  RegisterRecoveryEngines(EngineSelection());
  const std::string tree = m_dir.file("tree");
  const std::string image = m_dir.file("fs.img");
  ASSERT_EQ(testutil::Run({"mkdir", "-p", tree + "/docs"}).exitCode, 0);
  const std::string payload(5000, 'e');
  testutil::WriteFile(tree + "/docs/note.txt", payload);
  ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-d", tree, image}).exitCode, 0);
  const std::string fs = testutil::ReadFile(image);
  std::string disk(1024 * 1024, '\0');
  disk += fs;
  disk.resize(disk.size() + 1024 * 1024, '\0');
  testutil::MemoryDevice device(disk, 512);
  m_request.device = &device;
  m_request.disk.sectorCount = device.GetSectorCount();
  m_request.extract = true;
  m_request.extractTree = 1;
  m_request.extractPath = "docs/note.txt";
  m_request.extractOut = m_dir.file("note.out");
  const RunResult r = Recover();
  EXPECT_EQ(r.exitCode, kRecoverListed) << r.err;
  EXPECT_NE(r.out.find("partition\t1\tEXT2\t2048\t8192\t"), std::string::npos) << r.out;
  EXPECT_EQ(testutil::ReadFile(m_request.extractOut), payload);
}

}  // namespace

// The RAW search of the program (registered by the composition) over a
// device of pattern bytes holding a JPEG picture Qt's documentation ships
// (qtbase5-dev): listed in a carved line and written whole, with no
// writer asked for.
TEST_F(RecoveryRunTest, TheRawSearchCarvesAndWritesOnlyTheFolder) {
  const auto found = testutil::Shell("dpkg-query -L qtbase5-dev | grep -m1 /Qt-header-bg.jpg");
  const std::string picture = testutil::ReadFile(found.output.substr(0, found.output.find('\n')));
  ASSERT_FALSE(picture.empty()) << "qtbase5-dev is not installed";
  ASSERT_LE(300 * 512 + picture.size(), m_device.Bytes().size());
  std::memcpy(m_device.Bytes().data() + 300 * 512, picture.data(), picture.size());
  m_request.raw = true;
  m_request.rawTypes = {35};
  const std::string folder = m_dir.file("carved");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  m_request.extractCarvedDir = folder;
  const RunResult r = Recover();
  GetScanOptions()->SetDefaults();  // the selection stays the process's
  EXPECT_EQ(r.exitCode, kRecoverListed) << r.err;
  EXPECT_NE(r.out.find("carved\t153600\t" + std::to_string(picture.size()) + "\t35\tjpg\t-\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(testutil::ReadFile(folder + "/153600.jpg"), picture);
}

// A carving script names its own extension; whatever it holds, the carved
// file's name stays one plain name inside the chosen folder.
TEST(CarvedFileNames, OnlyLettersAndDigitsOfTheExtensionReachTheName) {
  const struct {
    uint64_t offset;
    const char* ext;
    const char* name;
  } cases[] = {
      {0, "jpg", "0.jpg"},       {1048576, "", "1048576.bin"}, {512, "../../etc", "512.______etc"},
      {4096, "a/b", "4096.a_b"}, {7, "tar.gz", "7.tar_gz"},    {8, "x\\y z", "8.x_y_z"},
      {9, "\xc3\xa9t", "9.__t"}, {10, "ABC12", "10.ABC12"},
  };
  for (const auto& c : cases) EXPECT_EQ(CarvedFileName(c.offset, c.ext), c.name) << c.ext;
}
