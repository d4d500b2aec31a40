// The FAT scrub on volumes made by mkfs.fat and filled by mtools, judged by
// independent readers: fsck.fat finds nothing, every live file reads back
// identical through mtools, sleuthkit lists none of the deleted names, and a
// byte comparison of the whole image shows changes only in deleted entries of
// directory clusters (as sleuthkit places them) and in the first sector of
// free clusters that deleted entries named.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "CDeletedRecoveryController.h"
#include "CDiskDevice.h"
#include "CFATQuickScrub.h"
#include "CFATQuickSearch.h"
#include "CSearchedPartitionInfo.h"
#include "CVolumeDevice.h"
#include "FATScrubCodes.h"
#include "FatBytes.h"
#include "FaultInjectingDevice.h"
#include "ScanEngineRegistry.h"
#include "ScrubTestSupport.h"
#include "TestUtil.h"

namespace {

constexpr uint64_t kPartitionStart = 2048 + 16384;  // second partition, 512-byte units

struct Case {
  const char* volume;  // fixture name without ".img"
  int sectorSize;
  bool partition;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.volume) + (info.param.partition ? "_partition" : "_whole");
}

std::string Tool(const std::vector<std::string>& argv) {
  auto r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.output;
  return r.output;
}

uint64_t FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<uint64_t>(in.tellg());
}

std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t length) {
  std::vector<uint8_t> v(length);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    if (::pread(fd, v.data(), length, static_cast<off_t>(offset)) != static_cast<ssize_t>(length)) v.clear();
    ::close(fd);
  }
  return v;
}

void WriteBytes(const std::string& path, uint64_t offset, const void* bytes, size_t length) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, bytes, length, static_cast<off_t>(offset)), static_cast<ssize_t>(length));
  ::close(fd);
}

// Where the volume lies in the work image, and how the independent tools
// are pointed at it.
struct Target {
  std::string image;
  uint64_t offset = 0;  // bytes
  uint64_t length = 0;  // bytes
  int sectorSize = 512;
  uint64_t diskStart = 0;  // 512-byte disk sectors
  std::vector<std::string> Tsk(const std::string& tool, std::vector<std::string> args) const {
    std::vector<std::string> argv{tool};
    if (offset != 0) {
      argv.push_back("-o");
      argv.push_back(std::to_string(offset / 512));
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  std::string Mtools() const { return offset ? image + "@@" + std::to_string(offset) : image; }
};

// One sleuthkit listing line: "r/r * 1388:\tSub Folder/name".
struct Listed {
  bool directory = false;
  bool deleted = false;
  uint64_t inode = 0;
  std::string path;
};

std::vector<Listed> ListAll(const Target& t, bool deletedOnly) {
  std::vector<Listed> out;
  std::istringstream in(Tool(t.Tsk("fls", {deletedOnly ? "-rdp" : "-rp", t.image})));
  std::string line;
  static const std::regex re(R"(^(\S)/\S (\* )?(\d+)(\([^)]*\))?:\t(.*)$)");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, re)) continue;
    Listed l;
    l.directory = m[1] == "d";
    l.deleted = m[2].matched;
    l.inode = std::stoull(m[3]);
    l.path = m[5];
    if (l.path.rfind("$", 0) == 0) continue;
    out.push_back(l);
  }
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<uint64_t> SectorsOf(const Target& t, uint64_t inode) {
  std::vector<uint64_t> sectors;
  const std::string text = Tool(t.Tsk("istat", {t.image, std::to_string(inode)}));
  const size_t at = text.find("Sectors:");
  if (at == std::string::npos) return sectors;
  std::istringstream in(text.substr(at + 8));
  uint64_t s;
  while (in >> s) sectors.push_back(s);
  return sectors;
}

bool Allocated(const Target& t, uint64_t sector) {
  const std::string text = Tool(t.Tsk("blkstat", {t.image, std::to_string(sector)}));
  return text.find("Not Allocated") == std::string::npos;
}

// Layout numbers from fsstat, in the volume's sectors.
struct Layout {
  uint64_t fatStart = 0;
  uint64_t dataArea = 0;     // where sleuthkit counts directory-entry inodes from
  uint64_t clusterArea = 0;  // cluster 2
  uint64_t rootFirst = 0, rootLast = 0;  // FAT16 root directory
  uint64_t clusterSectors = 1;
  bool fat32 = false;
};

Layout LayoutOf(const Target& t) {
  const std::string text = Tool(t.Tsk("fsstat", {t.image}));
  Layout l;
  std::smatch m;
  auto number = [&](const char* re, uint64_t* out, uint64_t* second = nullptr) {
    if (std::regex_search(text, m, std::regex(re))) {
      *out = std::stoull(m[1]);
      if (second) *second = std::stoull(m[2]);
    }
  };
  number(R"(FAT 0: (\d+))", &l.fatStart);
  number(R"(Data Area: (\d+))", &l.dataArea);
  number(R"(Cluster Area: (\d+))", &l.clusterArea);
  number(R"(Root Directory: (\d+) - (\d+))", &l.rootFirst, &l.rootLast);
  uint64_t clusterBytes = 0, sectorBytes = 0;
  number(R"(Cluster Size: (\d+))", &clusterBytes);
  number(R"(Sector Size: (\d+))", &sectorBytes);
  if (sectorBytes != 0 && clusterBytes >= sectorBytes) l.clusterSectors = clusterBytes / sectorBytes;
  l.fat32 = std::regex_search(text, std::regex(R"(File System Type: FAT32)"));
  if (l.clusterArea == 0) l.clusterArea = l.dataArea;
  return l;
}

// What sleuthkit says of the volume before the scrub, turned into the byte
// ranges (of the image file) that the scrub may change.
struct Oracle {
  std::set<std::string> deletedNames;
  std::map<uint64_t, uint64_t> allowed;  // start -> end, image bytes; disjoint, not touching

