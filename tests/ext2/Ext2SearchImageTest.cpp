// The Ext2/3/4 deleted-file search over volumes made with mke2fs -d and
// changed with debugfs (tests/fixtures/make-ext-images.sh) and over the
// real Linux volume, checked against sleuthkit: the node stream forms the
// tree fls lists, every file's runs give icat's bytes and istat's blocks,
// deleted files are named from their folder's slack, and volumes with
// features the reader does not read are refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "ByteOrder.h"
#include "CClusterUseBitMap.h"
#include "CEXT2SearchController.h"
#include "CExt2BlockIterator.h"
#include "CExt2DataRunList.h"
#include "CExt2DirEntryIterator.h"
#include "CExt2FileProperties.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"
#include "CExt2QuickSearch.h"
#include "CExt2SearchedPartitionInfo.h"
#include "CFoundFileStore.h"
#include "CRawFileInfo.h"
#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "RealVolumes.h"
#include "RecordingBuilder.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"

namespace {

using ext2test::ContinueSink;
using ext2test::RecordingBuilder;

constexpr uint64_t kSparseSize = 5ull * 1024 * 1024 * 1024 + 1000;

std::string FixtureFolder() {
  std::string error;
  const std::string folder = testutil::SharedFixture("make-ext-images.sh", {}, "", error);
  EXPECT_FALSE(folder.empty()) << error;
  return folder;
}

// One searched volume: its image, device, file system and recorded nodes.
struct Searched {
  std::string image;
  std::unique_ptr<ImageFileDevice> device;
  RecordingBuilder builder;
  CExt2QuickSearch search;
  int result = -1;
  std::map<int64_t, CFileNode*> byId;

  explicit Searched(const std::string& path) : image(path), device(std::make_unique<ImageFileDevice>(path)) {
    ContinueSink sink;
    search.SetTreeBuilder(&builder);
    result = search.QuickSearchFiles(device.get(), &sink);
    byId = ext2test::ById(builder);
  }
  std::string Path(CFileNode* n) const { return ext2test::PathOf(n, byId); }
  CExt2FileProperties* Props(CFileNode* n) const { return static_cast<CExt2FileProperties*>(n->GetProperties()); }
  CFileNode* ByPath(const std::string& path, bool deleted = false) const {
    for (CFileNode* n : builder.nodes)
      if (n->GetId() != 2 && Path(n) == path && (Props(n)->IsDeleted() != 0) == deleted) return n;
    return nullptr;
  }
  // The node's bytes through its runs.
  std::string Read(CFileNode* n, uint64_t offset = 0, uint64_t length = UINT64_MAX) const {
    CFileDataReader reader;
    const uint64_t size = static_cast<uint64_t>(n->GetProperties()->GetFileSize());
    // The recording builder links no nodes: the geometry is the root's.
    uint64_t start = 0;
    int sectorsPerBlock = 0;
    builder.nodes.front()->GetPartitionGeometry(start, sectorsPerBlock);
    if (!reader.OpenAt(device.get(), n, start, sectorsPerBlock)) return "<no runs>";
    std::string out;
    length = std::min(length, size - std::min(size, offset));
    std::vector<char> buffer(1 << 20);
    while (out.size() < length) {
      uint32_t got = 0;
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), length - out.size()));
      if (!reader.Read(offset + out.size(), buffer.data(), want, got) || got == 0) break;
      out.append(buffer.data(), got);
    }
    return out;
  }
};

struct FlsEntry {
  bool directory;
  char type;
  std::string path;
  bool operator<(const FlsEntry& o) const { return std::tie(path, directory) < std::tie(o.path, o.directory); }
  bool operator==(const FlsEntry& o) const { return path == o.path && directory == o.directory; }
};

