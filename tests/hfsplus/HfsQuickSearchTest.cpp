// The HFS+ deleted-file search over whole volumes: the Mac OS X volume
// against sleuthkit, journaled volumes made by hfsgen whose journal still
// names deleted files, and journals damaged in the ways that once hung or
// crashed the walk.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "ByteOrder.h"
#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "CHFSPlusFileNode.h"
#include "CHFSPlusQuickFileSystemSearchController.h"
#include "CHFSPlusRawfile.h"
#include "CHFSPlusVolume.h"
#include "HfsImages.h"
#include "IFileProperties.h"
#include "MemoryDevice.h"
#include "OpenerSpy.h"
#include "RealVolumes.h"
#include "RecordingTreeBuilder.h"
#include "TestUtil.h"

using testutil::MemoryDevice;

namespace {

// What one search handed its builder, by path.
struct Listed {
  CFileNode* node = nullptr;
  bool deleted = false;
  bool folder = false;
  int64_t size = 0;
};

struct SearchRun {
  std::unique_ptr<MemoryDevice> device;
  std::unique_ptr<CHFSPlusQuickFileSystemSearchController> search;
  std::unique_ptr<testutil::RecordingTreeBuilder> builder;
  int status = -1;
  std::multimap<std::string, Listed> byPath;

  explicit SearchRun(const std::string& bytes) {
    device = std::make_unique<MemoryDevice>(bytes);
    // The builder goes before the search: its nodes point at the search's volume.
    search.reset(CHFSPlusQuickFileSystemSearchController::Create());
    builder = std::make_unique<testutil::RecordingTreeBuilder>();
    builder->kind = ETreeKind::HFSPlus;
    search->SetTreeBuilder(builder.get());
    testutil::CountingSink sink;
    status = search->QuickSearchFiles(device.get(), &sink);
    std::map<int64_t, std::pair<std::string, int64_t>> folders;  // id -> name, parent
    for (CFileNode* n : builder->nodes) {
      const IFileProperties* p = n->GetProperties();
      if (p && (p->GetAttributes() & kFileAttributeDirectory)) folders[n->GetId()] = {p->GetName(), n->GetParentId()};
    }
    for (CFileNode* n : builder->nodes) {
      if (n->IsFileSystemNode()) continue;
      const IFileProperties* p = n->GetProperties();
      std::string path = p->GetName();
      for (int64_t parent = n->GetParentId(), depth = 0; parent != kHFSRootFolderID && depth < 64; ++depth) {
        auto it = folders.find(parent);
        if (it == folders.end()) {
          path = "?/" + path;
          break;
        }
        path = it->second.first + "/" + path;
        parent = it->second.second;
      }
      byPath.insert(
          {path,
           {n, (p->IsDeleted() & 1) != 0, (p->GetAttributes() & kFileAttributeDirectory) != 0, p->GetFileSize()}});
    }
  }
  ~SearchRun() {
    builder.reset();
    search.reset();
  }
  std::set<std::string> Paths(bool deleted) const {
    std::set<std::string> out;
    for (const auto& [path, l] : byPath)
      if (l.deleted == deleted) out.insert(path);
    return out;
  }
  // The first `limit` bytes (all when negative) through the file reader.
  std::string ReadAll(CFileNode* node, int64_t limit = -1) {
    std::vector<CSearchedPartitionInfo*> parts;
    search->GetPartitions(parts);
    CFileDataReader reader;
    if (!reader.OpenAt(device.get(), node, 0, static_cast<int>(parts.at(0)->GetSectorsPerCluster())))
      return "<unreadable>";
    int64_t size = node->GetProperties()->GetFileSize();
    if (limit >= 0 && limit < size) size = limit;
    std::string out(static_cast<size_t>(size), '\0');
    uint32_t got = 0;
    if (size && !reader.Read(0, &out[0], static_cast<uint32_t>(size), got)) return "<read failed>";
    out.resize(got);
    return out;
  }
};

// fls's name of an entry: control characters (NUL, CR) as '^', leading
// ones dropped.
std::string FlsName(std::string name) {
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20) c = '^';
  size_t lead = name.find_first_not_of('^');
  return lead == std::string::npos ? "" : name.substr(lead);
}