  void Allow(uint64_t start, uint64_t length) {
    uint64_t end = start + length;
    auto it = allowed.upper_bound(start);
    if (it != allowed.begin() && std::prev(it)->second >= start) --it;
    while (it != allowed.end() && it->first <= end) {
      start = std::min(start, it->first);
      end = std::max(end, it->second);
      it = allowed.erase(it);
    }
    allowed[start] = end;
  }
  bool IsAllowed(uint64_t offset) const {
    auto it = allowed.upper_bound(offset);
    if (it == allowed.begin()) return false;
    --it;
    return offset < it->second;
  }
};

// Deleted slots (first byte 0xE5) of a live directory, up to its end
// marker; in a deleted directory whose cluster is free and starts with "."
// naming itself and "..", every slot of that cluster after the dots, up to
// the end marker.
void AllowDirectory(const Target& t, const Layout& l, std::vector<uint64_t> sectors, bool deleted, Oracle* o) {
  const uint64_t ss = static_cast<uint64_t>(t.sectorSize);
  if (deleted) {
    if (sectors.empty() || sectors[0] < l.clusterArea || Allocated(t, sectors[0])) return;
    if (sectors.size() > l.clusterSectors) sectors.resize(static_cast<size_t>(l.clusterSectors));
    const std::vector<uint8_t> first = ReadBytes(t.image, t.offset + sectors[0] * ss, 64);
    if (first.size() != 64) return;
    const uint64_t self = (sectors[0] - l.clusterArea) / l.clusterSectors + 2;
    uint64_t named = ReadLE16(first.data() + 26);
    if (l.fat32) named |= static_cast<uint64_t>(ReadLE16(first.data() + 20)) << 16;
    if (std::memcmp(first.data(), ".          ", 11) != 0 ||
        std::memcmp(first.data() + 32, "..         ", 11) != 0 || named != self)
      return;
  }
  for (size_t i = 0; i < sectors.size(); ++i) {
    const uint64_t at = t.offset + sectors[i] * ss;
    const std::vector<uint8_t> bytes = ReadBytes(t.image, at, ss);
    for (uint64_t off = (deleted && i == 0) ? 64 : 0; off + 32 <= bytes.size(); off += 32) {
      if (bytes[off] == 0) return;  // the end marker
      if (deleted || bytes[off] == 0xE5) o->Allow(at + off, 32);
    }
  }
}

Oracle BuildOracle(const Target& t) {
  Oracle o;
  const Layout l = LayoutOf(t);
  const uint64_t ss = static_cast<uint64_t>(t.sectorSize);
  // Directory sectors: the FAT16 root range, the FAT32 root's chain (inode
  // 2; fsstat's range for it runs from its first to its last sector, over
  // whatever lies between), every listed directory's sectors.
  if (l.fat32) {
    AllowDirectory(t, l, SectorsOf(t, 2), false, &o);
  } else {
    std::vector<uint64_t> root;
    for (uint64_t s = l.rootFirst; s <= l.rootLast && l.rootLast != 0; ++s) root.push_back(s);
    AllowDirectory(t, l, root, false, &o);
  }
  for (const Listed& item : ListAll(t, false)) {
    if (item.directory) AllowDirectory(t, l, SectorsOf(t, item.inode), item.deleted, &o);
  }
  // The first sector of a free cluster that a deleted file names.
  for (const Listed& item : ListAll(t, true)) {
    o.deletedNames.insert(BaseName(item.path));
    if (item.directory) continue;
    const std::vector<uint64_t> sectors = SectorsOf(t, item.inode);
    if (!sectors.empty() && !Allocated(t, sectors[0])) o.Allow(t.offset + sectors[0] * ss, ss);
  }
  return o;
}

// Changed bytes outside the allowed ranges (the first few, as text).
std::string ChangesOutside(const Oracle& o, const std::string& before, const std::string& after, uint64_t* changed) {
  std::ifstream a(before, std::ios::binary), b(after, std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  uint64_t pos = 0;
  std::string report;
  int shown = 0;
  *changed = 0;
  while (a && b) {
    a.read(x.data(), static_cast<std::streamsize>(x.size()));
    b.read(y.data(), static_cast<std::streamsize>(y.size()));
    const size_t n = static_cast<size_t>(std::min(a.gcount(), b.gcount()));
    if (n == 0) break;
    if (std::memcmp(x.data(), y.data(), n) != 0) {
      for (size_t i = 0; i < n; ++i) {
        if (x[i] == y[i]) continue;
        ++*changed;
        if (!o.IsAllowed(pos + i) && shown < 8) {
          report += " " + std::to_string(pos + i);
          ++shown;
        }
      }
    }
    pos += n;
  }
  return report;
}

class FatScrubFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"mkfs.fat", "mcopy", "fls", "sfdisk", "fsck.fat", "diff"})
      if (!testutil::HaveTool(tool)) return;
    s_made = true;
    s_dir = testutil::SharedFixture("make_fat_scrub_images.sh", {}, "", s_error);
  }
  void SetUp() override {
    if (!s_made) GTEST_SKIP() << "needs mkfs.fat, mtools, sleuthkit, sfdisk, fsck.fat";
    ASSERT_FALSE(s_dir.empty()) << s_error;
    setenv("MTOOLS_SKIP_CHECK", "1", 1);
    m_work = std::make_unique<testutil::TempDir>("fatscrubrun");
  }

  // A fresh copy of the fixture of `c` and where its volume lies.
  Target Prepare(const Case& c, const std::string& copyName) {
    const std::string fixture = s_dir + "/" + (c.partition ? "disk_" : "") + c.volume + ".img";
    Target t;
    t.image = m_work->file(copyName);
    Tool({"cp", "--sparse=always", fixture, t.image});
    t.sectorSize = c.sectorSize;
    t.length = FileSize(s_dir + "/" + c.volume + ".img");
    if (c.partition) {
      t.offset = kPartitionStart * 512;
      t.diskStart = kPartitionStart;
    }
    return t;
  }

  std::string LiveFiles(const Target& t, const std::string& name) {
    const std::string dir = m_work->file(name);
    Tool({"mkdir", "-p", dir});
    Tool({"mcopy", "-s", "-n", "-i", t.Mtools(), "::*", dir + "/"});
    return dir;
  }

  // The fixture images, shared by the test processes: copied before use.
  static bool s_made;
  static std::string s_dir, s_error;
  std::unique_ptr<testutil::TempDir> m_work;
};

