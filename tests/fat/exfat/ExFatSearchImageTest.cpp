// The exFAT deleted-file search over volumes made with mkfs.exfat and filled
// through exfat-fuse (tests/fixtures/make-exfat-images.sh), checked against
// sleuthkit and the files the fixture kept: the node stream forms the tree
// fls lists, deleted files read back as they were written, live fragmented
// files as icat reads them, an unreadable cluster ends its folder only, and
// a volume that is not exFAT is refused with an error.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "CExFatFileProperties.h"
#include "CExFatQuickSearch.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "ExFatImagePatch.h"
#include "FaultInjectingDevice.h"
#include "ImageFileDevice.h"
#include "RecordingTreeBuilder.h"
#include "TestUtil.h"

namespace {

std::string FixtureFolder() {
  std::string error;
  const std::string folder = testutil::SharedFixture("make-exfat-images.sh", {}, "", error);
  EXPECT_FALSE(folder.empty()) << error;
  return folder;
}

// One searched volume: its device and the nodes the search handed over.
struct Searched {
  std::unique_ptr<IStorageDevice> device;
  testutil::RecordingTreeBuilder builder;
  testutil::CountingSink sink;
  CExFatQuickSearch search;
  int result = -1;
  std::map<int64_t, CFileNode*> folders;  // by id

  explicit Searched(std::unique_ptr<IStorageDevice> d) : device(std::move(d)) {
    builder.kind = ETreeKind::exFAT;
    search.SetTreeBuilder(&builder);
    result = search.QuickSearchFiles(device.get(), &sink);
    for (CFileNode* n : builder.nodes)
      if (n->GetProperties() && (n->GetProperties()->GetAttributes() & kFileAttributeDirectory)) folders[n->GetId()] = n;
  }
  CExFatFileProperties* Props(CFileNode* n) const { return static_cast<CExFatFileProperties*>(n->GetProperties()); }
  // The path from the root by parent ids; "?/..." where the chain breaks.
  std::string Path(CFileNode* node) const {
    std::string path;
    const CFileNode* root = builder.nodes.front();
    for (int depth = 0; node && node != root && depth < 64; ++depth) {
      path = std::string(node->GetProperties()->GetName()) + (path.empty() ? "" : "/" + path);
      if (node->GetParentId() == root->GetId()) return path;
      auto it = folders.find(node->GetParentId());
      node = it == folders.end() ? nullptr : it->second;
    }
    return "?/" + path;
  }
  CFileNode* ByPath(const std::string& path) const {
    for (size_t i = 1; i < builder.nodes.size(); ++i)
      if (Path(builder.nodes[i]) == path) return builder.nodes[i];
    return nullptr;
  }
  // The node's bytes through its runs, with the root's geometry.
  std::string Read(CFileNode* n) const {
    uint64_t start = 0;
    int sectorsPerCluster = 0;
    builder.nodes.front()->GetPartitionGeometry(start, sectorsPerCluster);
    CFileDataReader reader;
    if (!reader.OpenAt(device.get(), n, start, sectorsPerCluster)) return "<no runs>";
    const uint64_t size = static_cast<uint64_t>(n->GetProperties()->GetFileSize());
    std::string out;
    std::vector<char> buffer(1 << 20);
    while (out.size() < size) {
      uint32_t got = 0;
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), size - out.size()));
      if (!reader.Read(out.size(), buffer.data(), want, got) || got == 0) break;
      out.append(buffer.data(), got);
    }
    return out;
  }
};

using testutil::Fls;
using testutil::Listed;

struct Volume {
  const char* name;
  int sectorSize;
  uint32_t clusterSize;
};

class ExFatSearchVolume : public ::testing::TestWithParam<Volume> {
 protected:
  void SetUp() override {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkfs.exfat");
    VT_REQUIRE_TOOL("mount.exfat-fuse");
    VT_REQUIRE_TOOL("fls");
    if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
    m_folder = FixtureFolder();
    ASSERT_FALSE(m_folder.empty());
    m_image = m_folder + "/" + GetParam().name + ".img";
  }
  std::unique_ptr<IStorageDevice> Device() const {
    return std::make_unique<ImageFileDevice>(m_image, GetParam().sectorSize);
  }
  std::string m_folder, m_image;
};

