// The FAT directory rebuild over volumes made by mkfs.fat and filled by
// mtools (FAT12, FAT16, FAT32 at 512- and 4096-byte sectors), judged by
// sleuthkit (fls, istat) and mtools (mcopy): the same names with the same
// deleted marks, the same clusters, the same bytes. Copies of the images,
// patched by the tests, hold the cases a damaged or reused volume shows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "ByteOrder.h"
#include "CFATFileProperties.h"
#include "CFatCompleteSearchWorker.h"
#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "IDataRunList.h"
#include "IFATTable.h"
#include "ImageFileDevice.h"
#include "FatTestData.h"
#include "TestUtil.h"

namespace {

struct ImageCase {
  const char* file;
  int sectorSize;
};

std::ostream& operator<<(std::ostream& o, const ImageCase& c) {
  return o << c.file;
}

std::string Tool(const std::vector<std::string>& argv) {
  auto r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.output;
  return r.output;
}

// One entry of `fls -r -p`.
struct Listed {
  std::string inode;
  bool dir = false;
  bool deleted = false;
};

std::map<std::string, Listed> ListWithFls(const std::string& image) {
  std::map<std::string, Listed> out;
  std::istringstream in(Tool({"fls", "-r", "-p", image}));
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find(":\t");
    if (tab == std::string::npos || line.compare(0, 3, "v/v") == 0 || line.compare(0, 3, "V/V") == 0) continue;
    const std::string path = line.substr(tab + 2);
    if (path.find("(Volume Label Entry)") != std::string::npos) continue;
    std::istringstream head(line.substr(4, tab - 4));
    Listed l;
    l.dir = line[0] == 'd';
    std::string word;
    head >> word;
    if (word == "*") {
      l.deleted = true;
      head >> word;
    }
    l.inode = word.substr(0, word.find('('));
    out[path] = l;
  }
  return out;
}

// The sectors istat lists for an inode (the zeros that pad its last
// cluster left out).
std::vector<uint64_t> IstatSectors(const std::string& image, const std::string& inode) {
  const std::string text = Tool({"istat", image, inode});
  std::vector<uint64_t> out;
  const size_t at = text.find("Sectors:");
  if (at == std::string::npos) return out;
  std::istringstream in(text.substr(at + 8));
  for (uint64_t s; in >> s;)
    if (s != 0) out.push_back(s);
  return out;
}

// The geometry from the boot sector's own fields.
FatRebuildGeometry GeometryOf(const std::vector<uint8_t>& boot) {
  const uint32_t bps = ReadLE16(&boot[11]);
  const uint32_t spc = boot[13];
  const uint32_t reserved = ReadLE16(&boot[14]);
  const uint32_t fats = boot[16];
  const uint32_t rootEntries = ReadLE16(&boot[17]);
  const uint64_t total = ReadLE16(&boot[19]) ? ReadLE16(&boot[19]) : ReadLE32(&boot[32]);
  const uint32_t fatSize = ReadLE16(&boot[22]) ? ReadLE16(&boot[22]) : ReadLE32(&boot[36]);
  const uint32_t rootSectors = (rootEntries * 32 + bps - 1) / bps;
  FatRebuildGeometry g;
  g.sectorsPerCluster = spc;
  g.rootStart = reserved + uint64_t(fats) * fatSize;
  g.rootDirSectors = rootSectors;
  g.dataStart = g.rootStart + rootSectors;
  g.partitionSize = total;
  const uint64_t clusters = (total - g.dataStart) / spc;
  g.fatType = clusters < 4085 ? 0 : clusters < 65525 ? 1 : 2;
  g.rootCluster = g.fatType == 2 ? ReadLE32(&boot[44]) : 0;
  g.rebuildRoot = true;
  return g;
}