// fls -r -p -u: the live entries, inode -> entry (without the virtual ones).
std::map<uint32_t, std::vector<FlsEntry>> LiveFls(const std::string& image) {
  std::map<uint32_t, std::vector<FlsEntry>> out;
  std::istringstream lines(testutil::Run({"fls", "-r", "-p", "-u", image}).output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find("$OrphanFiles") != std::string::npos || line[0] == 'V') continue;
    const uint32_t inode = static_cast<uint32_t>(std::stoul(line.substr(4)));
    out[inode].push_back({line[2] == 'd', line[2], line.substr(tab + 1)});
  }
  return out;
}

// The data blocks istat lists for an inode (map and extent-tree blocks not
// included), without zeros.
std::vector<uint64_t> IstatBlocks(const std::string& image, uint32_t inode) {
  std::istringstream lines(testutil::Run({"istat", image, std::to_string(inode)}).output);
  std::vector<uint64_t> blocks;
  std::string line;
  bool in = false;
  while (std::getline(lines, line)) {
    if (line.rfind("Direct Blocks:", 0) == 0) {
      in = true;
      continue;
    }
    if (in && (line.empty() || line.back() == ':')) break;
    if (!in) continue;
    std::istringstream words(line);
    std::string w;
    while (words >> w) {
      // "Sparse" or ranges never occur in these images' listings but stay apart.
      if (w.find_first_not_of("0123456789") != std::string::npos) continue;
      if (const uint64_t b = std::stoull(w)) blocks.push_back(b);
    }
  }
  return blocks;
}

std::vector<uint64_t> RunBlocks(const CFileNode* node) {
  std::vector<uint64_t> blocks;
  std::unique_ptr<IDataRunList> runs(node->GetProperties()->GetDataRunList());
  if (!runs) return blocks;
  for (const DataRun& r : runs->Runs())
    if (!r.IsSparse())
      for (uint64_t i = 0; i < r.length; ++i) blocks.push_back(r.start + i);
  return blocks;
}

bool HasSparseRun(const CFileNode* node) {
  std::unique_ptr<IDataRunList> runs(node->GetProperties()->GetDataRunList());
  if (!runs) return false;
  for (const DataRun& r : runs->Runs())
    if (r.IsSparse()) return true;
  return false;
}

