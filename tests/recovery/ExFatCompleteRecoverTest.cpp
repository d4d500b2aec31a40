// vtctl recover over disks that hold exFAT partitions whose table or boot
// structures are gone (tests/fixtures/make-exfat-search-disk.sh, from the
// filled volumes of make-exfat-images.sh), judged by sleuthkit and testdisk:
// every partition at mmls's start with fsstat's geometry, each tree as fls
// lists the intact volume, deleted files given back whole, the recycled file
// under its old name, the partition found through its backup boot sector and
// without its FAT, 4096-byte sectors, and one volume searched on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "LoopDevice.h"
#include "TestUtil.h"
#include "Testdisk.h"
#include "VtctlRecover.h"

namespace {

constexpr uint64_t kFirst = 2048, kSecond = 36864;  // the partitions' starts
const char kRecycled[] = "$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001/$RR3C7QX.txt";
const char kRestored[] = "$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001/old-report.txt";

struct Partition {
  int number = 0;
  std::string type;
  uint64_t start = 0, sectors = 0, spc = 0, heap = 0, points = 0;
};

struct Listing {
  int exitCode = -1;
  std::string out, err;
  std::vector<Partition> partitions;
  // Per tree: "d path" / "f path", a "* " before deleted ones.
  std::map<int, std::set<std::string>> trees;
  const Partition* Chosen(uint64_t start) const {
    for (const Partition& p : partitions)
      if (p.number > 0 && p.start == start) return &p;
    return nullptr;
  }
};

std::string Entry(bool folder, bool deleted, const std::string& path) {
  return std::string(deleted ? "* " : "") + (folder ? "d " : "f ") + path;
}

// fls -r -p of the exFAT volume at `start`, without the label, bitmap and
// up-case entries and sleuthkit's orphans; the recycled file under the name
// its information file gives.
std::set<std::string> FlsTree(const std::string& image, uint64_t start, int sectorSize = 512) {
  std::set<std::string> out;
  const auto r = testutil::Run(
      {"fls", "-f", "exfat", "-r", "-p", "-b", std::to_string(sectorSize), "-o", std::to_string(start), image});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line[0] == 'v' || line[0] == 'V') continue;
    std::string path = line.substr(tab + 1);
    if (path == "$ALLOC_BITMAP" || path == "$UPCASE_TABLE" || path.find("(Volume Label Entry)") != std::string::npos ||
        path.rfind("$OrphanFiles", 0) == 0)
      continue;
    if (path == kRecycled) path = kRestored;
    out.insert(Entry(line[2] == 'd', line.find(" * ") < tab, path));
  }
  return out;
}

struct Fsstat {
  uint64_t heap = 0;  // sectors from the volume start
  uint64_t spc = 0;
};

Fsstat RunFsstat(const std::string& image, uint64_t start, int sectorSize = 512) {
  const auto r =
      testutil::Run({"fsstat", "-f", "exfat", "-b", std::to_string(sectorSize), "-o", std::to_string(start), image});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  Fsstat f;
  uint64_t sector = 0, cluster = 0;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("** Cluster Heap: ", 0) == 0) f.heap = std::stoull(line.substr(17));
    if (line.rfind("Sector Size: ", 0) == 0) sector = std::stoull(line.substr(13));
    if (line.rfind("Cluster Size: ", 0) == 0) cluster = std::stoull(line.substr(14));
  }
  f.spc = sector ? cluster / sector : 0;
  return f;
}

std::string Describe(const std::set<std::string>& ours, const std::set<std::string>& theirs) {
  std::string out;
  for (const std::string& e : ours)
    if (!theirs.count(e)) out += "  only ours: " + e + "\n";
  for (const std::string& e : theirs)
    if (!ours.count(e)) out += "  only fls: " + e + "\n";
  return out;
}