// An image rebuilt by the worker.
struct Rebuilt {
  Rebuilt(const std::string& image, int sectorSize, std::vector<FatDirectoryStart> starts) : dev(image, sectorSize) {
    std::vector<uint8_t> boot(static_cast<size_t>(sectorSize));
    EXPECT_TRUE(dev.ReadSectors(boot.data(), 0, 1));
    geo = GeometryOf(boot);
    const uint32_t fatSize = ReadLE16(&boot[22]) ? ReadLE16(&boot[22]) : ReadLE32(&boot[36]);
    fat.reset(CreateFATTable(&dev, ReadLE16(&boot[14]), geo.fatType, fatSize, 1, 0,
                             (geo.partitionSize - geo.dataStart) / geo.sectorsPerCluster));
    worker = std::make_unique<CFatCompleteSearchWorker>(&dev, fat.get(), geo);
    root = worker->Run(starts);
  }
  // Every node below the root by path.
  std::map<std::string, CFileNode*> Paths() const {
    std::map<std::string, CFileNode*> out;
    std::function<void(CFileNode*, const std::string&, int)> walk = [&](CFileNode* n, const std::string& prefix,
                                                                        int depth) {
      ASSERT_LT(depth, 32);
      for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) {
        const std::string path = prefix + c->GetProperties()->GetName();
        EXPECT_EQ(out.count(path), 0u) << "listed twice: " << path;
        out[path] = c;
        walk(c, path + "/", depth + 1);
      }
    };
    walk(root, "", 0);
    return out;
  }
  std::vector<uint8_t> Read(CFileNode* node) {
    std::vector<uint8_t> bytes(static_cast<size_t>(node->GetProperties()->GetFileSize()));
    CFileDataReader reader;
    uint32_t got = 0;
    if (!reader.Open(&dev, node) || !reader.Read(0, bytes.data(), static_cast<uint32_t>(bytes.size()), got)) return {};
    bytes.resize(got);
    return bytes;
  }
  std::vector<uint64_t> Sectors(CFileNode* node) const {
    std::vector<uint64_t> out;
    IDataRunList* list = node->GetProperties()->GetDataRunList();
    if (!list) return out;
    for (const DataRun& r : list->Runs())
      for (uint64_t c = r.start; c < r.start + r.length; ++c)
        for (uint32_t k = 0; k < geo.sectorsPerCluster; ++k)
          out.push_back(geo.dataStart + c * geo.sectorsPerCluster + k);
    delete list;
    return out;
  }

  ImageFileDevice dev;
  FatRebuildGeometry geo;
  std::unique_ptr<CDoubleFATTable> fat;
  std::unique_ptr<CFatCompleteSearchWorker> worker;
  CFileSystemNode* root = nullptr;
};

// What a sector scan would record for every folder fls lists: the first
// sector of its first cluster with the clusters its "." and ".." name.
std::vector<FatDirectoryStart> FolderStarts(const std::string& image, int sectorSize,
                                            const std::map<std::string, Listed>& listing,
                                            const std::set<std::string>& leaveOut = {}) {
  std::vector<FatDirectoryStart> starts;
  ImageFileDevice dev(image, sectorSize);
  std::vector<uint8_t> sector(static_cast<size_t>(sectorSize));
  for (const auto& [path, l] : listing) {
    if (!l.dir || leaveOut.count(path)) continue;
    const std::vector<uint64_t> sectors = IstatSectors(image, l.inode);
    if (sectors.empty() || !dev.ReadSectors(sector.data(), sectors[0], 1)) continue;
    auto cluster = [&](size_t at) {
      return static_cast<int32_t>((uint32_t(ReadLE16(&sector[at + 20])) << 16) | ReadLE16(&sector[at + 26]));
    };
    starts.push_back({sectors[0], cluster(0), cluster(32)});
  }
  return starts;
}

using fattest::ComparableName;
constexpr const char* kRecycled = fattest::kRecycledPath;
constexpr const char* kRestored = fattest::kRestoredPath;

class FatRebuildImages : public ::testing::TestWithParam<ImageCase> {
 protected:
  static void SetUpTestSuite() {
    if (!testutil::HaveTool("mkfs.fat") || !testutil::HaveTool("mcopy") || !testutil::HaveTool("fls") ||
        !testutil::HaveTool("python3"))
      return;
    s_made = true;
    s_dir = testutil::SharedFixture("make_fat_rebuild_images.sh", {}, "", s_error);
  }
  void SetUp() override {
    if (!s_made) GTEST_SKIP() << "needs mkfs.fat, mtools, sleuthkit and python3 (scripts/install-deps)";
    ASSERT_FALSE(s_dir.empty()) << s_error;
  }
  static std::string Fixture(const std::string& name) { return s_dir + "/" + name; }
  static bool s_made;
  static std::string s_dir, s_error;
};
bool FatRebuildImages::s_made = false;
std::string FatRebuildImages::s_dir, FatRebuildImages::s_error;