// fls -r -p of an image: path -> {type letter, inode} of every file and
// folder but its metadata files.
std::map<std::string, std::pair<char, std::string>> FlsTree(const std::string& image) {
  const testutil::CommandResult fls = testutil::Run({"fls", "-f", "hfs", "-r", "-p", image});
  EXPECT_EQ(fls.exitCode, 0) << fls.output;
  std::map<std::string, std::pair<char, std::string>> tree;
  std::istringstream in(fls.output);
  std::string line;
  const std::regex re(R"(^[a-z-]/([a-z-]) (\d+):\t(.*)$)");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, re) || m[3].str()[0] == '$') continue;
    std::string path, part;
    std::istringstream parts(m[3].str());
    while (std::getline(parts, part, '/')) path += (path.empty() ? "" : "/") + FlsName(part);
    tree[path] = {m[1].str()[0], m[2].str()};
  }
  return tree;
}

// The live entries a search listed, by their fls path: path -> node id.
std::map<std::string, std::string> SearchedTree(const SearchRun& run) {
  std::map<std::string, std::string> seen;
  for (const auto& [path, l] : run.byPath) {
    // The root folder's own record (fls shows the root as the tree itself).
    if (l.deleted || l.node->GetId() == kHFSRootFolderID) continue;
    std::string p, part;
    std::istringstream parts(path);
    while (std::getline(parts, part, '/')) p += (p.empty() ? "" : "/") + FlsName(part);
    seen[p] = std::to_string(l.node->GetId());
  }
  return seen;
}

std::map<std::string, std::string> Inodes(const std::map<std::string, std::pair<char, std::string>>& tree) {
  std::map<std::string, std::string> inodes;
  for (const auto& [path, entry] : tree) inodes[path] = entry.second;
  return inodes;
}

TEST(HfsQuickSearchReal, TheMacVolumeMatchesSleuthkit) {
  std::string mac;
  VT_REQUIRE_REAL_VOLUME(mac, testutil::RealVolume("hfsplus.raw"));
  VT_REQUIRE_TOOL("fls");
  VT_REQUIRE_TOOL("istat");
  VT_REQUIRE_TOOL("icat");
  SearchRun run(testutil::ReadFile(mac));
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.Paths(true).empty());
  EXPECT_EQ(SearchedTree(run), Inodes(FlsTree(mac)));

  // Sizes and first extents as istat gives them; bytes as icat gives them.
  for (const auto& [path, l] : run.byPath) {
    if (l.folder) continue;
    SCOPED_TRACE(path);
    const std::string inode = std::to_string(l.node->GetId());
    const testutil::CommandResult istat = testutil::Run({"istat", "-f", "hfs", mac, inode});
    ASSERT_EQ(istat.exitCode, 0);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(istat.output, m, std::regex(R"(\nSize:\s*(\d+))")));
    EXPECT_EQ(std::to_string(l.size), m[1].str());
    std::unique_ptr<IDataRunList> runs(l.node->GetProperties()->GetDataRunList());
    if (runs && runs->First() &&
        std::regex_search(istat.output, m,
                          std::regex(R"(Type: DATA[^\n]*\n\s*Starting address: (\d+), length: (\d+))"))) {
      EXPECT_EQ(std::to_string(runs->First()->start), m[1].str());
    }
  }
  for (const char* name : {"a_directory/a_file", "passwords.txt"}) {
    auto it = run.byPath.find(name);
    ASSERT_NE(it, run.byPath.end()) << name;
    const testutil::CommandResult icat =
        testutil::Run({"icat", "-f", "hfs", mac, std::to_string(it->second.node->GetId())});
    ASSERT_EQ(icat.exitCode, 0);
    EXPECT_TRUE(run.ReadAll(it->second.node) == icat.output) << name;
  }
}