class ExFatCompleteRecover : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testutil::IsRoot() || !testutil::HaveFuse()) return;
    const std::string volumes = testutil::SharedFixture("make-exfat-images.sh", {}, "", s_error);
    if (volumes.empty()) return;
    s_volumes = volumes;
    s_disks = testutil::SharedFixture("make-exfat-search-disk.sh", {volumes}, "", s_error);
  }
  void SetUp() override {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkfs.exfat");
    VT_REQUIRE_TOOL("mount.exfat-fuse");
    VT_REQUIRE_TOOL("sfdisk");
    VT_REQUIRE_TOOL("fls");
    if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
    ASSERT_FALSE(s_disks.empty()) << s_error;
  }
  static std::string Disk(const std::string& name) { return s_disks + "/" + name; }

  Listing Recover(const std::string& disk, const std::vector<std::string>& args = {"0"},
                  const std::string& engines = "exfat") {
    std::vector<std::string> all = {"--engines", engines};
    all.insert(all.end(), args.begin(), args.end());
    const testutil::RecoverOutcome r = testutil::RunVtctlRecover(m_dir, disk, all);
    Listing l;
    l.exitCode = r.exitCode;
    l.out = r.out;
    l.err = r.err;
    for (const std::vector<std::string>& f : r.Records()) {
      if (f.size() >= 10 && f[0] == "partition") {
        l.partitions.push_back({std::stoi(f[1]), f[2], std::stoull(f[3]), std::stoull(f[4]), std::stoull(f[5]),
                                std::stoull(f[6]), std::stoull(f[8])});
      } else if (f.size() >= 7 && f[0] == "node") {
        if (f[6].rfind("Other lost files", 0) == 0) continue;
        l.trees[std::stoi(f[1])].insert(Entry(f[2] == "d", f[3] == "deleted", f[6]));
      }
    }
    return l;
  }

  // The partition at `start` of listing `l` has fsstat's geometry and the
  // tree fls lists of `intact`.
  void ExpectPartition(const Listing& l, uint64_t start, const std::string& intact, int sectorSize = 512) {
    SCOPED_TRACE("partition at " + std::to_string(start));
    const Partition* p = l.Chosen(start);
    ASSERT_NE(p, nullptr) << l.out.substr(0, 3000) << l.err;
    EXPECT_EQ(p->type, "EXFAT");
    const Fsstat f = RunFsstat(intact, start, sectorSize);
    EXPECT_EQ(p->spc, f.spc);
    EXPECT_EQ(p->heap, start + f.heap);
    const std::set<std::string> theirs = FlsTree(intact, start, sectorSize);
    ASSERT_TRUE(l.trees.count(p->number));
    EXPECT_EQ(l.trees.at(p->number), theirs) << Describe(l.trees.at(p->number), theirs);
  }

  testutil::TempDir m_dir{"exfatcomplete"};
  static std::string s_volumes, s_disks, s_error;
};
std::string ExFatCompleteRecover::s_volumes, ExFatCompleteRecover::s_disks, ExFatCompleteRecover::s_error;

