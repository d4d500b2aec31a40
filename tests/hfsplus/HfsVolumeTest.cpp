// CHFSPlusVolume and the volume probe on images made by hfsgen, on the
// Mac OS X volume, and on damaged images.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <regex>
#include <set>

#include "ByteOrder.h"
#include "CHFSPlusVolume.h"
#include "HfsImages.h"
#include "MemoryDevice.h"
#include "ProbeHFSPlusVolume.h"
#include "RealVolumes.h"
#include "TestUtil.h"

using testutil::MemoryDevice;

namespace {

std::string FsstatValue(const std::string& out, const std::string& label) {
  std::regex re(label + R"(:\s*([^\n]*))");
  std::smatch m;
  return std::regex_search(out, m, re) ? m[1].str() : std::string();
}

// The name and size in 512-byte sectors that fsstat reports.
void FsstatView(const std::string& image, std::string* name, uint64_t* sectors) {
  testutil::CommandResult r = testutil::Run({"fsstat", "-f", "hfs", image});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  *name = FsstatValue(r.output, "Volume Name");
  std::smatch m;
  std::regex range(R"(Block Range: 0 - (\d+))");
  ASSERT_TRUE(std::regex_search(r.output, m, range)) << r.output;
  uint64_t blocks = std::stoull(m[1].str()) + 1;
  uint64_t blockSize = std::stoull(FsstatValue(r.output, "Allocation Block Size"));
  *sectors = blocks * blockSize / 512;
}

// Counts the catalog's leaf records and collects file records by name.
struct CatalogCounter : IHFSPlusRecordVisitor {
  int folders = 0, files = 0, threads = 0;
  std::set<uint32_t> fileIds;
  void OnRecord(const HFSPlusKey&, const HFSPlusRecord& record) override {
    auto& r = dynamic_cast<const HFSPlusCatalogRecord&>(record);
    if (r.recordType == kHFSPlusFolderRecord) ++folders;
    if (r.recordType == kHFSPlusFileRecord) ++files, fileIds.insert(r.id);
    if (r.recordType >= kHFSPlusFolderThreadRecord) ++threads;
  }
};

class HfsVolumeImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new testutil::TempDir("hfsvol");
    for (const auto& recipe : hfstest::StandardRecipes()) {
      std::string error;
      std::string path = hfstest::BuildImage(*s_dir, recipe, &error);
      ASSERT_FALSE(path.empty()) << error;
      s_images.push_back({recipe, path});
    }
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
    s_images.clear();
  }
  static testutil::TempDir* s_dir;
  static std::vector<std::pair<hfstest::ImageRecipe, std::string>> s_images;
};
testutil::TempDir* HfsVolumeImages::s_dir = nullptr;
std::vector<std::pair<hfstest::ImageRecipe, std::string>> HfsVolumeImages::s_images;

TEST_F(HfsVolumeImages, ProbeAgreesWithFsstat) {
  VT_REQUIRE_TOOL("fsstat");
  ASSERT_FALSE(s_images.empty());
  for (const auto& [recipe, path] : s_images) {
    SCOPED_TRACE(recipe.tag);
    std::string name;
    uint64_t sectors = 0;
    FsstatView(path, &name, &sectors);
    MemoryDevice dev(testutil::ReadFile(path));
    HFSPlusProbeResult r = ProbeHFSPlusVolume(&dev, 0);
    EXPECT_TRUE(r.recognised);
    EXPECT_EQ(r.label, name + " (HFS+)");
    EXPECT_EQ(r.sectorCount, sectors);
  }
}