// A directory alias ('fdrp' file) is listed as a folder: no size, no runs,
// nothing under it, at the id and place fls gives the file; fls lists it as
// a regular file. Every other entry is as fls lists it.
TEST(HfsQuickSearchAlias, DirectoryAliasesAreListedAsEmptyFolders) {
  VT_REQUIRE_TOOL("fls");
  const hfstest::ImageRecipe recipe = hfstest::StandardRecipes().front();
  ASSERT_FALSE(recipe.aliases.empty());
  testutil::TempDir dir("hfsalias");
  std::string error;
  const std::string image = hfstest::BuildImage(dir, recipe, &error);
  ASSERT_FALSE(image.empty()) << error;
  SearchRun run(testutil::ReadFile(image));
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.Paths(true).empty());
  const auto fls = FlsTree(image);
  EXPECT_EQ(SearchedTree(run), Inodes(fls));
  for (const auto& a : recipe.aliases) {
    SCOPED_TRACE(a.path);
    const std::string path = a.path.substr(1);
    ASSERT_EQ(run.byPath.count(path), 1u);
    const Listed& l = run.byPath.find(path)->second;
    ASSERT_TRUE(fls.count(path));
    EXPECT_EQ(fls.at(path).first, 'r');
    EXPECT_TRUE(l.folder);
    EXPECT_EQ(l.node->GetProperties()->GetAttributes(), kFileAttributeDirectory);
    EXPECT_EQ(l.size, 0);
    std::unique_ptr<IDataRunList> runs(l.node->GetProperties()->GetDataRunList());
    EXPECT_TRUE(!runs || runs->GetRunCount() == 0);
    for (const auto& [other, entry] : run.byPath) EXPECT_NE(entry.node->GetParentId(), l.node->GetId()) << other;
  }
}

// A compressed file's bytes from its resource fork as read through the
// file reader: the fork header gives its length, the chunk table after the
// resource data's length gives the deflated (or 0xFF-marked stored) chunks.
std::string InflateResourceFork(SearchRun& run, CFileNode* node) {
  const std::string head = run.ReadAll(node, 16);
  if (head.size() < 16) return "<no fork header>";
  const uint8_t* h = reinterpret_cast<const uint8_t*>(head.data());
  const uint32_t dataOffset = ReadBE32(h), mapOffset = ReadBE32(h + 4), mapLength = ReadBE32(h + 12);
  const std::string fork = run.ReadAll(node, int64_t(mapOffset) + mapLength);
  if (fork.size() != uint64_t(mapOffset) + mapLength || dataOffset + 8 > fork.size()) return "<short fork>";
  const uint8_t* table = reinterpret_cast<const uint8_t*>(fork.data()) + dataOffset + 4;
  const uint32_t chunks = ReadLE32(table);
  std::string out;
  for (uint32_t c = 0; c < chunks; ++c) {
    const uint32_t at = ReadLE32(table + 4 + 8 * c), size = ReadLE32(table + 8 + 8 * c);
    if (dataOffset + 4 + uint64_t(at) + size > fork.size() || size == 0) return "<chunk outside the fork>";
    const uint8_t* chunk = table + at;
    if ((chunk[0] & 0x0F) == 0x0F) {
      out.append(reinterpret_cast<const char*>(chunk + 1), size - 1);
      continue;
    }
    std::string piece(65536, '\0');
    uLongf length = piece.size();
    if (uncompress(reinterpret_cast<Bytef*>(&piece[0]), &length, chunk, size) != Z_OK) return "<bad chunk>";
    out.append(piece, 0, length);
  }
  return out;
}