TEST_P(FatRebuildImages, TreeRunsAndBytesAgreeWithSleuthkitAndMtools) {
  const std::string image = Fixture(GetParam().file);
  const int ss = GetParam().sectorSize;
  const auto listing = ListWithFls(image);
  ASSERT_GT(listing.size(), 300u);
  Rebuilt r(image, ss, FolderStarts(image, ss, listing));
  const auto ours = r.Paths();

  std::map<std::string, bool> expected, got;
  for (const auto& [path, l] : listing)
    expected[ComparableName(path == kRecycled ? kRestored : path, l.deleted)] = l.deleted;
  for (const auto& [path, node] : ours) {
    const bool deleted = node->GetProperties()->IsDeleted() != 0;
    got[ComparableName(path, deleted)] = deleted;
  }
  EXPECT_EQ(got, expected);

  testutil::TempDir tmp("rebuild");
  Tool({"mcopy", "-s", "-n", "-i", image, "::/", tmp.path() + "/"});
  int compared = 0;
  for (const auto& [path, l] : listing) {
    if (l.dir || l.deleted) continue;
    auto it = ours.find(path == kRecycled ? kRestored : path);
    ASSERT_NE(it, ours.end()) << path;
    CFileNode* node = it->second;
    const std::string want = testutil::ReadFile(tmp.file(path));
    if (want.empty()) continue;
    // istat for every file outside the folder of 300 names, and a sample in it.
    if (path.compare(0, 5, "many/") != 0 || compared % 20 == 0) {
      const std::vector<uint64_t> theirs = IstatSectors(image, l.inode);
      std::vector<uint64_t> mine = r.Sectors(node);
      if (mine.size() > theirs.size()) mine.resize(theirs.size());
      EXPECT_EQ(mine, theirs) << path;
    }
    const std::vector<uint8_t> bytes = r.Read(node);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), want) << path;
    ++compared;
  }
  EXPECT_GT(compared, 300);

  // Deleted files whose clusters nothing reused read back whole.
  std::istringstream manifest(testutil::ReadFile(Fixture("deleted.txt")));
  int deleted = 0;
  for (std::string line; std::getline(manifest, line);) {
    std::string path = line.substr(1, line.find('\t') - 1);
    // A deleted 8.3 name shows its lost first character as '#'.
    if (path.find('~') == std::string::npos && path.find(' ') == std::string::npos) path[path.rfind('/') + 1] = '#';
    auto it = ours.find(path);
    ASSERT_NE(it, ours.end()) << path;
    EXPECT_NE(it->second->GetProperties()->IsDeleted(), 0) << path;
    const std::vector<uint8_t> bytes = r.Read(it->second);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), testutil::ReadFile(Fixture(line.substr(line.find('\t') + 1))))
        << path;
    ++deleted;
  }
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(std::string(r.root->GetName()), "REBUILD");
}

INSTANTIATE_TEST_SUITE_P(Images, FatRebuildImages,
                         ::testing::Values(ImageCase{"fat12.img", 512}, ImageCase{"fat16.img", 512},
                                           ImageCase{"fat32.img", 512}, ImageCase{"fat12_4k.img", 4096},
                                           ImageCase{"fat16_4k.img", 4096}, ImageCase{"fat32_4k.img", 4096}),
                         [](const auto& info) {
                           std::string n = info.param.file;
                           return n.substr(0, n.find('.'));
                         });

// Offset of the only 32-byte entry of the image that starts with `head`
// (first byte, name, attribute), found on an entry boundary.
uint64_t FindEntry(const std::string& bytes, const std::string& head) {
  uint64_t found = std::string::npos;
  for (size_t at = bytes.find(head); at != std::string::npos; at = bytes.find(head, at + 1)) {
    if (at % 32 != 0) continue;
    EXPECT_EQ(found, std::string::npos) << "entry found twice";
    found = at;
  }
  return found;
}

class FatRebuildPatched : public FatRebuildImages {};