bool FatScrubFixture::s_made = false;
std::string FatScrubFixture::s_dir, FatScrubFixture::s_error;

class FatScrubImages : public FatScrubFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(FatScrubImages, StandingOracle) {
  const Case c = GetParam();
  if (!std::ifstream(s_dir + "/" + c.volume + ".img"))
    GTEST_SKIP() << c.volume << " needs the kernel's vfat (root, loop) or fusefat";
  const Target t = Prepare(c, "work.img");
  const std::string original = m_work->file("original.img");
  Tool({"cp", "--sparse=always", t.image, original});
  const Oracle oracle = BuildOracle(t);
  const bool byMtools = std::string(c.volume).find("driver") == std::string::npos;
  ASSERT_GE(oracle.deletedNames.size(), byMtools ? 6u : 3u);
  const std::string liveBefore = LiveFiles(t, "before");

  scrubtest::WriterPlan plan;
  plan.imagePath = t.image;
  std::vector<scrubtest::Event> firstRun;
  plan.events = &firstRun;
  scrubtest::WriterInstall install(&plan);
  CVolumeDevice volume(t.image, t.offset, t.length, c.sectorSize, true);
  scrubtest::RecordingDevice recorded(&volume, &firstRun);
  FATWipeCounters counters;
  ASSERT_EQ(ScrubFATVolume(&recorded, 0, t.diskStart, nullptr, &counters), fatscrub::kDone);
  // Every write, cut at the disk's 4 KiB blocks, holds a changed byte in each
  // piece, and each piece was read after any earlier write over it: the
  // bytes written back are this pass's reading.
  constexpr uint64_t kBlock = 4096;
  size_t wholeBlocks = 0, writes = 0;
  for (size_t i = 0; i < firstRun.size(); ++i) {
    const auto& w = firstRun[i];
    if (w.kind != 'w') continue;
    ++writes;
    const uint64_t from = w.first * 512, to = (w.first + w.count) * 512;
    wholeBlocks += from % kBlock == 0 && to % kBlock == 0;
    for (uint64_t at = from; at < to; at = (at / kBlock + 1) * kBlock) {
      const uint64_t end = std::min(to, (at / kBlock + 1) * kBlock);
      EXPECT_NE(ReadBytes(original, at, static_cast<size_t>(end - at)),
                ReadBytes(t.image, at, static_cast<size_t>(end - at)))
          << "disk bytes " << at << ".." << end << " written unchanged";
      bool read = false;
      for (size_t j = i; j-- > 0 && !read;) {
        const auto& e = firstRun[j];
        const uint64_t a = e.kind == 'w' ? e.first * 512 : t.offset + e.first * c.sectorSize;
        const uint64_t b = e.kind == 'w' ? a + e.count * 512 : a + e.count * c.sectorSize;
        if (e.kind == 'w' && a < end && at < b) break;  // written before, not read since
        read = e.kind == 'r' && a <= at && end <= b;
      }
      EXPECT_TRUE(read) << "disk bytes " << at << ".." << end << " written without being read in this pass";
    }
  }
  EXPECT_GT(writes, 0u);
  EXPECT_GT(wholeBlocks, 0u);
  EXPECT_EQ(plan.opened, 1);
  EXPECT_GE(counters.entriesReplaced, 10u);
  EXPECT_GE(counters.sectorsZeroed, byMtools ? 3u : 2u);
  EXPECT_GE(counters.deletedDirectoriesWalked, 2u);
  if (byMtools) {
    EXPECT_GE(counters.clustersInUseSkipped, 1u);  // a deleted file's cluster went to "Later"
  }
  EXPECT_EQ(counters.writesFailed, 0u);

  // fsck.fat on the volume alone.
  const std::string alone = m_work->file("alone.img");
  Tool({"dd", "if=" + t.image, "of=" + alone, "bs=512", "skip=" + std::to_string(t.offset / 512),
        "count=" + std::to_string(t.length / 512), "conv=sparse", "status=none"});
  auto fsck = testutil::Run({"fsck.fat", "-n", alone});
  EXPECT_EQ(fsck.exitCode, 0) << fsck.output;

  const std::string liveAfter = LiveFiles(t, "after");
  auto diff = testutil::Run({"diff", "-r", liveBefore, liveAfter});
  EXPECT_EQ(diff.exitCode, 0) << diff.output;

  for (const Listed& l : ListAll(t, true))
    EXPECT_EQ(oracle.deletedNames.count(BaseName(l.path)), 0u) << "still listed: " << l.path;

  uint64_t changed = 0;
  EXPECT_EQ(ChangesOutside(oracle, original, t.image, &changed), "");
  EXPECT_GT(changed, 0u);

  // A second run finds nothing left to change and writes nothing.
  std::vector<scrubtest::Event> events;
  plan.events = &events;
  EXPECT_EQ(ScrubFATVolume(&volume, 0, t.diskStart, nullptr, &counters), fatscrub::kDone);
  EXPECT_TRUE(events.empty()) << events.size() << " writes on the second run";
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatScrubImages,
                         ::testing::Values(Case{"fat16", 512, false}, Case{"fat32", 512, false},
                                           Case{"fat16_4k", 4096, false}, Case{"fat32_4k", 4096, false},
                                           Case{"fat16", 512, true}, Case{"fat32", 512, true},
                                           Case{"fat16_4k", 4096, true}, Case{"fat32_4k", 4096, true},
                                           Case{"fat32_driver", 512, false}, Case{"fat32_driver", 512, true}),
                         CaseName);