// Journaled volumes of three block sizes whose journal logs, twice, the
// catalog, extents and attributes leaves from before some files and folders
// were deleted (one name since reused by a new file). Some files, live and
// deleted, are compressed: into their attribute, or into a resource fork of
// more than 8 extents.
class HfsJournalImages : public ::testing::Test {
 protected:
  struct Image {
    hfstest::ImageRecipe recipe;
    std::string path;
  };
  static hfstest::ImageRecipe Recipe(uint32_t blockSize) {
    hfstest::ImageRecipe r;
    r.tag = "deleted" + std::to_string(blockSize);
    r.name = "Journal " + std::to_string(blockSize);
    r.size = 8 << 20;
    r.blockSize = blockSize;
    r.journal = 256 * 1024;
    r.journalCopies = 2;
    r.folders = {"/docs", "/empty"};
    using hfstest::Storage;
    // Resource forks of at least 12 blocks, well short of their bytes inflated.
    const size_t packed = 12 * blockSize + 80000;
    r.files = {{"/docs/keep.txt", "kept", 1},
               {"/reused.txt", "the new one", 1},
               {"/docs/small.txt", hfstest::PartlyCompressible(5000, 0, 5), 1, Storage::CompressedInline},
               {"/packed.bin", hfstest::PartlyCompressible(packed, 12 * blockSize, 6), 11, Storage::CompressedFork},
               {"/docs/short.txt", "x", 1, Storage::CompressedInline}};
    // Its compression header cut to 15 bytes: no size can be read from it.
    r.xattrs = {{"/docs/short.txt", "com.apple.decmpfs", "fpmc-15-bytes.."}};
    r.deletedFolders = {"/olddir"};
    r.deleted = {
        {"/docs/gone.txt", hfstest::PatternBytes(20000, 1), 3},
        {"/reused.txt", hfstest::PatternBytes(3000, 2), 1},
        {"/olddir/inner.txt", hfstest::PatternBytes(700, 3), 1},
        {"/spread.bin", hfstest::PatternBytes(12 * blockSize + 100, 4), 11},
        {"/olddir/small.txt", hfstest::PartlyCompressible(3000, 0, 7), 1, Storage::CompressedInline},
        {"/gone-packed.bin", hfstest::PartlyCompressible(packed, 12 * blockSize, 8), 10, Storage::CompressedFork}};
    return r;
  }
  static void SetUpTestSuite() {
    s_dir = new testutil::TempDir("hfsjournal");
    for (uint32_t b : {512u, 4096u, 8192u}) {
      Image image{Recipe(b), ""};
      std::string error;
      image.path = hfstest::BuildImage(*s_dir, image.recipe, &error);
      ASSERT_FALSE(image.path.empty()) << error;
      s_images.push_back(image);
    }
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
    s_images.clear();
  }
  static testutil::TempDir* s_dir;
  static std::vector<Image> s_images;
};
testutil::TempDir* HfsJournalImages::s_dir = nullptr;
std::vector<HfsJournalImages::Image> HfsJournalImages::s_images;

TEST_F(HfsJournalImages, SleuthkitSeesOnlyTheLiveFiles) {
  VT_REQUIRE_TOOL("fls");
  for (const Image& image : s_images) {
    const testutil::CommandResult fls = testutil::Run({"fls", "-f", "hfs", "-r", "-p", image.path});
    ASSERT_EQ(fls.exitCode, 0) << fls.output;
    EXPECT_NE(fls.output.find("docs/keep.txt"), std::string::npos);
    EXPECT_EQ(fls.output.find("gone.txt"), std::string::npos);
    EXPECT_EQ(fls.output.find("olddir"), std::string::npos);
  }
}

TEST_F(HfsJournalImages, TheJournalGivesBackTheDeletedFilesAndFolders) {
  ASSERT_EQ(s_images.size(), 3u);
  // Read-only: not one writer is asked for (any that were would fail to open).
  testutil::OpenerSpy writers;
  for (const Image& image : s_images) {
    SCOPED_TRACE(image.recipe.tag);
    SearchRun run(testutil::ReadFile(image.path));
    EXPECT_EQ(run.status, 0);
    // Exactly what was deleted, each at its folder, once (two journal
    // copies), the reused name under its old id beside the new live file.
    EXPECT_EQ(run.Paths(true), (std::set<std::string>{"docs/gone.txt", "reused.txt", "olddir", "olddir/inner.txt",
                                                      "spread.bin", "olddir/small.txt", "gone-packed.bin"}));
    EXPECT_EQ(run.byPath.count("reused.txt"), 2u);
    EXPECT_EQ(run.byPath.count("docs/gone.txt"), 1u);
    for (const hfstest::GenFile& f : image.recipe.deleted) {
      if (f.storage != hfstest::Storage::DataFork) continue;  // below
      SCOPED_TRACE(f.path);
      const std::string path = f.path.substr(1);
      CFileNode* node = nullptr;
      for (auto [it, end] = run.byPath.equal_range(path); it != end; ++it)
        if (it->second.deleted) node = it->second.node;
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(node->GetProperties()->GetFileSize(), static_cast<int64_t>(f.content.size()));
      // The later journal copy: dated as the volume's files (2024-01-01).
      EXPECT_EQ(node->GetProperties()->GetModificationTime(), HFSPlusDateToFileTime(3786825600u));
      EXPECT_TRUE(run.ReadAll(node) == f.content);
    }
  }
  EXPECT_EQ(writers.asked, 0);
}

