// The FAT scrub on volumes made by mkfs.fat and filled by mtools, judged by
// independent readers: fsck.fat finds nothing, every live file reads back
// identical through mtools, sleuthkit lists none of the deleted names, and a
// byte comparison of the whole image shows changes only in deleted entries of
// directory clusters (as sleuthkit places them) and in the first sector of
// free clusters that deleted entries named.
#include <gtest/gtest.h>

#include <fcntl.h>
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

#include "CFATQuickScrub.h"
#include "CVolumeDevice.h"
#include "FATScrubCodes.h"
#include "FaultInjectingDevice.h"
#include "FatBytes.h"
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

// What sleuthkit says of the volume before the scrub, turned into the byte
// ranges (of the image file) that the scrub may change.
struct Oracle {
  std::set<std::string> deletedNames;
  std::map<uint64_t, uint64_t> allowed;  // start -> end, image bytes

  void Allow(uint64_t start, uint64_t length) {
    auto& end = allowed[start];
    end = std::max(end, start + length);
  }
  bool IsAllowed(uint64_t offset) const {
    auto it = allowed.upper_bound(offset);
    if (it == allowed.begin()) return false;
    --it;
    return offset < it->second;
  }
};

Oracle BuildOracle(const Target& t) {
  Oracle o;
  const std::string fsstat = Tool(t.Tsk("fsstat", {t.image}));
  std::smatch m;
  const uint64_t ss = static_cast<uint64_t>(t.sectorSize);
  // Directory sectors: the FAT16 root range, every listed directory's
  // sectors (deleted ones included), the FAT32 root (inode 2).
  std::vector<std::pair<std::vector<uint64_t>, bool>> dirs;  // sectors, deleted
  if (std::regex_search(fsstat, m, std::regex(R"(Root Directory: (\d+) - (\d+))"))) {
    std::vector<uint64_t> root;
    for (uint64_t s = std::stoull(m[1]); s <= std::stoull(m[2]); ++s) root.push_back(s);
    dirs.push_back({root, false});
  } else {
    dirs.push_back({SectorsOf(t, 2), false});
  }
  for (const Listed& l : ListAll(t, false)) {
    if (l.directory) dirs.push_back({SectorsOf(t, l.inode), l.deleted});
  }
  // Deleted slots (first byte 0xE5) of directory sectors; in a deleted
  // directory every slot but "." and "..".
  for (const auto& dir : dirs) {
    for (size_t i = 0; i < dir.first.size(); ++i) {
      const uint64_t at = t.offset + dir.first[i] * ss;
      const std::vector<uint8_t> bytes = ReadBytes(t.image, at, ss);
      for (uint64_t off = 0; off + 32 <= ss; off += 32) {
        const bool dots = dir.second && i == 0 && off < 64;
        if ((dir.second && !dots && bytes[off] != 0) || bytes[off] == 0xE5) o.Allow(at + off, 32);
      }
    }
  }
  // The first sector of a free cluster that a deleted file names.
  for (const Listed& l : ListAll(t, true)) {
    o.deletedNames.insert(BaseName(l.path));
    if (l.directory) continue;
    const std::vector<uint64_t> sectors = SectorsOf(t, l.inode);
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

class FatScrubImages : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"mkfs.fat", "mcopy", "fls", "sfdisk", "fsck.fat", "diff"})
      if (!testutil::HaveTool(tool)) return;
    s_dir = new testutil::TempDir("fatscrub");
    auto r = testutil::Run({"bash", testutil::SourceDir() + "/tests/fixtures/make_fat_scrub_images.sh", s_dir->path()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }
  void SetUp() override {
    if (s_dir == nullptr) GTEST_SKIP() << "needs mkfs.fat, mtools, sleuthkit, sfdisk, fsck.fat";
    setenv("MTOOLS_SKIP_CHECK", "1", 1);
    m_work = std::make_unique<testutil::TempDir>("fatscrubrun");
  }

  // A fresh copy of the fixture of `c` and where its volume lies.
  Target Prepare(const Case& c, const std::string& copyName) {
    const std::string fixture = s_dir->file(std::string(c.partition ? "disk_" : "") + c.volume + ".img");
    Target t;
    t.image = m_work->file(copyName);
    Tool({"cp", "--sparse=always", fixture, t.image});
    t.sectorSize = c.sectorSize;
    t.length = FileSize(s_dir->file(std::string(c.volume) + ".img"));
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

  static testutil::TempDir* s_dir;
  std::unique_ptr<testutil::TempDir> m_work;
};

testutil::TempDir* FatScrubImages::s_dir = nullptr;

TEST_P(FatScrubImages, StandingOracle) {
  const Case c = GetParam();
  const Target t = Prepare(c, "work.img");
  const std::string original = m_work->file("original.img");
  Tool({"cp", "--sparse=always", t.image, original});
  const Oracle oracle = BuildOracle(t);
  ASSERT_GE(oracle.deletedNames.size(), 6u);
  const std::string liveBefore = LiveFiles(t, "before");

  scrubtest::WriterPlan plan;
  plan.imagePath = t.image;
  scrubtest::WriterInstall install(&plan);
  CVolumeDevice volume(t.image, t.offset, t.length, c.sectorSize, true);
  FATWipeCounters counters;
  ASSERT_EQ(ScrubFATVolume(&volume, 0, t.diskStart, nullptr, &counters), fatscrub::kDone);
  EXPECT_EQ(plan.opened, 1);
  EXPECT_GE(counters.entriesReplaced, 10u);
  EXPECT_GE(counters.sectorsZeroed, 3u);
  EXPECT_GE(counters.deletedDirectoriesWalked, 2u);
  EXPECT_GE(counters.clustersInUseSkipped, 1u);  // a deleted file's cluster went to "Later"
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
  plan.events = nullptr;
  std::vector<scrubtest::Event> events;
  plan.events = &events;
  EXPECT_EQ(ScrubFATVolume(&volume, 0, t.diskStart, nullptr, &counters), fatscrub::kDone);
  EXPECT_TRUE(events.empty()) << events.size() << " writes on the second run";
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatScrubImages,
                         ::testing::Values(Case{"fat16", 512, false}, Case{"fat32", 512, false},
                                           Case{"fat16_4k", 4096, false}, Case{"fat32_4k", 4096, false},
                                           Case{"fat16", 512, true}, Case{"fat32", 512, true},
                                           Case{"fat16_4k", 4096, true}, Case{"fat32_4k", 4096, true}),
                         CaseName);

}  // namespace