std::string FileBytes(const std::string& path, uint64_t offset = 0, uint64_t length = UINT64_MAX) {
  if (offset == 0 && length == UINT64_MAX) return testutil::ReadFile(path);
  std::string out(length, '\0');
  const int fd = open(path.c_str(), O_RDONLY);
  const ssize_t n = pread(fd, out.data(), length, static_cast<off_t>(offset));
  close(fd);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

struct Volume {
  const char* name;  // image in the fixture folder, or "real:" + file of the real volumes
  uint32_t blockSize;
};

class Ext2SearchVolume : public ::testing::TestWithParam<Volume> {
 protected:
  void SetUp() override {
    VT_REQUIRE_TOOL("mke2fs");
    VT_REQUIRE_TOOL("fls");
    const std::string name = GetParam().name;
    if (name.rfind("real:", 0) == 0) {
      VT_REQUIRE_REAL_VOLUME(m_image, testutil::RealVolume(name.substr(5)));
      m_real = true;
    } else {
      m_folder = FixtureFolder();
      ASSERT_FALSE(m_folder.empty());
      m_image = m_folder + "/" + name + ".img";
    }
  }
  std::string m_folder, m_image;
  bool m_real = false;
};

TEST_P(Ext2SearchVolume, NodeStreamFormsTheTreeFlsLists) {
  Searched s(m_image);
  ASSERT_EQ(s.result, 0) << s.search.GetLastError();
  ASSERT_FALSE(s.builder.nodes.empty());
  CFileNode* root = s.builder.nodes.front();
  ASSERT_TRUE(root->IsFileSystemNode()) << "the volume node comes first";
  EXPECT_EQ(root->GetId(), 2);
  std::set<int64_t> ids;
  std::map<uint32_t, std::vector<FlsEntry>> ours;
  for (CFileNode* n : s.builder.nodes) {
    EXPECT_TRUE(ids.insert(n->GetId()).second) << "node " << n->GetId() << " came twice";
    if (n == root || s.Props(n)->IsDeleted()) continue;
    EXPECT_EQ(s.Props(n)->GetInodeNumber(), n->GetId());
    const bool dir = (n->GetProperties()->GetAttributes() & kFileAttributeDirectory) != 0;
    ours[static_cast<uint32_t>(n->GetId())].push_back({dir, dir ? 'd' : '?', s.Path(n)});
  }
  // One node per inode: where fls lists an inode under several names (the
  // hard link), the node stands at one of them.
  const auto fls = LiveFls(m_image);
  ASSERT_FALSE(fls.empty());
  for (const auto& [inode, entries] : fls) {
    auto it = ours.find(inode);
    ASSERT_NE(it, ours.end()) << "no node for inode " << inode << " " << entries[0].path;
    ASSERT_EQ(it->second.size(), 1u);
    EXPECT_NE(std::find(entries.begin(), entries.end(), it->second[0]), entries.end())
        << "inode " << inode << " at " << it->second[0].path << ", fls: " << entries[0].path;
  }
  for (const auto& [inode, entries] : ours) EXPECT_TRUE(fls.count(inode)) << "not in fls: " << entries[0].path;
}

TEST_P(Ext2SearchVolume, RunsGiveIcatBytesAndIstatBlocks) {
  Searched s(m_image);
  ASSERT_EQ(s.result, 0);
  int files = 0, big300 = 0;
  for (const auto& [inode, entries] : LiveFls(m_image)) {
    if (entries[0].type != 'r') continue;
    // Of the 300 one-block files of big300, every 30th is read.
    if (entries[0].path.rfind("big300/", 0) == 0 && big300++ % 30 != 0) continue;
    CFileNode* n = s.byId.at(inode);
    if (n->GetProperties()->GetFileSize() > (64 << 20)) continue;  // the 5 GiB file has its own test
    EXPECT_EQ(RunBlocks(n), IstatBlocks(m_image, inode)) << entries[0].path;
    const std::string icat = testutil::Run({"icat", m_image, std::to_string(inode)}).output;
    const std::string ours = n->GetProperties()->GetFileSize() ? s.Read(n) : std::string();
    EXPECT_TRUE(ours == icat) << entries[0].path << ": " << ours.size() << " bytes against " << icat.size();
    ++files;
  }
  EXPECT_GT(files, m_real ? 2 : 15);
}

TEST_P(Ext2SearchVolume, TimesAreUtcWhateverTheZone) {
  Searched s(m_image);
  CFileNode* n = s.ByPath(m_real ? "passwords.txt" : "top.txt");
  ASSERT_NE(n, nullptr);
  const std::string istat =
      testutil::Run({"istat", "-z", "UTC", m_image, std::to_string(s.Props(n)->GetInodeNumber())}).output;
  const size_t at = istat.find("File Modified:\t");
  ASSERT_NE(at, std::string::npos) << istat;
  std::tm tm{};
  ASSERT_NE(strptime(istat.c_str() + at + 15, "%Y-%m-%d %H:%M:%S", &tm), nullptr);
  const uint64_t expected = (static_cast<uint64_t>(timegm(&tm)) + 11644473600ull) * 10000000ull;
  EXPECT_EQ(n->GetProperties()->GetModificationTime(), expected);
}

TEST_P(Ext2SearchVolume, DeletedFilesNamedFromSlackAndReadBack) {
  if (m_real) GTEST_SKIP() << "the real volume has no deleted files";
  Searched s(m_image);
  ASSERT_EQ(s.result, 0);
  // Names left in the first block of their folder; the files end under the root.
  for (auto [name, original] :
       {std::pair{"doomed-small.txt", "doomed-small.txt"}, std::pair{"doomed-big.bin", "doomed-big.bin"},
        std::pair{"doomed.txt", "doomed-nested.txt"}}) {
    CFileNode* n = s.ByPath(name, true);
    ASSERT_NE(n, nullptr) << name;
    EXPECT_EQ(n->GetParentId(), 2);
    EXPECT_TRUE(s.Read(n) == FileBytes(m_folder + "/gone/" + original)) << name;
  }
  // Deleted from a later block of big300: no name survives; the file with
  // bytes is named after its inode, the empty one is dropped.
  const std::string lateBytes = FileBytes(m_folder + "/gone/zz-late-doomed-nonempty-0001.txt");
  int late = 0;
  for (CFileNode* n : s.builder.nodes) {
    if (!s.Props(n)->IsDeleted()) continue;
    const std::string name = n->GetProperties()->GetName();
    EXPECT_EQ(name.find("zz-late"), std::string::npos);
    if (name.rfind("Inode_", 0) != 0) continue;
    char expected[32];
    snprintf(expected, sizeof expected, "Inode_%" PRIx64, static_cast<uint64_t>(n->GetId()));
    EXPECT_EQ(name, expected);
    EXPECT_GT(n->GetProperties()->GetFileSize(), 0);
    if (s.Read(n) == lateBytes) ++late;
  }
  EXPECT_EQ(late, 1);
  // Live files are never marked deleted, and the deleted name store only
  // names deleted files.
  CFileNode* early = s.ByPath("late/early.txt");
  ASSERT_NE(early, nullptr) << "an inode scanned before the folder that names it";
  EXPECT_TRUE(s.Read(early) == FileBytes(m_folder + "/gone/early.txt"));
}

TEST_P(Ext2SearchVolume, HolesReadAsZerosAndTheSparseFileReadsWhole) {
  if (m_real) GTEST_SKIP() << "the real volume has no sparse files";
  Searched s(m_image);
  CFileNode* holes = s.ByPath("holes.bin");
  ASSERT_NE(holes, nullptr);
  EXPECT_TRUE(HasSparseRun(holes));
  EXPECT_TRUE(s.Read(holes) == FileBytes(m_folder + "/src/holes.bin"));

  CFileNode* sparse = s.ByPath("sparse5g.bin");
  ASSERT_NE(sparse, nullptr);
  EXPECT_EQ(static_cast<uint64_t>(sparse->GetProperties()->GetFileSize()), kSparseSize);
  EXPECT_TRUE(sparse->GetProperties()->GetAttributes() & 0x200);
  const std::string src = m_folder + "/src/sparse5g.bin";
  for (uint64_t offset : std::vector<uint64_t>{0, 267 << 10, 268 << 10, 65804 << 10, 3ull << 30, kSparseSize - 8192})
    EXPECT_TRUE(s.Read(sparse, offset, 8192) == FileBytes(src, offset, 8192)) << "at " << offset;
}

// The complete search over the volume as a whole disk finds it at sector 0,
// builds its tree, and hands the carved-file placer a block-use map that
// answers "used" for every block istat lists for a live file, and "free" for
// the descriptor table (metadata, not a file).
TEST_P(Ext2SearchVolume, CompleteSearchMapsEveryLiveFileBlockInUse) {
  ImageFileDevice device(m_image);
  CEXT2SearchController search;
  search.SetDevice(&device);
  search.StartSearch();
  const uint64_t sectors = device.GetSectorCount();
  for (uint64_t at = 0; at < sectors; at += 8192) search.AnalyzeBlock(at, std::min<uint64_t>(8192, sectors - at));
  search.EndSearch();
  ASSERT_EQ(search.GetFound().size(), 1u) << "backup superblocks inside the volume make no partition";
  CExt2SearchedPartitionInfo* p = search.GetFound().front();
  EXPECT_EQ(p->GetStartSector(), 0u);
  EXPECT_EQ(p->GetSectorsPerCluster(), GetParam().blockSize / 512);
  ASSERT_EQ(search.BuildPartitionTree(p), 0);
  CFoundFileStore store;
  store.AddFile(new CRawFileInfo(4096, 100, "", 1, "jpg"));
  search.SetFoundFileStore(&store);
  uint64_t checked = 0, missing = 0;
  int calls = 0;
  const uint64_t spb = GetParam().blockSize / 512;
  RegisterRawFilePlacer([&](IStorageDevice*, CFoundFileStore* given, IDirecotryTreeBuilder*,
                            CSearchedPartitionInfo* partition, IIsClusterUsed* use) {
    ++calls;
    EXPECT_EQ(given, &store);
    EXPECT_EQ(partition, p);
    if (!use) return 0;
    const CExt2FileSystem fs(&device, 2);
    int big300 = 0, files = 0;
    for (const auto& [inode, entries] : LiveFls(m_image)) {
      if (entries[0].type != 'r') continue;
      // Every 30th of big300's files; the 5 GiB file's listing is too long.
      if (entries[0].path.rfind("big300/", 0) == 0 && big300++ % 30 != 0) continue;
      if (CExt2Inode(&fs, inode).GetRawSize() > (64 << 20)) continue;
      // istat runs once a file: 25 files are enough.
      if (++files > 25) break;
      for (uint64_t block : IstatBlocks(m_image, inode)) {
        ++checked;
        if (!use->IsClusterUsed(block * spb)) ++missing;
      }
    }
    EXPECT_FALSE(use->IsClusterUsed(p->GetFirstDescriptorSector512()));
    return 0;
  });
  std::vector<CSearchedPartitionInfo*> one{p};
  search.BuildLostFiles(one);
  RegisterRawFilePlacer(nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_GT(checked, m_real ? 0u : 10u);
  EXPECT_EQ(missing, 0u);
}

INSTANTIATE_TEST_SUITE_P(Volumes, Ext2SearchVolume,
                         ::testing::Values(Volume{"ext2-1k", 1024}, Volume{"ext2-4k", 4096}, Volume{"ext3", 1024},
                                           Volume{"ext4", 4096}, Volume{"real:ext2.raw", 1024}),
                         [](const ::testing::TestParamInfo<Volume>& info) {
                           std::string n = info.param.name;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

TEST(Ext2Search, FragmentedExtentFileThroughAnIndexNode) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  Searched s(folder + "/ext4.img");
  CFileNode* frag = s.ByPath("frag.bin");
  ASSERT_NE(frag, nullptr);
  std::unique_ptr<IDataRunList> runs(frag->GetProperties()->GetDataRunList());
  ASSERT_TRUE(runs);
  EXPECT_GT(runs->GetRunCount(), 4u) << "the free space was broken up";
  EXPECT_TRUE(s.Read(frag) == FileBytes(folder + "/gone/frag.bin"));
}

TEST(Ext2Search, VolumesWithUnknownFeaturesAreRefused) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  for (auto [image, feature] : {std::pair{"inline.img", "inline_data"}, std::pair{"metabg.img", "meta_bg"}}) {
    Searched s(folder + "/" + image);
    EXPECT_EQ(s.result, ext2_search::kUnsupportedFeature) << image;
    EXPECT_NE(s.search.GetLastError().find(feature), std::string::npos) << s.search.GetLastError();
    EXPECT_TRUE(s.builder.nodes.empty()) << image;
  }
  // Not a file system at all: an error, never success.
  testutil::MemoryDevice blank(std::vector<uint8_t>(1 << 20, 0));
  CExt2QuickSearch search;
  ContinueSink sink;
  EXPECT_EQ(search.QuickSearchFiles(&blank, &sink), ext2_search::kCannotOpen);
  EXPECT_EQ(search.QuickSearchFiles(nullptr, &sink), ext2_search::kBadArgument);
  EXPECT_EQ(search.QuickSearchFiles(&blank, nullptr), ext2_search::kBadArgument);
}

TEST(Ext2Search, SecondSearchOnALargerVolumeKeepsItsSlackNames) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  RecordingBuilder first, second;
  CExt2QuickSearch search;
  ContinueSink sink;
  ImageFileDevice tiny(folder + "/tiny.img"), large(folder + "/ext2-1k.img");
  search.SetTreeBuilder(&first);
  ASSERT_EQ(search.QuickSearchFiles(&tiny, &sink), 0);
  search.SetTreeBuilder(&second);
  ASSERT_EQ(search.QuickSearchFiles(&large, &sink), 0);
  const auto byId = ext2test::ById(second);
  int named = 0;
  for (CFileNode* n : second.nodes)
    if (n->GetProperties()->IsDeleted() && ext2test::PathOf(n, byId) == "doomed-small.txt") {
      EXPECT_GT(n->GetId(), 16 + 256) << "an inode above the first volume's bound";
      ++named;
    }
  EXPECT_EQ(named, 1);
}

TEST(Ext2Search, RefusedNodesAreDestroyedAndEndTheOrphans) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  // Run under LeakSanitizer in the sanitizer build: refused nodes must go.
  for (int keep : {1, 40, 320}) {
    RecordingBuilder builder;
    builder.refuseAfter = keep;
    CExt2QuickSearch search;
    ContinueSink sink;
    ImageFileDevice disk(folder + "/ext2-1k.img");
    search.SetTreeBuilder(&builder);
    ASSERT_EQ(search.QuickSearchFiles(&disk, &sink), 0);
    EXPECT_EQ(builder.nodes.size(), static_cast<size_t>(keep));
    EXPECT_GT(builder.refused, 0);
    EXPECT_TRUE(search.IsBuildStopped());
  }
}