// The path the free-space wipe takes: the deleted-recovery controller makes
// the registered FAT quick search and runs it with the wipe target.
// Deleted files' clusters one read's length apart, so that the last sector
// of one zeroing read and the first of the next lie in the same 4 KiB disk
// block (512-byte clusters): the later read must see the earlier one's
// change, or its copy of the shared block would put the old bytes back.
TEST_F(FatScrubFixture, ZeroingReadsThatShareABlockKeepEachOthersChanges) {
  Target t;
  t.image = m_work->file("spans.img");
  Tool({"mkfs.fat", "-C", "-F", "16", "-s", "1", "-S", "512", "-n", "SPANS", t.image, "16384"});
  t.length = FileSize(t.image);
  const Layout l = LayoutOf(t);
  // mcopy fills the free clusters in order: a pad that puts A one sector
  // past a block boundary, A, 2046 clusters, B, C. One read covers A to B
  // (2048 sectors); C starts the next, inside B's block.
  uint64_t pad = (9 - l.clusterArea % 8) % 8;
  if (pad == 0) pad = 8;
  const std::string files = m_work->file("files");
  Tool({"mkdir", "-p", files});
  const std::vector<std::pair<std::string, uint64_t>> order = {
      {"pad.bin", pad}, {"a.bin", 1}, {"filler.bin", 2046}, {"b.bin", 1}, {"c.bin", 1}};
  for (const auto& [name, clusters] : order) {
    testutil::WriteFile(files + "/" + name, std::string(static_cast<size_t>(clusters * 512), 'x'));
    Tool({"mcopy", "-i", t.image, files + "/" + name, "::/" + name});
  }
  std::map<std::string, uint64_t> first;
  for (const Listed& item : ListAll(t, false)) {
    const std::vector<uint64_t> sectors = SectorsOf(t, item.inode);
    if (!sectors.empty()) first[item.path] = sectors[0];
  }
  ASSERT_EQ((first["a.bin"]) % 8, 1u) << "pad " << pad << ", cluster area " << l.clusterArea;
  ASSERT_EQ(first["b.bin"], first["a.bin"] + 2047);
  ASSERT_EQ(first["c.bin"], first["a.bin"] + 2048);
  Tool({"mdel", "-i", t.image, "::/a.bin", "::/b.bin", "::/c.bin"});
  const std::string original = m_work->file("spans.before");
  Tool({"cp", "--sparse=always", t.image, original});
  const Oracle oracle = BuildOracle(t);

  scrubtest::WriterPlan plan;
  plan.imagePath = t.image;
  scrubtest::WriterInstall install(&plan);
  CVolumeDevice volume(t.image, 0, t.length, 512, true);
  FATWipeCounters counters;
  ASSERT_EQ(ScrubFATVolume(&volume, 0, 0, nullptr, &counters), fatscrub::kDone);
  EXPECT_EQ(counters.sectorsZeroed, 3u);
  for (const char* name : {"a.bin", "b.bin", "c.bin"})
    EXPECT_EQ(ReadBytes(t.image, first[name] * 512, 512), std::vector<uint8_t>(512, 0)) << name;
  uint64_t changed = 0;
  EXPECT_EQ(ChangesOutside(oracle, original, t.image, &changed), "");
}

TEST_F(FatScrubFixture, ThroughTheDeletedRecoveryController) {
  const Case c{"fat32", 512, true};
  const Target t = Prepare(c, "controller.img");
  const std::string original = m_work->file("controller.before");
  Tool({"cp", "--sparse=always", t.image, original});
  const Oracle oracle = BuildOracle(t);
  scrubtest::WriterPlan plan;
  plan.imagePath = t.image;
  scrubtest::WriterInstall install(&plan);
  ClearScanEngineRegistry();
  RegisterFATQuickSearch();
  CVolumeDevice volume(t.image, t.offset, t.length, c.sectorSize, true);
  {
    CDeletedRecoveryController fat12;
    fat12.SetFileSystem(EFileSystemType::FAT12, "");
    EXPECT_EQ(fat12.RunQuickSearch(&volume, 0, t.diskStart), 0);
    EXPECT_EQ(plan.opened, 0);
  }
  CDeletedRecoveryController controller;
  controller.SetFileSystem(EFileSystemType::FAT32, "");
  EXPECT_EQ(controller.RunQuickSearch(&volume, 0, t.diskStart), fatscrub::kDone);
  EXPECT_EQ(plan.opened, 1);
  auto* quick = dynamic_cast<CFATQuickSearch*>(controller.GetQuickController());
  ASSERT_NE(quick, nullptr);
  EXPECT_GE(quick->GetCounters().entriesReplaced, 10u);
  std::vector<CSearchedPartitionInfo*> partitions;
  quick->GetPartitions(partitions);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0]->GetType(), EFileSystemType::FAT32);
  uint64_t changed = 0;
  EXPECT_EQ(ChangesOutside(oracle, original, t.image, &changed), "");
  EXPECT_GT(changed, 0u);
  ClearScanEngineRegistry();
}

// ---- The hard cases ----

struct Volume {
  Target t;
  Layout l;
  bool fat32 = false;
  std::map<std::string, uint64_t> inodes;  // path -> inode