// Compressed files, live and deleted, show the size their com.apple.decmpfs
// header gives; the run list of one kept in its resource fork covers the
// whole fork (its extents past the eighth from the overflow tree or, once
// deleted, from the journal), and the fork read through it inflates to the
// original bytes. Those kept in the attribute have no runs; one whose
// header is cut short keeps the size of its (empty) forks.
TEST_F(HfsJournalImages, CompressedFilesShowTheirUncompressedSizeAndWholeForks) {
  for (const Image& image : s_images) {
    SCOPED_TRACE(image.recipe.tag);
    SearchRun run(testutil::ReadFile(image.path));
    EXPECT_EQ(run.status, 0);
    for (bool deleted : {false, true}) {
      for (const hfstest::GenFile& f : deleted ? image.recipe.deleted : image.recipe.files) {
        if (f.storage == hfstest::Storage::DataFork) continue;
        SCOPED_TRACE(f.path);
        const bool cut = f.path == "/docs/short.txt";
        CFileNode* node = nullptr;
        for (auto [it, end] = run.byPath.equal_range(f.path.substr(1)); it != end; ++it)
          if (it->second.deleted == deleted) node = it->second.node;
        ASSERT_NE(node, nullptr);
        const IFileProperties* p = node->GetProperties();
        EXPECT_EQ(p->GetFileSize(), cut ? 0 : static_cast<int64_t>(f.content.size()));
        EXPECT_EQ(p->GetAttributes(), kHFSFileAttributeFile | kFileAttributeCompressed);
        std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
        if (f.storage == hfstest::Storage::CompressedInline) {
          EXPECT_TRUE(!runs || runs->GetRunCount() == 0);
          continue;
        }
        ASSERT_TRUE(runs);
        EXPECT_EQ(runs->GetRunCount(), f.extents);
        const std::string inflated = InflateResourceFork(run, node);
        EXPECT_EQ(inflated.size(), f.content.size()) << inflated.substr(0, 40);
        EXPECT_TRUE(inflated == f.content);
      }
    }
  }
}

// Journals damaged in one field each: the walk ends, the volume still opens.
TEST_F(HfsJournalImages, DamagedJournalsEndTheWalk) {
  const std::string pristine = testutil::ReadFile(s_images.at(1).path);
  MemoryDevice probe(pristine);
  CHFSPlusVolume volume(&probe);
  ASSERT_EQ(volume.GetState(), 0);
  const JournalInfoBlock* info = volume.GetJournal()->GetInfoBlock();
  ASSERT_NE(info, nullptr);
  const size_t jh = static_cast<size_t>(info->offset);
  const size_t list = jh + 512;  // the first logged transaction
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
    int journalStatus;
  } cases[] = {
      {"size 0 in the info block and the header",
       [&](std::string& b) {
         const size_t jib = size_t(volume.GetVolumeHeader()->journalInfoBlock) * 4096;
         std::memset(&b[jib + 44], 0, 8);
         std::memset(&b[jh + 24], 0, 8);
       },
       kHFSDeviceError},
      {"jhdr_size 0", [&](std::string& b) { std::memset(&b[jh + 40], 0, 4); }, kHFSOk},
      {"blhdr_size 0", [&](std::string& b) { std::memset(&b[jh + 32], 0, 4); }, kHFSOk},
      {"a header end the walk steps over",
       [&](std::string& b) { WriteLE64(reinterpret_cast<uint8_t*>(&b[jh + 16]), 700); }, kHFSOk},
      {"num_blocks above max_blocks",
       [&](std::string& b) { WriteLE16(reinterpret_cast<uint8_t*>(&b[list + 2]), 0xFFFF); }, kHFSOk},
      {"a huge bsize", [&](std::string& b) { WriteLE32(reinterpret_cast<uint8_t*>(&b[list + 16 + 8]), 0xFFFFFFF0u); },
       kHFSOk},
      {"a big-endian header",
       [&](std::string& b) {
         for (size_t at : {jh, jh + 4}) std::reverse(b.begin() + at, b.begin() + at + 4);
       },
       kHFSDeviceError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = pristine;
    c.damage(bytes);
    {
      MemoryDevice dev(bytes);
      CHFSPlusVolume v(&dev);
      EXPECT_EQ(v.GetState(), 0);
      EXPECT_EQ(v.GetJournal()->GetStatus(), c.journalStatus);
    }
    SearchRun run(bytes);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.byPath.count("docs/keep.txt"), 1u);
  }
}