TEST_F(HfsVolumeImages, ProbeAgreesWithFsstatOnTheMacVolume) {
  std::string mac;
  VT_REQUIRE_REAL_VOLUME(mac, testutil::RealVolume("hfsplus.raw"));
  VT_REQUIRE_TOOL("fsstat");
  std::string name;
  uint64_t sectors = 0;
  FsstatView(mac, &name, &sectors);
  EXPECT_EQ(name, "hfsplus_test");
  MemoryDevice dev(testutil::ReadFile(mac));
  HFSPlusProbeResult r = ProbeHFSPlusVolume(&dev, 0);
  EXPECT_TRUE(r.recognised);
  EXPECT_EQ(r.label, "hfsplus_test (HFS+)");
  EXPECT_EQ(r.sectorCount, sectors);

  // The catalog walk sees the counts of the volume header.
  {
    MemoryDevice d(testutil::ReadFile(mac));
    CHFSPlusVolume vol(&d);
    ASSERT_EQ(vol.GetState(), 0);
    EXPECT_EQ(vol.GetJournal()->GetStatus(), kHFSDeviceError);  // not journaled
    CatalogCounter counter;
    EXPECT_EQ(vol.Traverse(kHFSCatalogTree, &counter), kHFSOk);
    EXPECT_EQ(uint32_t(counter.files), vol.GetVolumeHeader()->fileCount);
    EXPECT_EQ(uint32_t(counter.folders - 1), vol.GetVolumeHeader()->folderCount);
  }

  // The volume behind a partition start, on a larger disk with 4096-byte
  // sectors: found at its start, size its own.
  std::string disk(8 * 4096, '\0');
  disk += testutil::ReadFile(mac);
  disk.resize(disk.size() + 16 * 4096, '\0');
  MemoryDevice big(disk, 4096);
  r = ProbeHFSPlusVolume(&big, 8);
  EXPECT_TRUE(r.recognised);
  EXPECT_EQ(r.label, "hfsplus_test (HFS+)");
  EXPECT_EQ(r.sectorCount, sectors * 512 / 4096);
  EXPECT_FALSE(ProbeHFSPlusVolume(&big, 0).recognised);
}

TEST_F(HfsVolumeImages, VolumeOpensTreesAndJournal) {
  for (const auto& [recipe, path] : s_images) {
    SCOPED_TRACE(recipe.tag);
    MemoryDevice dev(testutil::ReadFile(path));
    CHFSPlusVolume vol(&dev);
    ASSERT_EQ(vol.GetState(), 0);
    ASSERT_NE(vol.GetVolumeHeader(), nullptr);
    EXPECT_EQ(vol.GetKeyCompareType(), 0xCF);
    ASSERT_NE(vol.GetJournal(), nullptr);
    EXPECT_EQ(vol.GetJournal()->GetStatus(), recipe.journal ? kHFSOk : kHFSDeviceError);

    if (recipe.nodeSize == 512) {
      EXPECT_GE(vol.GetCatalog()->GetHeaderRecord()->treeDepth, 3);
    }
    CatalogCounter counter;
    EXPECT_EQ(vol.Traverse(kHFSCatalogTree, &counter), kHFSOk);
    size_t files = recipe.files.size() + recipe.aliases.size() + (recipe.journal ? 2 : 0);
    EXPECT_EQ(size_t(counter.files), files);
    EXPECT_EQ(counter.threads, counter.files + counter.folders);
    EXPECT_EQ(counter.folders - 1, int(vol.GetVolumeHeader()->folderCount));

    // Every file is found by its name under its folder, case folded.
    for (const auto& f : recipe.files) {
      size_t slash = f.path.rfind('/');
      std::string leaf = f.path.substr(slash + 1);
      uint32_t parent = kHFSRootFolderID;
      if (slash > 0) {
        // Find the parent folder's id by walking the path.
        std::string rest = f.path.substr(1, slash - 1);
        size_t pos = 0;
        while (pos <= rest.size()) {
          size_t next = rest.find('/', pos);
          std::string part = rest.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
          HFSPlusCatalogKey k;
          k.parentID = parent;
          k.nameLength = uint16_t(part.size());
          for (size_t i = 0; i < part.size(); ++i) k.name[i] = char16_t(part[i]);
          HFSPlusSearchResult res;
          std::unique_ptr<HFSPlusRecord> data;
          ASSERT_EQ(vol.Search(kHFSCatalogTree, k, &res, &data), kHFSOk);
          ASSERT_EQ(res.found, 1) << part;
          parent = dynamic_cast<HFSPlusCatalogRecord&>(*data).id;
          if (next == std::string::npos) break;
          pos = next + 1;
        }
      }
      HFSPlusCatalogKey k;
      k.parentID = parent;
      k.nameLength = uint16_t(leaf.size());
      for (size_t i = 0; i < leaf.size(); ++i) k.name[i] = char16_t(toupper(leaf[i]));
      HFSPlusSearchResult res;
      std::unique_ptr<HFSPlusRecord> data;
      ASSERT_EQ(vol.Search(kHFSCatalogTree, k, &res, &data), kHFSOk);
      ASSERT_EQ(res.found, 1) << f.path;
      auto& rec = dynamic_cast<HFSPlusCatalogRecord&>(*data);
      EXPECT_EQ(rec.recordType, kHFSPlusFileRecord);
      // A compressed file's data fork is empty.
      EXPECT_EQ(rec.dataFork.logicalSize, f.storage == hfstest::Storage::DataFork ? f.content.size() : 0u);
      EXPECT_EQ(rec.resourceFork.logicalSize != 0, f.storage == hfstest::Storage::CompressedFork);
    }

    HFSPlusCatalogKey missing;
    missing.parentID = 9999;
    HFSPlusSearchResult res;
    EXPECT_EQ(vol.Search(kHFSCatalogTree, missing, &res, nullptr), kHFSOk);
    EXPECT_EQ(res.found, 0);
    if (vol.GetCatalog()->GetHeaderRecord()->treeDepth >= 2) {
      // A key below the first index key has no child to descend into.
      HFSPlusCatalogKey below;
      below.parentID = 0;
      EXPECT_EQ(vol.Search(kHFSCatalogTree, below, &res, nullptr), kHFSBadArgument);
      EXPECT_EQ(res.found, 0);
    }
    EXPECT_EQ(vol.Search(6, missing, &res, nullptr), kHFSUnsupported);
    EXPECT_EQ(vol.GetState(), kHFSUnsupported);
  }
}