TEST_P(ExFatSearchVolume, NodeStreamFormsTheTreeFlsLists) {
  Searched s(Device());
  ASSERT_EQ(s.result, 0);
  ASSERT_FALSE(s.builder.nodes.empty());
  CFileNode* root = s.builder.nodes.front();
  ASSERT_TRUE(root->IsFileSystemNode()) << "the volume node comes first";
  uint64_t start = 0;
  int sectorsPerCluster = 0;
  root->GetPartitionGeometry(start, sectorsPerCluster);
  EXPECT_EQ(static_cast<uint32_t>(sectorsPerCluster) * GetParam().sectorSize, GetParam().clusterSize);
  EXPECT_EQ(s.search.GetUnreadableFolders(), 0u);
  std::multiset<Listed> ours;
  for (size_t i = 1; i < s.builder.nodes.size(); ++i) {
    CFileNode* n = s.builder.nodes[i];
    ours.insert({s.Path(n), (s.Props(n)->GetAttributes() & kFileAttributeDirectory) != 0, s.Props(n)->IsDeletedBit() != 0});
  }
  const std::multiset<Listed> theirs = Fls(m_image);
  ASSERT_GT(theirs.size(), 300u);
  EXPECT_EQ(std::vector<Listed>(ours.begin(), ours.end()), std::vector<Listed>(theirs.begin(), theirs.end()));
  EXPECT_GT(s.sink.reports, 0);
}

TEST_P(ExFatSearchVolume, FilesReadBackAsWritten) {
  Searched s(Device());
  ASSERT_EQ(s.result, 0);
  const std::string kept = m_folder + "/gone/" + GetParam().name + "/";
  // Deleted files whose clusters were contiguous and not reused.
  for (const char* path : {"gone-small.txt", "gone-big.bin", "doomed/one.txt", "doomed/two.bin"}) {
    SCOPED_TRACE(path);
    CFileNode* n = s.ByPath(path);
    ASSERT_TRUE(n);
    EXPECT_EQ(s.Props(n)->IsDeletedBit(), 1);
    EXPECT_TRUE(s.Read(n) == testutil::ReadFile(kept + path));
  }
  // The deleted fragmented file reads as far as its FAT chain survives:
  // at least its first cluster, and only its own bytes.
  CFileNode* odd = s.ByPath("frag/odd.bin");
  ASSERT_TRUE(odd);
  const std::string original = testutil::ReadFile(kept + "frag/odd.bin");
  const std::string read = s.Read(odd);
  EXPECT_GE(read.size(), GetParam().clusterSize);
  EXPECT_TRUE(original.compare(0, read.size(), read) == 0);
  // A live fragmented file follows its FAT chain: icat agrees.
  CFileNode* even = s.ByPath("frag/even.bin");
  ASSERT_TRUE(even);
  EXPECT_FALSE(s.Props(even)->IsContiguous());
  const std::string inode = testutil::Shell("fls -f exfat -r -p '" + m_image +
                                            "' | awk -F'[ :\\t]+' '$NF==\"frag/even.bin\"{print $2}'")
                                .output;
  ASSERT_FALSE(inode.empty());
  const std::string icat =
      testutil::Run({"icat", "-f", "exfat", m_image, inode.substr(0, inode.find_first_of("\n"))}).output;
  EXPECT_EQ(icat.size(), 6u * GetParam().clusterSize);
  EXPECT_TRUE(s.Read(even) == icat);
}

TEST_P(ExFatSearchVolume, AnUnreadableClusterEndsItsFolderOnly) {
  uint64_t folderSector = 0;
  {
    Searched s(Device());
    CFileNode* a = s.ByPath("nested/a");
    ASSERT_TRUE(a);
    folderSector = static_cast<uint64_t>(a->GetId());
  }
  auto image = Device();
  auto plan = std::make_shared<testutil::FaultPlan>();
  plan->SetBadSector(folderSector);
  Searched s(std::make_unique<testutil::FaultInjectingDevice>(image.get(), plan));
  EXPECT_EQ(s.result, 0);
  EXPECT_EQ(s.search.GetUnreadableFolders(), 1u);
  EXPECT_TRUE(s.ByPath("nested/a"));
  EXPECT_FALSE(s.ByPath("nested/a/b"));
  // Folders queued after it are still read.
  EXPECT_TRUE(s.ByPath("frag/even.bin"));
  EXPECT_TRUE(s.ByPath("doomed/two.bin"));
  EXPECT_TRUE(s.ByPath("big300/a-file-with-a-rather-long-name-number-299.txt"));
  // An unreadable root directory is an error.
  plan->ClearBadSectors();
  plan->SetBadSector(static_cast<uint64_t>(s.builder.nodes.front()->GetId()));
  Searched root(std::make_unique<testutil::FaultInjectingDevice>(image.get(), plan));
  EXPECT_EQ(root.result, exfat_search::kRootUnreadable);
}

