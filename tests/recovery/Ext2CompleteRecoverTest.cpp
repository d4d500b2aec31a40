// vtctl recover over whole disks that hold Ext2, Ext3 and Ext4 file systems
// (tests/fixtures/make-ext-disks.sh), found from their superblocks with or
// without a partition table: the starts and sizes fsstat gives for the
// intact copies, the live trees fls lists, deleted files given back whole,
// file systems found from a backup superblock, 4096-byte sectors, and
// testdisk's start on a disk whose MBR is gone.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "LoopDevice.h"
#include "RealVolumes.h"
#include "TestUtil.h"
#include "Testdisk.h"
#include "VtctlRecover.h"

namespace {

struct Partition {
  int number = 0;
  std::string type;
  uint64_t start = 0, sectors = 0;
};

struct Node {
  int tree = 0;
  bool directory = false, deleted = false;
  uint64_t size = 0;
  std::string path;
};

struct Listing {
  int exitCode = -1;
  std::string err;
  std::vector<Partition> partitions;
  std::vector<Node> nodes;
  // The partition starting at `start`, or null.
  const Partition* At(uint64_t start) const {
    for (const Partition& p : partitions)
      if (p.start == start) return &p;
    return nullptr;
  }
  std::set<std::string> Live(int tree) const {
    std::set<std::string> out;
    for (const Node& n : nodes)
      if (n.tree == tree && !n.deleted) out.insert((n.directory ? "d " : "f ") + n.path);
    return out;
  }
  const Node* Deleted(int tree, const std::string& name) const {
    for (const Node& n : nodes)
      if (n.tree == tree && n.deleted && n.path.size() >= name.size() &&
          n.path.compare(n.path.size() - name.size(), name.size(), name) == 0)
        return &n;
    return nullptr;
  }
};

class Ext2CompleteRecover : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const testutil::RealVolumeLookup real = testutil::RealVolume("ext2.raw");
    s_real = !real.path.empty();
    std::vector<std::string> args;
    if (s_real) args.push_back(real.path);
    std::string error;
    s_folder = testutil::SharedFixture("make-ext-disks.sh", args, "", error);
    s_error = error;
  }
  void SetUp() override {
    VT_REQUIRE_TOOL("mke2fs");
    VT_REQUIRE_TOOL("debugfs");
    VT_REQUIRE_TOOL("fls");
    ASSERT_FALSE(s_folder.empty()) << s_error;
  }
  std::string Fixture(const std::string& name) const { return s_folder + "/" + name; }

  Listing Recover(const std::string& disk, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"0", "--engines", "ext2"};
    args.insert(args.end(), extra.begin(), extra.end());
    const testutil::RecoverOutcome r = testutil::RunVtctlRecover(m_dir, disk, args);
    Listing l;
    l.exitCode = r.exitCode;
    l.err = r.err;
    for (const std::vector<std::string>& f : r.Records()) {
      if (f.size() >= 5 && f[0] == "partition") {
        l.partitions.push_back({std::stoi(f[1]), f[2], std::stoull(f[3]), std::stoull(f[4])});
      } else if (f.size() >= 7 && f[0] == "node") {
        l.nodes.push_back({std::stoi(f[1]), f[2] == "d", f[3] == "deleted", std::stoull(f[4]), f[6]});
      }
    }
    return l;
  }

  // fls -r -p -u of an intact copy: its live entries as "d path" / "f path".
  static std::set<std::string> FlsLive(const std::string& image) {
    std::set<std::string> out;
    std::istringstream lines(testutil::Run({"fls", "-r", "-p", "-u", image}).output);
    std::string line;
    while (std::getline(lines, line)) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos || line[0] == 'V' || line.find("$OrphanFiles") != std::string::npos) continue;
      out.insert((line[2] == 'd' ? "d " : "f ") + line.substr(tab + 1));
    }
    return out;
  }
  // The file system's size in sectors of `sectorSize` bytes, from fsstat.
  static uint64_t FsstatSectors(const std::string& image, int sectorSize) {
    const std::string out = testutil::Run({"fsstat", image}).output;
    uint64_t last = 0, blockSize = 0;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("Block Range: ", 0) == 0) last = std::stoull(line.substr(line.find('-') + 1));
      if (line.rfind("Block Size: ", 0) == 0) blockSize = std::stoull(line.substr(12));
      if (blockSize) break;
    }
    return (last + 1) * blockSize / static_cast<uint64_t>(sectorSize);
  }

  // The listing's tree of the file system at `start` equals fls of `image`.
  void ExpectTree(const Listing& l, uint64_t start, const std::string& image, const char* type) {
    const Partition* p = l.At(start);
    ASSERT_NE(p, nullptr) << "no partition at " << start << "\n" << l.err;
    EXPECT_EQ(p->type, type);
    ASSERT_GT(p->number, 0) << "not chosen";
    EXPECT_EQ(l.Live(p->number), FlsLive(image));
  }

  testutil::TempDir m_dir{"ext2complete"};
  static std::string s_folder, s_error;
  static bool s_real;
};
std::string Ext2CompleteRecover::s_folder, Ext2CompleteRecover::s_error;
bool Ext2CompleteRecover::s_real = false;