TEST_F(HfsVolumeImages, CatalogReaderFollowsOverflowExtents) {
  for (const auto& [recipe, path] : s_images) {
    if (recipe.catalogExtents <= 8) continue;
    MemoryDevice dev(testutil::ReadFile(path));
    CHFSPlusVolume vol(&dev);
    ASSERT_EQ(vol.GetState(), 0);
    CHFSPlusFileCache reader(&vol, kHFSCatalogFileID, vol.GetVolumeHeader()->catalogFile);
    EXPECT_EQ(reader.GetStatus(), kHFSOk);
    EXPECT_EQ(reader.GetExtents().size(), recipe.catalogExtents);
    // The whole file reads; one byte past its end does not.
    uint64_t size = vol.GetVolumeHeader()->catalogFile.logicalSize;
    std::vector<uint8_t> buf(size + 1);
    EXPECT_EQ(reader.Read(0, buf.data(), size), size);
    EXPECT_EQ(reader.GetStatus(), kHFSOk);
    EXPECT_EQ(reader.Read(0, buf.data(), size + 1), size);
    EXPECT_EQ(reader.GetStatus(), kHFSBadStructure);
    return;
  }
  FAIL() << "no image with a fragmented catalog";
}

TEST_F(HfsVolumeImages, VolumeNameIsBoundedByTheBuffer) {
  const auto& [recipe, path] = s_images.front();
  MemoryDevice dev(testutil::ReadFile(path));
  CHFSPlusVolume vol(&dev);
  char buf[64];
  std::memset(buf, 'x', sizeof buf);
  ASSERT_EQ(vol.GetVolumeName(buf, sizeof buf), 0);
  EXPECT_EQ(std::string(buf), recipe.name + " (HFS+)");
  std::memset(buf, 'x', sizeof buf);
  ASSERT_EQ(vol.GetVolumeName(buf, 12), 0);  // 4 bytes of name, the suffix, the terminator
  EXPECT_EQ(std::string(buf), recipe.name.substr(0, 4) + " (HFS+)");
  EXPECT_EQ(buf[12], 'x');
  EXPECT_EQ(vol.GetVolumeName(buf, 7), -5);
  EXPECT_EQ(vol.GetVolumeName(nullptr, 64), -5);
}