TEST_F(ExFatCompleteRecover, IntactDiskGivesBothPartitionsTheirTreesAndTheirDeletedFiles) {
  const Listing l = Recover(Disk("disk.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  const std::string mmls = testutil::Run({"mmls", Disk("disk.img")}).output;
  for (uint64_t start : {kFirst, kSecond}) {
    EXPECT_NE(mmls.find(std::to_string(start)), std::string::npos) << mmls;
    ExpectPartition(l, start, Disk("disk.img"));
  }
  // Both boot sectors and the one FAT mkfs.exfat makes.
  EXPECT_EQ(l.Chosen(kFirst)->points, 95u);
  // The deleted contiguous files come back as they were written.
  const struct {
    uint64_t start;
    const char* volume;
  } volumes[] = {{kFirst, "exfat-4k"}, {kSecond, "exfat-128k"}};
  for (const auto& v : volumes)
    for (const char* path : {"gone-small.txt", "gone-big.bin", "doomed/one.txt", "doomed/two.bin"}) {
      SCOPED_TRACE(std::string(v.volume) + " " + path);
      const Partition* p = l.Chosen(v.start);
      ASSERT_NE(p, nullptr);
      ASSERT_TRUE(l.trees.at(p->number).count(Entry(false, true, path)));
      std::string flat = path;
      std::replace(flat.begin(), flat.end(), '/', '-');
      const std::string out = m_dir.file(std::string(v.volume) + "-" + flat);
      const Listing x = Recover(Disk("disk.img"), {"0", "--extract", std::to_string(p->number) + ":" + path, out});
      ASSERT_EQ(x.exitCode, 0) << x.err;
      EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(s_volumes + "/gone/" + v.volume + "/" + path));
    }
}

TEST_F(ExFatCompleteRecover, WithoutTheMbrTheStartsAreTestdisks) {
  VT_REQUIRE_TOOL("testdisk");
  const Listing l = Recover(Disk("a.img"));
  ASSERT_EQ(l.exitCode, 0) << l.err;
  std::vector<uint64_t> ours;
  for (const Partition& p : l.partitions)
    if (p.number > 0) ours.push_back(p.start);
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ(ours, (std::vector<uint64_t>{kFirst, kSecond}));
  EXPECT_EQ(ours, testutil::TestdiskFoundStarts(Disk("a.img")));
  for (uint64_t start : {kFirst, kSecond}) ExpectPartition(l, start, Disk("disk.img"));
}

TEST_F(ExFatCompleteRecover, LostBootSectorAndFatLowerOnlyTheScore) {
  const struct {
    const char* disk;
    uint64_t points;  // boot part + FAT part
  } cases[] = {{"b.img", 45 + 45}, {"c.img", 45 + 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.disk);
    const Listing l = Recover(Disk(c.disk));
    ASSERT_EQ(l.exitCode, 0) << l.err;
    const Partition* p = l.Chosen(kFirst);
    ASSERT_NE(p, nullptr) << l.out.substr(0, 3000);
    EXPECT_EQ(p->points, c.points);
    EXPECT_EQ(p->sectors, 32768u);
    const Fsstat f = RunFsstat(Disk("disk.img"), kFirst);
    EXPECT_EQ(p->heap, kFirst + f.heap);
    EXPECT_EQ(p->spc, f.spc);
    ASSERT_NE(l.Chosen(kSecond), nullptr);
    EXPECT_EQ(l.Chosen(kSecond)->points, 95u);
  }
  // Through the backup boot sector the tree is the same.
  ExpectPartition(Recover(Disk("b.img")), kFirst, Disk("disk.img"));
}

TEST_F(ExFatCompleteRecover, FourKiBSectors) {
  VT_REQUIRE_TOOL("losetup");
  testutil::LoopDevice loop(Disk("disk4k.img"), 4096, testutil::LoopDevice::kReadOnly);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const Listing l = Recover(loop.Path());
  ASSERT_EQ(l.exitCode, 0) << l.err;
  ExpectPartition(l, 256, Disk("disk4k.img"), 4096);
  const Partition* p = l.Chosen(256);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->points, 95u);
  const std::string out = m_dir.file("gone-big.bin");
  const Listing x = Recover(loop.Path(), {"0", "--extract", std::to_string(p->number) + ":gone-big.bin", out});
  ASSERT_EQ(x.exitCode, 0) << x.err;
  EXPECT_EQ(testutil::ReadFile(out), testutil::ReadFile(s_volumes + "/gone/exfat-4kn/gone-big.bin"));
}

// The complete recovery within one volume of the intact disk: its own tree.
TEST_F(ExFatCompleteRecover, OneVolumeSearchedCompletely) {
  const std::string letters = testutil::Shell("VANTOREL_DISKS='" + Disk("disk.img") + "' VANTOREL_PROGRAM_DIR='" +
                                              m_dir.path() + "' '" + VANTOREL_BIN_DIR + "/vtctl' letters 2>/dev/null")
                                  .output;
  // The letter of the second partition: the line that gives its start.
  char letter = 0;
  for (const std::string& line : testutil::Lines(letters))
    if (line.find(" start " + std::to_string(kSecond) + " ") != std::string::npos) letter = line[0];
  ASSERT_NE(letter, 0) << letters;
  const Listing l = Recover(Disk("disk.img"), {std::string(1, letter), "--complete"});
  ASSERT_EQ(l.exitCode, 0) << l.err;
  // Sectors count from the volume's start.
  ExpectPartition(l, 0, s_volumes + "/exfat-128k.img");
}

}  // namespace