  uint64_t EntryOffset(const std::string& path) const {
    return t.offset + l.dataArea * t.sectorSize + (inodes.at(path) - 3) * 32;
  }
  std::vector<uint8_t> Entry(const std::string& path) const { return ReadBytes(t.image, EntryOffset(path), 32); }
  uint32_t ClusterOf(const std::string& path) const {
    const std::vector<uint8_t> e = Entry(path);
    uint32_t c = ReadLE16(e.data() + 26);
    if (fat32) c |= static_cast<uint32_t>(ReadLE16(e.data() + 20)) << 16;
    return c;
  }
  uint64_t ClusterOffset(uint32_t cluster) const {
    return t.offset + (l.clusterArea + (cluster - 2)) * static_cast<uint64_t>(t.sectorSize);
  }
  std::vector<uint8_t> ClusterBytes(uint32_t cluster) const {
    return ReadBytes(t.image, ClusterOffset(cluster), static_cast<size_t>(t.sectorSize));
  }
  void SetCluster(uint64_t entryOffset, uint32_t cluster) const {
    uint8_t lo[2] = {static_cast<uint8_t>(cluster), static_cast<uint8_t>(cluster >> 8)};
    uint8_t hi[2] = {static_cast<uint8_t>(cluster >> 16), static_cast<uint8_t>(cluster >> 24)};
    WriteBytes(t.image, entryOffset + 26, lo, 2);
    WriteBytes(t.image, entryOffset + 20, hi, 2);
  }
  // The first free slot (byte 0 is 0) of the directory whose first cluster
  // is given.
  uint64_t EndMarker(uint32_t cluster) const {
    const std::vector<uint8_t> b = ClusterBytes(cluster);
    for (size_t off = 0; off + 32 <= b.size(); off += 32)
      if (b[off] == 0) return ClusterOffset(cluster) + off;
    return 0;
  }
};

bool IsTemplate(const std::vector<uint8_t>& entry) {
  return entry.size() == 32 && std::memcmp(entry.data(), CFATWipeWorker::DeletedEntryTemplate(), 32) == 0;
}

struct ScrubRun {
  int code = 0;
  FATWipeCounters counters;
  std::vector<scrubtest::Event> events;
  int writerOpened = 0;
};

struct HardCase {
  const char* name = "";  // the test's name
  const char* what = "";
  Case volume{"fat16", 512, false};
  std::function<void(Volume&)> patch;  // on the image before the scrub
  int expected = 0;
  std::function<void(Volume&, ScrubRun&)> check;  // after the scrub
  bool tskOracle = true;                          // the byte-range oracle applies
  int64_t shortenBy = 0;                          // volume device this many bytes shorter
  std::vector<uint64_t> badSectors;               // reads touching them fail (volume sectors)
  std::function<void(Volume&, std::vector<uint64_t>&)> pickBad;
  bool failWrites = false;
  uint64_t diskStartOverride = 0;
  bool cancelAfterFirstWrite = false;
  bool vanishAfterFirstWrite = false;  // the volume device goes (ENXIO) after the first write
  bool lenientDevice = false;
  // Faults of the disk the target-start check reads (disk sectors).
  std::function<void(Volume&, testutil::FaultPlan&)> diskFault;
};

// The scrub saw a failed read and wrote nothing after it.
void ExpectNoWriteAfterAFailedRead(Volume&, ScrubRun& run) {
  bool failed = false;
  for (const auto& e : run.events) {
    if (e.kind == 'f') failed = true;
    if (failed) {
      EXPECT_NE(e.kind, 'w') << "write at " << e.first << " after a failed read";
    }
  }
  EXPECT_TRUE(failed);
}

void PrintTo(const HardCase& c, std::ostream* os) {
  *os << c.what;
}