TEST_F(Ext2CompleteRecover, RawDiskWithoutTableGivesBothFileSystemsAndTheirTrees) {
  const Listing l = Recover(Fixture("raw.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  // The backup superblocks inside them make no further partition.
  EXPECT_EQ(l.partitions.size(), 2u);
  const struct {
    uint64_t start;
    const char* image;
    const char* type;
  } cases[] = {{2048, "ext2.img", "EXT2"}, {131072, "ext4.img", "EXT3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.image);
    const Partition* p = l.At(c.start);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->sectors, FsstatSectors(Fixture(c.image), 512));
    ExpectTree(l, c.start, Fixture(c.image), c.type);
  }
  // The deleted files of the ext2 keep their block maps: given back whole.
  const Partition* ext2 = l.At(2048);
  ASSERT_NE(ext2, nullptr);
  for (const char* name : {"gone-big.bin", "gone-small.bin"}) {
    const Node* n = l.Deleted(ext2->number, name);
    ASSERT_NE(n, nullptr) << name;
    const std::string out = m_dir.file(name);
    const Listing x = Recover(Fixture("raw.img"), {"--extract", std::to_string(ext2->number) + ":" + n->path, out});
    EXPECT_EQ(x.exitCode, 0) << x.err;
    EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(Fixture(std::string("gone/") + name))) << name;
  }
  // A live file of the ext4 reads back as its source.
  const Partition* ext4 = l.At(131072);
  ASSERT_NE(ext4, nullptr);
  const std::string out = m_dir.file("blob.bin");
  const Listing x =
      Recover(Fixture("raw.img"), {"--extract", std::to_string(ext4->number) + ":docs/deep/er/blob.bin", out});
  EXPECT_EQ(x.exitCode, 0) << x.err;
  EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(Fixture("src/docs/deep/er/blob.bin")));
}

TEST_F(Ext2CompleteRecover, ZeroedPrimarySuperBlocksAreFoundFromTheirBackups) {
  const Listing l = Recover(Fixture("noprimary.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  EXPECT_EQ(l.partitions.size(), 2u);
  ExpectTree(l, 2048, Fixture("ext2.img"), "EXT2");
  ExpectTree(l, 131072, Fixture("ext4.img"), "EXT3");
}

TEST_F(Ext2CompleteRecover, FourKiBSectorsGiveTheSameStartsInTheirOwnSectors) {
  VT_REQUIRE_ROOT();
  const std::string image = Fixture("raw.img");
  testutil::LoopDevice loop(image, 4096, testutil::LoopDevice::kReadOnly);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const Listing l = Recover(loop.Path());
  ASSERT_EQ(l.exitCode, 0) << l.err;
  EXPECT_EQ(l.partitions.size(), 2u);
  const Partition* ext2 = l.At(2048 / 8);
  ASSERT_NE(ext2, nullptr);
  EXPECT_EQ(ext2->sectors, FsstatSectors(Fixture("ext2.img"), 4096));
  ExpectTree(l, 131072 / 8, Fixture("ext4.img"), "EXT3");
  const Partition* ext4 = l.At(131072 / 8);
  ASSERT_NE(ext4, nullptr);
  EXPECT_EQ(ext4->sectors, FsstatSectors(Fixture("ext4.img"), 4096));
  const std::string out = m_dir.file("blob.bin");
  const Listing x = Recover(loop.Path(), {"--extract", std::to_string(ext4->number) + ":docs/deep/er/blob.bin", out});
  EXPECT_EQ(x.exitCode, 0) << x.err;
  EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(Fixture("src/docs/deep/er/blob.bin")));
}

TEST_F(Ext2CompleteRecover, DiskWithoutItsMbrGivesTheStartTestdiskFinds) {
  VT_REQUIRE_TOOL("testdisk");
  const std::vector<uint64_t> starts = testutil::TestdiskFoundStarts(Fixture("mbr.img"));
  ASSERT_EQ(starts, std::vector<uint64_t>{2048});
  const Listing l = Recover(Fixture("mbr.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  ASSERT_EQ(l.partitions.size(), 1u);
  EXPECT_EQ(l.partitions[0].start, starts[0]);
  EXPECT_EQ(l.partitions[0].sectors, FsstatSectors(Fixture("ext3.img"), 512));
  ExpectTree(l, 2048, Fixture("ext3.img"), "EXT3");
}

TEST_F(Ext2CompleteRecover, RealVolumeInsideALargerImage) {
  std::string raw;
  VT_REQUIRE_REAL_VOLUME(raw, testutil::RealVolume("ext2.raw"));
  ASSERT_TRUE(s_real);
  const Listing l = Recover(Fixture("real.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  ASSERT_EQ(l.partitions.size(), 1u);
  EXPECT_EQ(l.partitions[0].sectors, FsstatSectors(raw, 512));
  ExpectTree(l, 4096, raw, "EXT2");
}

}  // namespace