TEST(HfsVolumeRead, HeadBodyAndTailReads) {
  std::string bytes(8192, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
  MemoryDevice dev(bytes);
  CHFSPlusVolume vol(&dev);  // not HFS+; reads still work
  uint8_t buf[1024];
  dev.readLog.clear();
  EXPECT_EQ(vol.Read(1, buf, 511), 511u);
  EXPECT_EQ(dev.readLog.size(), 1u);
  EXPECT_EQ(buf[0], uint8_t(7));
  dev.readLog.clear();
  EXPECT_EQ(vol.Read(256, buf, 1024), 1024u);
  ASSERT_EQ(dev.readLog.size(), 3u);  // head, body, tail
  EXPECT_EQ(dev.readLog[1], std::make_pair(uint64_t(1), uint64_t(1)));
  EXPECT_EQ(buf[1023], uint8_t((256 + 1023) * 7));
  EXPECT_EQ(vol.Read(8000, buf, 1024), 192u);  // up to the device's end
  EXPECT_EQ(vol.GetState(), kHFSDeviceError);
}

// Damaged images: each answers "not recognised" (or a clean error) without
// a crash or a hang. Offsets are those of the plain image (4 KiB blocks).
TEST_F(HfsVolumeImages, DamagedImagesAreNotRecognised) {
  const std::string good = testutil::ReadFile(s_images.front().second);
  ASSERT_GT(good.size(), 65536u);
  auto be32 = [&](const std::string& s, size_t o) { return ReadBE32(reinterpret_cast<const uint8_t*>(s.data()) + o); };
  const size_t catalog = size_t(be32(good, 1024 + 272 + 16)) * 4096;  // first catalog extent
  const size_t extents = size_t(be32(good, 1024 + 192 + 16)) * 4096;
  auto with = [&](size_t offset, const std::string& bytes) {
    std::string s = good;
    s.replace(offset, bytes.size(), bytes);
    return s;
  };
  std::mt19937 rng(42);
  std::string random(good.size(), '\0');
  for (char& c : random) c = char(rng());
  std::string headerThenRandom = random;
  headerThenRandom.replace(0, 1536, good.substr(0, 1536));
  struct Case {
    const char* what;
    std::string image;
    bool recognised;
  } cases[] = {
      {"volume header, then random bytes", headerThenRandom, false},
      {"catalog leaf descriptor zeroed", with(catalog + 4096, std::string(14, '\0')), true},
      {"catalog leaf offsets reversed", with(catalog + 4096 + 4096 - 6, std::string("\x0F\xF0\x00\x0E", 4)), true},
      {"zeros", std::string(good.size(), '\0'), false},
      {"random bytes", random, false},
      {"truncated to 1536 bytes", good.substr(0, 1536), false},
      {"truncated to 1 KiB", good.substr(0, 1024), false},
      {"truncated mid catalog", good.substr(0, catalog + 100), false},
      {"catalog header node kind 5", with(catalog + 8, std::string(1, '\x05')), false},
      {"catalog header numRecords 0xFFFF", with(catalog + 10, "\xFF\xFF"), false},
      {"catalog node size 1000", with(catalog + 14 + 18, std::string("\x03\xE8", 2)), false},
      {"catalog node size 0", with(catalog + 14 + 18, std::string("\0\0", 2)), false},
      {"signature wiped, trees intact", with(1024, std::string("\0\0", 2)), false},
      {"catalog extent past the volume", with(1024 + 272 + 16, "\x7F\xFF\xFF\xF0"), false},
      {"block size 0", with(1024 + 40, std::string(4, '\0')), false},
      {"extents tree header wiped", with(extents, std::string(512, '\0')), true},
      {"catalog root node points at itself", with(catalog + 14 + 2, std::string("\0\0\0\0", 4)), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryDevice dev(c.image);
    HFSPlusProbeResult r = ProbeHFSPlusVolume(&dev, 0);
    EXPECT_EQ(r.recognised, c.recognised);
    CHFSPlusVolume vol(&dev);
    char name[260] = {};
    vol.GetVolumeName(name, sizeof name);
    CatalogCounter counter;
    vol.Traverse(kHFSCatalogTree, &counter);
  }
}

// A catalog whose index node points back at itself, and a leaf chain
// that loops, end in an error instead of a hang.
TEST_F(HfsVolumeImages, TreeLoopsEndTheWalk) {
  for (const auto& [recipe, path] : s_images) {
    if (recipe.tag != "journaled") continue;
    std::string img = testutil::ReadFile(path);
    MemoryDevice probe(img);
    CHFSPlusVolume vol(&probe);
    ASSERT_EQ(vol.GetState(), 0);
    const BTHeaderRec* h = vol.GetCatalog()->GetHeaderRecord();
    ASSERT_GE(h->treeDepth, 2) << "the catalog needs an index node";
    uint32_t root = h->rootNode;
    // Byte position of the root node: through the catalog reader.
    CHFSPlusFileCache reader(&vol, kHFSCatalogFileID, vol.GetVolumeHeader()->catalogFile);
    uint64_t pos = root * uint64_t(h->nodeSize);
    uint64_t volumeOffset = 0;
    for (const auto& e : reader.GetExtents()) {
      uint64_t bytes = uint64_t(e.blockCount) * vol.GetVolumeHeader()->blockSize;
      if (pos < bytes) {
        volumeOffset = uint64_t(e.startBlock) * vol.GetVolumeHeader()->blockSize + pos;
        break;
      }
      pos -= bytes;
    }
    ASSERT_NE(volumeOffset, 0u);
    // Point every child of the root index node at the root itself.
    CHFSPlusBTNode node(reinterpret_cast<const uint8_t*>(img.data() + volumeOffset), h->nodeSize);
    ASSERT_EQ(node.GetDescriptor()->kind, kBTIndexNode);
    for (uint16_t i = 0; i < node.GetRecordCount(); ++i) {
      uint32_t len = 0;
      const uint8_t* rec = node.GetRecord(i, &len);
      size_t at = size_t(rec - reinterpret_cast<const uint8_t*>(img.data())) + CHFSPlusBTNode::GetRecordDataOffset(rec);
      for (int b = 0; b < 4; ++b) img[at + b] = char(root >> (24 - 8 * b));
    }
    MemoryDevice dev(img);
    CHFSPlusVolume looped(&dev);
    CatalogCounter counter;
    EXPECT_EQ(looped.Traverse(kHFSCatalogTree, &counter), kHFSBadStructure);
    HFSPlusCatalogKey k;
    k.parentID = 16;
    HFSPlusSearchResult res;
    EXPECT_EQ(looped.Search(kHFSCatalogTree, k, &res, nullptr), kHFSBadStructure);
    return;
  }
  FAIL() << "no journaled image";
}

TEST_F(HfsVolumeImages, ZeroSizeJournalIsAnError) {
  for (const auto& [recipe, path] : s_images) {
    if (!recipe.journal) continue;
    std::string img = testutil::ReadFile(path);
    MemoryDevice probe(img);
    CHFSPlusVolume vol(&probe);
    const HFSPlusVolumeHeader* h = vol.GetVolumeHeader();
    ASSERT_NE(h, nullptr);
    size_t jib = size_t(h->journalInfoBlock) * h->blockSize;
    struct Case {
      const char* what;
      size_t offset;
      std::string bytes;
    } cases[] = {
        {"size 0", jib + 44, std::string(8, '\0')},
        {"size past the volume", jib + 44, std::string("\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8)},
        {"offset past the volume", jib + 36, std::string("\x00\x00\x00\x10\x00\x00\x00\x00", 8)},
        {"journal elsewhere", jib, std::string(4, '\0')},
        {"big-endian header", size_t(ReadBE64(reinterpret_cast<const uint8_t*>(img.data()) + jib + 36)),
         std::string("\x4A\x4E\x4C\x78", 4)},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      std::string bad = img;
      bad.replace(c.offset, c.bytes.size(), c.bytes);
      MemoryDevice dev(bad);
      CHFSPlusVolume v(&dev);
      EXPECT_EQ(v.GetState(), 0);  // the volume stays usable
      ASSERT_NE(v.GetJournal(), nullptr);
      EXPECT_EQ(v.GetJournal()->GetStatus(), kHFSDeviceError);
      const JournalInfoBlock* info = v.GetJournal()->GetInfoBlock();
      if (info && info->size == 0) {
        EXPECT_EQ(v.GetJournal()->WrapOffset(100, 50), 0u);  // no division by 0
      }
    }
    return;
  }
  FAIL() << "no journaled image";
}

}  // namespace