INSTANTIATE_TEST_SUITE_P(Volumes, ExFatSearchVolume,
                         ::testing::Values(Volume{"exfat-4k", 512, 4096}, Volume{"exfat-128k", 512, 131072},
                                           Volume{"exfat-4kn", 4096, 32768}),
                         [](const ::testing::TestParamInfo<Volume>& info) {
                           std::string n = info.param.name;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// A folder of several clusters that follow one another (NoFatChain set,
// nothing in the FAT) is read to its end: big300 of the 4 KiB volume moved
// to the heap's last clusters, its stream entry rewritten.
TEST(ExFatSearch, AContiguousFolderIsReadToItsEnd) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mount.exfat-fuse");
  VT_REQUIRE_TOOL("fls");
  if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  testutil::TempDir dir("exfat-contiguous");
  const std::string image = dir.file("moved.img");
  ASSERT_EQ(testutil::Run({"cp", folder + "/exfat-4k.img", image}).exitCode, 0);
  testutil::ExFatLayout l;
  ASSERT_TRUE(testutil::ReadExFatLayout(image, l));
  const uint64_t set = testutil::FindRootEntrySet(image, l, "big300");
  ASSERT_NE(set, 0u);
  std::vector<uint8_t> stream(32);
  ASSERT_TRUE(testutil::ReadBytesAt(image, set + 32, stream));
  ASSERT_EQ(stream[1] & 0x02, 0) << "the fixture grew big300 through the FAT";
  std::vector<uint32_t> chain;
  std::vector<uint8_t> entry(4);
  for (uint32_t c = testutil::ExFatLE32(&stream[20]); c >= 2 && c < l.clusterCount + 2 && chain.size() < 64;) {
    chain.push_back(c);
    ASSERT_TRUE(testutil::ReadBytesAt(image, l.fatOffset + 4ull * c, entry));
    c = testutil::ExFatLE32(entry.data());
  }
  ASSERT_GT(chain.size(), 2u);
  const uint32_t target = l.clusterCount + 2 - static_cast<uint32_t>(chain.size());
  std::vector<uint8_t> cluster(l.clusterSize);
  for (size_t i = 0; i < chain.size(); ++i) {
    ASSERT_TRUE(testutil::ReadBytesAt(image, l.ClusterOffset(chain[i]), cluster));
    ASSERT_TRUE(testutil::WriteBytesAt(image, l.ClusterOffset(target + static_cast<uint32_t>(i)), cluster));
  }
  ASSERT_TRUE(testutil::PatchExFatStream(image, set, target, true));

  Searched s(std::make_unique<ImageFileDevice>(image));
  ASSERT_EQ(s.result, 0);
  size_t names = 0;
  for (CFileNode* n : s.builder.nodes)
    if (s.Path(n).rfind("big300/", 0) == 0) ++names;
  EXPECT_EQ(names, 300u);
  const std::multiset<Listed> theirs = Fls(image);
  EXPECT_EQ(std::count_if(theirs.begin(), theirs.end(),
                          [](const Listed& l) { return l.path.rfind("big300/", 0) == 0; }),
            300);
}

TEST(ExFatSearch, RefusesWhatIsNotExFat) {
  VT_REQUIRE_TOOL("mkfs.fat");
  testutil::TempDir dir("exfat-refuse");
  const std::string fat = dir.file("fat.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", fat}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfs.fat", fat}).exitCode, 0);
  testutil::RecordingTreeBuilder builder;
  builder.kind = ETreeKind::exFAT;
  CExFatQuickSearch search;
  search.SetTreeBuilder(&builder);
  ImageFileDevice device(fat);
  EXPECT_EQ(search.QuickSearchFiles(&device, nullptr), exfat_search::kNotExFat);
  EXPECT_EQ(search.QuickSearchFiles(nullptr, nullptr), exfat_search::kBadArgument);
  EXPECT_TRUE(builder.nodes.empty());
}

}  // namespace
