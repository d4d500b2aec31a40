// The file content reader on volumes made by mkfs.fat and mtools and by
// mkntfs and ntfs-3g, against sleuthkit: the runs come from istat's block
// lists, the expected bytes from icat.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../ntfs/SleuthkitIstat.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "ImageFileDevice.h"
#include "TestUtil.h"

namespace {

std::string Fixtures() {
  std::string error;
  const std::string dir = testutil::SharedFixture("make-reader-images.sh", {}, "", error);
  if (dir.empty()) ADD_FAILURE() << error;
  return dir;
}

// The address fls gives a name in the root folder ("4" or "64-128-2").
std::string AddressOf(const std::string& image, const std::string& name) {
  std::istringstream in(testutil::Run({"fls", image}).output);
  std::string line;
  const std::regex re("^r/r ([0-9-]+):\\t(.*)$");
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_match(line, m, re) && m[2] == name) return m[1];
  }
  return std::string();
}

uint64_t FsstatNumber(const std::string& text, const std::string& pattern) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(pattern)) ? std::stoull(m[1]) : 0;
}

// Clusters in file order, kSparseStart for a hole, merged into runs.
std::vector<DataRun> Runs(const std::vector<uint64_t>& clusters) {
  std::vector<DataRun> runs;
  for (uint64_t c : clusters) {
    if (!runs.empty()) {
      DataRun& last = runs.back();
      const bool continues = last.IsSparse() ? c == DataRun::kSparseStart : c == last.start + last.length;
      if (continues) {
        ++last.length;
        continue;
      }
    }
    runs.push_back({c, 1});
  }
  return runs;
}

struct Volume {
  uint64_t partitionStart = 0;  // the sector of cluster 0
  int sectorsPerCluster = 0;
  int64_t size = 0;
  std::vector<DataRun> runs;
};

// FAT: istat lists the file's sectors; clusters count from 2 at the start of
// the cluster area.
bool FatFile(const std::string& image, const std::string& address, Volume& v) {
  const std::string fs = testutil::Run({"fsstat", image}).output;
  const uint64_t area = FsstatNumber(fs, "Cluster Area: ([0-9]+) -");
  const uint64_t sector = FsstatNumber(fs, "Sector Size: ([0-9]+)");
  const uint64_t cluster = FsstatNumber(fs, "Cluster Size: ([0-9]+)");
  if (!area || !sector || !cluster) return false;
  v.sectorsPerCluster = static_cast<int>(cluster / sector);
  v.partitionStart = area - 2 * static_cast<uint64_t>(v.sectorsPerCluster);
  const std::string text = testutil::Run({"istat", image, address}).output;
  v.size = static_cast<int64_t>(FsstatNumber(text, "\nSize: ([0-9]+)"));
  const size_t at = text.find("\nSectors:\n");
  if (at == std::string::npos) return false;
  std::istringstream in(text.substr(at + 10));
  std::vector<uint64_t> clusters;
  uint64_t s;
  while (in >> s) {
    if (s == 0) continue;  // istat pads its last line with zeros
    const uint64_t c = (s - area) / static_cast<uint64_t>(v.sectorsPerCluster) + 2;
    if (clusters.empty() || clusters.back() != c) clusters.push_back(c);
  }
  v.runs = Runs(clusters);
  return true;
}

// NTFS: istat lists the clusters of the unnamed $DATA, 0 for a hole.
bool NtfsFile(const std::string& image, const std::string& address, Volume& v) {
  const std::string fs = testutil::Run({"fsstat", image}).output;
  const uint64_t sector = FsstatNumber(fs, "Sector Size: ([0-9]+)");
  const uint64_t cluster = FsstatNumber(fs, "Cluster Size: ([0-9]+)");
  ntfstest::IstatData data;
  if (!sector || !cluster || !ntfstest::ParseIstat(testutil::Run({"istat", image, address}).output, data) ||
      !data.nonResident)
    return false;
  v.sectorsPerCluster = static_cast<int>(cluster / sector);
  v.size = static_cast<int64_t>(data.size);
  for (uint64_t& c : data.clusters)
    if (c == 0) c = DataRun::kSparseStart;
  v.runs = Runs(data.clusters);
  return true;
}

std::unique_ptr<CFileNode> Node(const Volume& v) {
  auto node = std::make_unique<CFileNode>();
  CFATFileProperties* p = CreateFATFileProperties();
  p->SetFileSize(v.size);
  auto* list = new CFATDataRunList;
  for (const DataRun& r : v.runs) list->AppendMerged(r);
  p->SetDataRunList(list);
  node->SetProperties(p);
  return node;
}

struct Case {
  const char* image;
  const char* name;
  bool ntfs;
  bool sparse;  // the file has a hole
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.image << " " << c.name;
}

class FileDataReaderImage : public ::testing::TestWithParam<Case> {};

TEST_P(FileDataReaderImage, ChunkedReadsEqualIcat) {
  const Case c = GetParam();
  VT_REQUIRE_TOOL("icat");
  VT_REQUIRE_TOOL("mcopy");
  if (c.ntfs) {
    VT_REQUIRE_ROOT();
    VT_REQUIRE_TOOL("mkntfs");
    VT_REQUIRE_TOOL("ntfs-3g");
    if (!testutil::HaveFuse()) GTEST_SKIP() << "needs /dev/fuse (runs in CI)";
  }
  const std::string dir = Fixtures();
  ASSERT_FALSE(dir.empty());
  const std::string image = dir + "/" + c.image;
  const std::string address = AddressOf(image, c.name);
  ASSERT_FALSE(address.empty()) << c.name;
  Volume v;
  ASSERT_TRUE(c.ntfs ? NtfsFile(image, address, v) : FatFile(image, address, v)) << c.name;
  const std::string want = testutil::Run({"icat", image, address}).output;
  ASSERT_EQ(want.size(), static_cast<size_t>(v.size)) << c.name;
  // The file is what the test is about: in pieces, with a hole when asked.
  const auto dataRuns = std::count_if(v.runs.begin(), v.runs.end(), [](const DataRun& r) { return !r.IsSparse(); });
  EXPECT_GE(dataRuns, 3) << c.name;
  EXPECT_EQ(std::any_of(v.runs.begin(), v.runs.end(), [](const DataRun& r) { return r.IsSparse(); }), c.sparse);

  ImageFileDevice device(image, 512);
  auto node = Node(v);
  CFileDataReader reader;
  ASSERT_TRUE(reader.OpenAt(&device, node.get(), v.partitionStart, v.sectorsPerCluster));
  for (uint32_t chunk : {777u, 4097u, 65539u, 333333u}) {
    std::string got;
    std::vector<char> buf(chunk);
    uint32_t n = 0;
    while (reader.Read(got.size(), buf.data(), chunk, n) && n > 0) got.append(buf.data(), n);
    EXPECT_TRUE(got == want) << c.name << " in chunks of " << chunk << ": " << got.size() << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, FileDataReaderImage,
                         ::testing::Values(Case{"fat32.img", "frag.bin", false, false},
                                           Case{"ntfs.img", "frag.bin", true, false},
                                           Case{"ntfs.img", "sparse.bin", true, true}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.ntfs ? "Ntfs" : "Fat32") +
                                  (info.param.sparse ? "Sparse" : "Fragmented");
                         });

}  // namespace