TEST_F(FatRebuildPatched, DeletedEntriesThatLostTheirHighWordAreFoundAgain) {
  const std::string original = Fixture("fat32.img");
  const auto listing = ListWithFls(original);
  struct Row {
    const char* what;
    std::string entryHead;  // first 12 bytes of the entry to patch
    const char* path;       // what must read back
    const char* payload;
    bool startAtLowWord;  // the scan also met a directory start where the low word points
  } rows[] = {
      {"a deleted folder, its made-up twin replaced", std::string("\xE5ONE       \x10", 12), "Gone/first gone file.bin",
       "gone1.bin", false},
      {"a deleted folder, found under i x 65536 + low word", std::string("\xE5ONE       \x10", 12),
       "Gone/first gone file.bin", "gone1.bin", true},
      {"a deleted file, given its cluster back by the guess",
       std::string("\xE5"
                   "ELETE~1BIN\x20",
                   12),
       "deleted tail file.bin", "tail.bin", false},
  };
  for (const Row& row : rows) {
    testutil::TempDir tmp("highword");
    const std::string image = tmp.file("patched.img");
    std::string bytes = testutil::ReadFile(original);
    const uint64_t at = FindEntry(bytes, row.entryHead);
    ASSERT_NE(at, std::string::npos) << row.what;
    ASSERT_NE(ReadLE16(reinterpret_cast<const uint8_t*>(&bytes[at + 20])), 0) << row.what;
    bytes[at + 20] = bytes[at + 21] = 0;
    testutil::WriteFile(image, bytes);
    std::vector<FatDirectoryStart> starts = FolderStarts(original, 512, listing);
    if (row.startAtLowWord) {
      const FatRebuildGeometry geo = GeometryOf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 512));
      const uint32_t low = ReadLE16(reinterpret_cast<const uint8_t*>(&bytes[at + 26]));
      starts.push_back({geo.dataStart + (low - 2) * uint64_t(geo.sectorsPerCluster), int32_t(low), 0});
    }

    Rebuilt r(image, 512, starts);
    const auto ours = r.Paths();
    const std::string top = std::string(row.path).substr(0, std::string(row.path).find('/'));
    ASSERT_EQ(ours.count(top), 1u) << row.what;
    EXPECT_GE(dynamic_cast<CFATFileProperties*>(ours.at(top)->GetProperties())->GetFirstCluster(), 0x10000u)
        << row.what;
    auto it = ours.find(row.path);
    ASSERT_NE(it, ours.end()) << row.what;
    const std::vector<uint8_t> got = r.Read(it->second);
    EXPECT_EQ(std::string(got.begin(), got.end()), testutil::ReadFile(Fixture(row.payload))) << row.what;
    auto* props = dynamic_cast<CFATFileProperties*>(it->second->GetProperties());
    EXPECT_GE(props->GetFirstCluster(), 0x10000u) << row.what;
    EXPECT_EQ(ours.count("Other lost files"), 0u) << row.what;
  }
}

TEST_F(FatRebuildPatched, ClustersNoChainReachesBecomeNumberedFoldersOfLostFiles) {
  const std::string original = Fixture("fat16.img");
  const auto listing = ListWithFls(original);
  testutil::TempDir tmp("lost");
  const std::string image = tmp.file("patched.img");
  std::string bytes = testutil::ReadFile(original);
  // The folder of 300 names loses its entry in the root, and the scan
  // misses its first cluster: its other clusters are reached by no chain.
  const uint64_t at = FindEntry(bytes, std::string("MANY       \x10", 12));
  ASSERT_NE(at, std::string::npos);
  std::memset(&bytes[at], 0, 32);
  testutil::WriteFile(image, bytes);
  std::vector<FatDirectoryStart> starts = FolderStarts(original, 512, listing, {"many"});
  const std::vector<uint64_t> sectors = IstatSectors(original, listing.at("many").inode);
  FatRebuildGeometry geo;
  {
    ImageFileDevice dev(original);
    std::vector<uint8_t> boot(512);
    ASSERT_TRUE(dev.ReadSectors(boot.data(), 0, 1));
    geo = GeometryOf(boot);
  }
  for (size_t i = geo.sectorsPerCluster; i < sectors.size(); i += geo.sectorsPerCluster)
    starts.push_back({sectors[i], -1, -1});

  Rebuilt r(image, 512, starts);
  const auto ours = r.Paths();
  std::set<std::string> names;
  for (const auto& [path, l] : listing)
    if (path.compare(0, 5, "many/") == 0) names.insert(path.substr(5));
  std::set<int> found;
  for (const auto& [path, node] : ours) {
    if (path.compare(0, 20, "Other lost files/DIR") != 0 || node->GetFirstChild() != nullptr) continue;
    const std::string name = path.substr(path.find('/', 17) + 1);
    if (name.find('/') != std::string::npos) continue;
    // Each file holds "entry N": the name must be file N's, or its 8.3 name
    // where the cluster before (missed) held the head of the long name.
    const std::vector<uint8_t> got = r.Read(node);
    const std::string text(got.begin(), got.end());
    ASSERT_EQ(text.compare(0, 6, "entry "), 0) << name;
    const int n = std::stoi(text.substr(6));
    char want[64];
    std::snprintf(want, sizeof want, "long file name number %03d of the folder.txt", n);
    ASSERT_EQ(names.count(want), 1u);
    if (name.find('~') == std::string::npos) {
      EXPECT_EQ(name, want);
    }
    EXPECT_TRUE(found.insert(n).second) << name;
  }
  // All but the names in the missed first cluster.
  EXPECT_GT(found.size(), 250u);
  EXPECT_LT(found.size(), 300u);
  EXPECT_EQ(ours.count("many"), 0u);
}

}  // namespace