// The build-stop flag belongs to one complete search: a builder that refuses
// one search's nodes stops that search's build (its nodes are then in no
// partition), never another search's over the same volume.
TEST(Ext2Search, StoppingOneCompleteSearchsBuildLeavesAnotherBuilding) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  struct TakingBuilder : RecordingBuilder {
    int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo*) override {
      int error = 0;
      return AddNode(node, kind, error);
    }
  };
  RecordingBuilder refusing;  // refuses every partition node
  TakingBuilder taking;
  ImageFileDevice disk(folder + "/tiny.img");
  CEXT2SearchController stopped, going;
  std::unique_ptr<CFileNode, void (*)(CFileNode*)> node(CreateFileNode(), DeleteFileNode);
  CFileNode* file = node.get();
  file->SetId(12);  // the volume's one file
  for (auto [search, builder] : {std::pair<CEXT2SearchController*, RecordingBuilder*>{&stopped, &refusing},
                                 std::pair<CEXT2SearchController*, RecordingBuilder*>{&going, &taking}}) {
    search->SetTreeBuilder(builder);
    search->SetDevice(&disk);
    search->StartSearch();
    search->AnalyzeBlock(0, disk.GetSectorCount());
    search->EndSearch();
    ASSERT_EQ(search->GetFound().size(), 1u);
    EXPECT_EQ(search->IsNodeInPartition(file, search->GetFound().front()), 1);
  }
  ASSERT_EQ(stopped.BuildPartitionTree(stopped.GetFound().front()), 0);
  ASSERT_EQ(going.BuildPartitionTree(going.GetFound().front()), 0);
  EXPECT_GT(taking.nodes.size(), 1u);
  EXPECT_EQ(stopped.IsNodeInPartition(file, stopped.GetFound().front()), 0);
  EXPECT_EQ(going.IsNodeInPartition(file, going.GetFound().front()), 1);
}

TEST(Ext2Search, SinkThatStopsEndsTheScan) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  RecordingBuilder all, stopped;
  ContinueSink goOn, stop;
  stop.stopAfter = 2;
  ImageFileDevice disk(folder + "/ext2-1k.img");
  CExt2QuickSearch a, b;
  a.SetTreeBuilder(&all);
  b.SetTreeBuilder(&stopped);
  ASSERT_EQ(a.QuickSearchFiles(&disk, &goOn), 0);
  ASSERT_EQ(b.QuickSearchFiles(&disk, &stop), 0);
  EXPECT_LT(stopped.nodes.size(), all.nodes.size());
  EXPECT_GT(goOn.reports, 0);
}

}  // namespace