// One row per case: the volume, its patch, the code expected and the checks after the scrub.
std::vector<HardCase> HardCases() {
  std::vector<HardCase> rows;
  {
    HardCase r;
    r.name = "DeletedFileOnALiveFilesCluster";
    r.what = "deleted file whose cluster now belongs to a live file";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kDone;
    auto saved = std::make_shared<std::vector<uint8_t>>();
    r.patch = [saved](Volume& v) {
      v.SetCluster(v.EntryOffset("_mall4.bin"), v.ClusterOf("small1.bin"));
      *saved = v.ClusterBytes(v.ClusterOf("small1.bin"));
    };
    r.check = [saved](Volume& v, ScrubRun& run) {
      EXPECT_EQ(v.ClusterBytes(v.ClusterOf("small1.bin")), *saved);
      EXPECT_TRUE(IsTemplate(v.Entry("_mall4.bin")));
      EXPECT_GE(run.counters.clustersInUseSkipped, 1u);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "DeletedFolderOnALiveFoldersCluster";
    r.what = "deleted directory whose cluster now holds a live directory with files";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kDone;
    auto saved = std::make_shared<std::vector<uint8_t>>();
    r.patch = [saved](Volume& v) {
      v.SetCluster(v.EntryOffset("Gone"), v.ClusterOf("Sub Folder"));
      *saved = v.ClusterBytes(v.ClusterOf("Sub Folder"));
    };
    r.check = [saved](Volume& v, ScrubRun& run) {
      const std::vector<uint8_t> now = v.ClusterBytes(v.ClusterOf("Sub Folder"));
      for (size_t off = 0; off < now.size(); off += 32) {
        if ((*saved)[off] == 0xE5) continue;  // its own deleted entries are scrubbed
        EXPECT_TRUE(std::equal(now.begin() + off, now.begin() + off + 32, saved->begin() + off)) << off;
      }
      EXPECT_TRUE(IsTemplate(v.Entry("Gone")));
      EXPECT_EQ(run.counters.deletedDirectoriesWalked, 0u);
    };
    r.tskOracle = false;  // sleuthkit now takes the live folder for a deleted one
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "Fat32HighClusterWordZeroed";
    r.what = "FAT32 deleted entry with its high cluster word zeroed names a live cluster";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kDone;
    auto saved = std::make_shared<std::vector<uint8_t>>();
    r.patch = [saved](Volume& v) {
      const uint32_t live = v.ClusterOf("Later/after.txt");
      v.SetCluster(v.EntryOffset("Sub Folder/Deleted long name file.bin"), live & 0xFFFF);
      *saved = v.ClusterBytes(live);
    };
    r.check = [saved](Volume& v, ScrubRun&) {
      EXPECT_EQ(v.ClusterBytes(v.ClusterOf("Later/after.txt")), *saved);
      EXPECT_TRUE(IsTemplate(v.Entry("Sub Folder/Deleted long name file.bin")));
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "StaleEntryAfterTheRootsEndMarker";
    r.what = "stale deleted entry after the FAT16 root's end marker";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kDone;
    auto state = std::make_shared<std::pair<uint64_t, uint32_t>>();
    auto saved = std::make_shared<std::vector<uint8_t>>();
    r.patch = [state, saved](Volume& v) {
      uint64_t end = 0;
      for (uint64_t s = v.l.rootFirst; s <= v.l.rootLast && end == 0; ++s) {
        const uint64_t at = v.t.offset + s * 512;
        const std::vector<uint8_t> b = ReadBytes(v.t.image, at, 512);
        for (size_t off = 0; off < 512; off += 32)
          if (b[off] == 0) {
            end = at + off;
            break;
          }
      }
      ASSERT_NE(end, 0u);
      std::vector<uint8_t> stale = v.Entry("Gone/a long gone name.bin");
      const uint32_t second = v.ClusterOf("Gone/a long gone name.bin") + 1;  // free, holds data
      WriteBytes(v.t.image, end + 32, stale.data(), 32);
      v.SetCluster(end + 32, second);
      *state = {end + 32, second};
      *saved = v.ClusterBytes(second);
      ASSERT_FALSE(std::all_of(saved->begin(), saved->end(), [](uint8_t b) { return b == 0; }));
    };
    r.check = [state, saved](Volume& v, ScrubRun&) {
      EXPECT_EQ(ReadBytes(v.t.image, state->first, 32)[0], 0xE5);
      EXPECT_FALSE(IsTemplate(ReadBytes(v.t.image, state->first, 32)));
      EXPECT_EQ(v.ClusterBytes(state->second), *saved);
    };
    r.tskOracle = false;  // sleuthkit reads past the end marker
    rows.push_back(r);
  }
  {
    // A FAT32 driver that grows the root late leaves file clusters between
    // the root's clusters; sleuthkit's root range spans them. Their data
    // holds 0xE5 at entry boundaries: none of it is a directory entry.
    HardCase r;
    r.name = "Fat32RootChainOverFileData";
    r.what = "FAT32 root chain running past file clusters whose data has 0xE5 at entry boundaries";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kDone;
    struct State {
      uint64_t liveSector = 0, freedSector = 0, farSlot = 0, firstFill = 0, lastFill = 0;
    };
    auto state = std::make_shared<State>();
    r.patch = [state](Volume& v) {
      const std::vector<uint8_t> boot = ReadBytes(v.t.image, v.t.offset, 512);
      const uint32_t root = ReadLE32(boot.data() + 44);
      const uint64_t fatBytes = uint64_t{ReadLE32(boot.data() + 36)} * 512;
      const uint64_t fat0 = v.t.offset + v.l.fatStart * 512;
      auto setFat = [&](uint32_t cluster, uint32_t value) {
        const uint8_t le[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                               static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        WriteBytes(v.t.image, fat0 + cluster * 4, le, 4);
        WriteBytes(v.t.image, fat0 + fatBytes + cluster * 4, le, 4);
      };
      // Fill the root's first cluster with deleted entries that name no
      // cluster, and let the root go on in a free cluster far behind.
      const uint64_t end = v.EndMarker(root);
      ASSERT_NE(end, 0u);
      uint8_t deleted[32] = {};
      std::memcpy(deleted, "\xE5ILLER  BIN", 11);
      deleted[11] = 0x20;
      const uint64_t rootEnd = v.ClusterOffset(root) + 512;
      for (uint64_t at = end; at < rootEnd; at += 32) WriteBytes(v.t.image, at, deleted, 32);
      uint32_t far = 1000;
      while (ReadLE32(ReadBytes(v.t.image, fat0 + far * 4, 4).data()) != 0) ++far;
      std::vector<uint8_t> farSector(512, 0);
      std::memcpy(farSector.data(), deleted, 32);
      farSector[1] = 'F';
      WriteBytes(v.t.image, v.ClusterOffset(far), farSector.data(), farSector.size());
      setFat(root, far);
      setFat(far, 0x0FFFFFFF);
      // 0xE5 at entry boundaries in the first sectors of a live file and of
      // a deleted file whose cluster is free (both inside the root's span).
      const uint8_t e5 = 0xE5;
      const uint32_t live = v.ClusterOf("small1.bin"), freed = v.ClusterOf("_mall4.bin");
      ASSERT_TRUE(root < live && live < far && root < freed && freed < far);
      WriteBytes(v.t.image, v.ClusterOffset(live) + 128, &e5, 1);
      WriteBytes(v.t.image, v.ClusterOffset(freed) + 448, &e5, 1);
      *state = {v.ClusterOffset(live), v.ClusterOffset(freed), v.ClusterOffset(far), end, rootEnd - 32};
      // The oracle keeps to the root's chain: the live file's data is not
      // its to give away; the freed file's first sector is, as a whole.
      const Oracle oracle = BuildOracle(v.t);
      for (uint64_t b = 0; b < 512; ++b) {
        ASSERT_FALSE(oracle.IsAllowed(state->liveSector + b)) << b;
        ASSERT_TRUE(oracle.IsAllowed(state->freedSector + b)) << b;
      }
      ASSERT_TRUE(oracle.IsAllowed(state->farSlot));
      ASSERT_FALSE(oracle.IsAllowed(state->farSlot + 32));
    };
    r.check = [state](Volume& v, ScrubRun&) {
      EXPECT_TRUE(IsTemplate(ReadBytes(v.t.image, state->firstFill, 32)));
      EXPECT_TRUE(IsTemplate(ReadBytes(v.t.image, state->lastFill, 32)));
      EXPECT_TRUE(IsTemplate(ReadBytes(v.t.image, state->farSlot, 32)));
      EXPECT_EQ(ReadBytes(v.t.image, state->liveSector + 128, 1)[0], 0xE5);
      const std::vector<uint8_t> freed = ReadBytes(v.t.image, state->freedSector, 512);
      EXPECT_TRUE(std::all_of(freed.begin(), freed.end(), [](uint8_t b) { return b == 0; }));
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "EntriesPointingAtTheirAncestors";
    r.what = "directory entries pointing at their own ancestors";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kDone;
    auto state = std::make_shared<uint64_t>();
    r.patch = [state](Volume& v) {
      const uint64_t end = v.EndMarker(v.ClusterOf("Sub Folder/Deeper"));
      ASSERT_NE(end, 0u);
      uint8_t loop[64] = {};
      std::memcpy(loop, "LOOP       ", 11);
      loop[11] = 0x10;
      std::memcpy(loop + 32, "\xE5OOP2      ", 11);
      loop[43] = 0x10;
      WriteBytes(v.t.image, end, loop, 64);
      v.SetCluster(end, v.ClusterOf("Sub Folder"));
      v.SetCluster(end + 32, v.ClusterOf("Sub Folder/Deeper"));
      *state = end;
    };
    r.check = [state](Volume& v, ScrubRun& run) {
      const std::vector<uint8_t> loop = ReadBytes(v.t.image, *state, 64);
      EXPECT_EQ(std::memcmp(loop.data(), "LOOP       ", 11), 0);
      EXPECT_TRUE(IsTemplate(std::vector<uint8_t>(loop.begin() + 32, loop.end())));
      EXPECT_EQ(run.counters.directoriesWalked, 4u);  // root, Sub Folder, Deeper, Later
      EXPECT_GE(run.counters.clustersInUseSkipped, 1u);
    };
    r.tskOracle = false;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "DeletedEntryOnAFreedClusterOfALiveChain";
    r.what = "deleted entry naming a cluster a live chain runs into, marked free";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kDone;
    auto state = std::make_shared<std::pair<uint32_t, std::vector<uint8_t>>>();
    r.patch = [state](Volume& v) {
      // small1.bin spans several clusters; its second one is marked free.
      const uint32_t second = v.ClusterOf("small1.bin") + 1;
      const uint8_t free16[2] = {0, 0};
      WriteBytes(v.t.image, v.t.offset + v.l.fatStart * 512 + second * 2, free16, 2);
      v.SetCluster(v.EntryOffset("_mall4.bin"), second);
      *state = {second, v.ClusterBytes(second)};
    };
    r.check = [state](Volume& v, ScrubRun&) {
      EXPECT_EQ(v.ClusterBytes(state->first), state->second);
      EXPECT_TRUE(IsTemplate(v.Entry("_mall4.bin")));
    };
    r.tskOracle = false;  // sleuthkit takes the FAT's word
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "LiveEntryInsideADeletedFolder";
    r.what = "entry inside a deleted folder that was never marked deleted";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kDone;
    auto cluster = std::make_shared<uint32_t>();
    r.patch = [cluster](Volume& v) {
      const uint8_t live = 'X';
      WriteBytes(v.t.image, v.EntryOffset("Gone/Inner/_.bin"), &live, 1);
      *cluster = v.ClusterOf("Gone/Inner/_.bin");
    };
    r.check = [cluster](Volume& v, ScrubRun&) {
      EXPECT_TRUE(IsTemplate(v.Entry("Gone/Inner/_.bin")));
      const std::vector<uint8_t> first = v.ClusterBytes(*cluster);
      EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](uint8_t b) { return b == 0; }));
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "BootSectorLargerThanItsPartition";
    r.what = "boot sector claiming more sectors than its partition";
    r.volume = {"fat16", 512, true};
    r.expected = fatscrub::kBadGeometry;
    r.shortenBy = 64 * 512;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "FatMarkedDirty";
    r.what = "FAT marked dirty";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kNotClean;
    r.patch = [](Volume& v) {
      const uint8_t dirty[2] = {0xFF, 0x7F};
      WriteBytes(v.t.image, v.t.offset + v.l.fatStart * 512 + 2, dirty, 2);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "BootSectorMarkedDirty";
    r.what = "boot sector marked dirty";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kNotClean;
    r.patch = [](Volume& v) {
      uint8_t state = ReadBytes(v.t.image, v.t.offset + 65, 1)[0] | 1;
      WriteBytes(v.t.image, v.t.offset + 65, &state, 1);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "ReadFailureOnADirectoryCluster";
    r.what = "read failure on a directory cluster";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kReadFailed;
    r.pickBad = [](Volume& v, std::vector<uint64_t>& bad) {
      bad.push_back(v.l.clusterArea + v.ClusterOf("Sub Folder/Deeper") - 2);
    };
    r.check = ExpectNoWriteAfterAFailedRead;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "ReadFailureOnADirectoryReadAhead";
    r.what = "read failure on a directory read ahead together with the one before it (4 KiB clusters)";
    r.volume = {"fat32_4k", 4096, false};
    r.expected = fatscrub::kReadFailed;
    r.pickBad = [](Volume& v, std::vector<uint64_t>& bad) {
      bad.push_back(v.l.clusterArea + v.ClusterOf("Later") - 2);
    };
    r.check = ExpectNoWriteAfterAFailedRead;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "ReadFailureInTheFAT";
    r.what = "read failure inside the FAT while it is loaded";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kNotClean;
    r.pickBad = [](Volume& v, std::vector<uint64_t>& bad) { bad.push_back(v.l.fatStart + 1); };
    r.check = ExpectNoWriteAfterAFailedRead;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "ReadFailureOfAClusterToZero";
    r.what = "read failure of a deleted file's free cluster before its first sector is zeroed";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kReadFailed;
    r.pickBad = [](Volume& v, std::vector<uint64_t>& bad) {
      bad.push_back(v.l.clusterArea + v.ClusterOf("_mall4.bin") - 2);
    };
    r.check = [](Volume& v, ScrubRun& run) {
      ExpectNoWriteAfterAFailedRead(v, run);
      EXPECT_GT(run.counters.entriesReplaced, 0u);  // the directories were scrubbed before
      EXPECT_EQ(run.counters.sectorsZeroed, 0u);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "ReadFailureOfTheDisksBootSector";
    r.what = "read failure of the disk sector at the target start (identity check)";
    r.volume = {"fat16", 512, true};
    r.expected = fatscrub::kWrongTarget;
    r.diskFault = [](Volume& v, testutil::FaultPlan& disk) { disk.SetBadSector(v.t.diskStart); };
    r.check = ExpectNoWriteAfterAFailedRead;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "DeviceVanishesAfterTheFirstWrite";
    r.what = "volume device gone (ENXIO) after the first write";
    r.volume = {"fat16", 512, true};
    r.expected = fatscrub::kReadFailed;
    r.vanishAfterFirstWrite = true;
    r.check = [](Volume& v, ScrubRun& run) {
      ExpectNoWriteAfterAFailedRead(v, run);
      EXPECT_GT(run.counters.sectorsWritten, 0u);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "EveryWriteFails";
    r.what = "every write fails";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kWriteFailed;
    r.failWrites = true;
    r.check = [](Volume&, ScrubRun& run) {
      EXPECT_GT(run.counters.writesFailed, 0u);
      EXPECT_EQ(run.counters.sectorsWritten, 0u);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "TargetStartOfAnotherPartition";
    r.what = "target start naming another partition";
    r.volume = {"fat16", 512, true};
    r.expected = fatscrub::kWrongTarget;
    r.diskStartOverride = 2048;
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "CancelAfterTheFirstWrite";
    r.what = "cancel after the first write";
    r.volume = {"fat32", 512, false};
    r.expected = fatscrub::kCancelled;
    r.cancelAfterFirstWrite = true;
    r.check = [](Volume&, ScrubRun& run) {
      size_t writes = 0;
      for (const auto& e : run.events) writes += e.kind == 'w';
      EXPECT_EQ(writes, 1u);
    };
    rows.push_back(r);
  }
  {
    HardCase r;
    r.name = "DeviceThatAnswersFailedReadsWithZeros";
    r.what = "volume device that answers failed reads with zeros";
    r.volume = {"fat16", 512, false};
    r.expected = fatscrub::kUnsupportedDevice;
    r.lenientDevice = true;
    rows.push_back(r);
  }
  return rows;
}

// Each row is a test of its own, so that one failing row hides none of the others.
class FatScrubHardCase : public FatScrubFixture, public ::testing::WithParamInterface<HardCase> {};

TEST_P(FatScrubHardCase, ScrubsOrRefuses) {
  const HardCase& row = GetParam();
  SCOPED_TRACE(row.what);
  Volume v;
  v.t = Prepare(row.volume, "hard.img");
  v.l = LayoutOf(v.t);
  v.fat32 = std::string(row.volume.volume).find("fat32") == 0;
  for (const Listed& l : ListAll(v.t, false)) v.inodes[l.path] = l.inode;
  if (row.patch) row.patch(v);
  if (HasFatalFailure()) return;
  const std::string before = m_work->file("hard.before");
  Tool({"cp", "--sparse=always", v.t.image, before});
  Oracle oracle;
  const bool ran = fatscrub::ScrubRan(row.expected);
  if (ran && row.tskOracle) oracle = BuildOracle(v.t);

  ScrubRun run;
  std::atomic<int> stop{0};
  scrubtest::WriterPlan plan;
  plan.imagePath = v.t.image;
  plan.failWrites = row.failWrites;
  plan.events = &run.events;
  if (row.cancelAfterFirstWrite) plan.afterWrite = [&stop] { stop = 1; };
  auto faults = std::make_shared<testutil::FaultPlan>();
  if (row.vanishAfterFirstWrite) plan.afterWrite = [faults] { faults->SetVanished(true); };
  {
    scrubtest::WriterInstall install(&plan);
    CVolumeDevice volume(v.t.image, v.t.offset, v.t.length - static_cast<uint64_t>(row.shortenBy),
                         row.volume.sectorSize, !row.lenientDevice);
    std::vector<uint64_t> bad = row.badSectors;
    if (row.pickBad) row.pickBad(v, bad);
    for (uint64_t s : bad) faults->SetBadSector(s);
    testutil::FaultInjectingDevice faulty(&volume, faults);
    scrubtest::RecordingDevice recorded(&faulty, &run.events);
    const uint64_t start = row.diskStartOverride ? row.diskStartOverride : v.t.diskStart;
    // A device that hides the volume behind wrappers cannot be judged;
    // the lenient one is given as it is.
    IStorageDevice* given = row.lenientDevice ? static_cast<IStorageDevice*>(&volume) : &recorded;
    if (row.diskFault) {
      // The disk the identity check reads, through the fault plan.
      CDiskDevice disk(0, true);
      ASSERT_TRUE(disk.Open());
      auto diskFaults = std::make_shared<testutil::FaultPlan>();
      row.diskFault(v, *diskFaults);
      testutil::FaultInjectingDevice faultyDisk(&disk, diskFaults);
      scrubtest::RecordingDevice recordedDisk(&faultyDisk, &run.events);
      CFATQuickScrub scrub;
      scrub.SetOptions(0, start);
      scrub.SetStopFlag(&stop);
      scrub.SetDiskDevice(&recordedDisk);
      run.code = scrub.QuickSearchFiles(given);
      run.counters = scrub.GetCounters();
    } else {
      run.code = ScrubFATVolume(given, 0, start, &stop, &run.counters);
    }
    run.writerOpened = plan.opened;
  }
  EXPECT_EQ(run.code, row.expected) << std::hex << run.code;
  uint64_t changed = 0;
  if (!ran) {
    EXPECT_EQ(ChangesOutside(Oracle(), before, v.t.image, &changed), "");
    EXPECT_EQ(changed, 0u);
    for (const auto& e : run.events) EXPECT_NE(e.kind, 'w');
  } else if (row.tskOracle) {
    EXPECT_EQ(ChangesOutside(oracle, before, v.t.image, &changed), "");
  }
  if (row.check) row.check(v, run);
}

INSTANTIATE_TEST_SUITE_P(Rows, FatScrubHardCase, ::testing::ValuesIn(HardCases()),
                         [](const ::testing::TestParamInfo<HardCase>& info) { return std::string(info.param.name); });

}  // namespace