// A catalog leaf the walk cannot take: the volume opens, and the search
// answers the walk's error instead of success.
TEST_F(HfsJournalImages, ACatalogLeafTheWalkCannotTakeIsAnError) {
  const std::string pristine = testutil::ReadFile(s_images.front().path);
  MemoryDevice probe(pristine);
  CHFSPlusVolume volume(&probe);
  ASSERT_EQ(volume.GetState(), 0);
  const HFSPlusVolumeHeader* h = volume.GetVolumeHeader();
  const size_t catalog = size_t(h->catalogFile.extents[0].startBlock) * h->blockSize;
  const auto* header = reinterpret_cast<const uint8_t*>(&pristine[catalog + 14]);
  const uint32_t firstLeaf = ReadBE32(header + 10);
  const uint16_t nodeSize = ReadBE16(header + 18);
  ASSERT_GT(firstLeaf, 0u);
  ASSERT_LE(size_t(firstLeaf + 1) * nodeSize, size_t(h->catalogFile.extents[0].blockCount) * h->blockSize);
  const size_t leaf = catalog + size_t(firstLeaf) * nodeSize;
  ASSERT_EQ(static_cast<int8_t>(pristine[leaf + 8]), -1);  // a leaf node
  {
    SearchRun intact(pristine);
    EXPECT_EQ(intact.status, 0);
  }
  std::string bytes = pristine;
  bytes[leaf + 8] = 5;  // no kind of node
  SearchRun run(bytes);
  EXPECT_NE(run.status, 0);
}

// The special files' readers at the edges of their extent chains.
TEST_F(HfsJournalImages, ForkReadersAtTheirEdges) {
  MemoryDevice dev(testutil::ReadFile(s_images.at(1).path));
  CHFSPlusVolume volume(&dev);
  ASSERT_EQ(volume.GetState(), 0);
  const HFSPlusVolumeHeader* h = volume.GetVolumeHeader();
  const uint64_t catalogBytes = uint64_t(h->catalogFile.totalBlocks) * h->blockSize;
  std::vector<uint8_t> buffer(8192);

  HFSPlusForkData none;
  CHFSPlusRawfile empty(&volume, kHFSCatalogFileID, none);
  EXPECT_EQ(empty.GetStatus(), kHFSOk);
  EXPECT_EQ(empty.Read(0, buffer.data(), 1), 0u);
  EXPECT_EQ(empty.GetStatus(), kHFSMissing);

  CHFSPlusRawfile catalog(&volume, kHFSCatalogFileID, h->catalogFile);
  EXPECT_EQ(catalog.Read(catalogBytes - 512, buffer.data(), 512), 512u);
  EXPECT_EQ(catalog.GetStatus(), kHFSOk);
  EXPECT_EQ(catalog.Read(catalogBytes - 512, buffer.data(), 513), 512u);
  EXPECT_EQ(catalog.GetStatus(), kHFSBadStructure);

  // More than 8 extents: the extents file cannot look further, the others
  // look in the overflow tree.
  HFSPlusForkData nine = h->catalogFile;
  nine.totalBlocks += 1;
  CHFSPlusRawfile extents(&volume, kHFSExtentsFileID, nine);
  HFSPlusForkData spread = h->catalogFile;
  for (int i = 1; i < 8; ++i) spread.extents[i] = {spread.extents[0].startBlock, 0};
  spread.totalBlocks = spread.extents[0].blockCount + 1;
  CHFSPlusRawfile overflowed(&volume, kHFSCatalogFileID, spread);
  EXPECT_EQ(extents.GetStatus(), kHFSBadStructure);
  EXPECT_EQ(overflowed.GetStatus(), kHFSBadStructure);  // no overflow record for it
}

}  // namespace
