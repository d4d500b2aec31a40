// The MFT scrub on NTFS volumes made by mkntfs with files created and
// deleted through ntfs-3g, and on volumes made by Windows. The oracle is
// independent of our readers: sleuthkit's istat gives the clusters of $MFT
// and ils the records it holds unallocated; every byte that changed must lie
// at offset 48 or later of such a record. ntfsundelete and fls must no
// longer list a deleted name, ntfsfix must find the volume clean, and ntfs-3g
// must read every live file unchanged and write new ones.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CNTFSMFTWiper.h"
#include "CVolumeDevice.h"
#include "FaultInjectingDevice.h"
#include "IMountDriverWriter.h"
#include "ImageFileDevice.h"
#include "RawDisk.h"
#include "SleuthkitIstat.h"
#include "TestUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the tests' writers share with the test: counts, a failure switch and
// the fault flag of the device the wiper reads.
struct WriteLog {
  std::atomic<int> writes{0};
  std::atomic<int> failAfter{-1};  // writes beyond this many fail (-1: none fail)
  std::atomic<int> writesAfterFault{0};
  std::atomic<bool> faulted{false};
  std::atomic<int> opens{0};
};

// Writes whole 512-byte sectors into an image file at disk sector offsets,
// refusing (644) anything outside [first, end) as the real writer refuses
// writes outside the locked volume.
class ImageWriter : public IMountDriverWriter {
 public:
  ImageWriter(const std::string& path, uint64_t first, uint64_t end, std::shared_ptr<WriteLog> log)
      : m_first(first), m_end(end), m_log(std::move(log)) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  }
  ~ImageWriter() override {
    if (m_fd >= 0) ::close(m_fd);
  }
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    const int n = ++m_log->writes;
    if (m_log->faulted) ++m_log->writesAfterFault;
    if (m_log->failAfter >= 0 && n > m_log->failAfter) {
      m_error = 5;
      return 0;
    }
    if (!buffer || count == 0 || m_fd < 0) {
      m_error = 87;
      return 0;
    }
    if (first < m_first || first + count > m_end) {
      m_error = 644;
      return 0;
    }
    const size_t bytes = static_cast<size_t>(count * 512);
    size_t done = 0;
    while (done < bytes) {
      const ssize_t w = pwrite(m_fd, static_cast<const char*>(buffer) + done, bytes - done,
                               static_cast<off_t>(first * 512 + done));
      if (w <= 0) {
        m_error = static_cast<uint32_t>(errno);
        return done / 512;
      }
      done += static_cast<size_t>(w);
    }
    m_error = 0;
    return count;
  }
  uint32_t LastError() const override { return m_error; }
  int GetSectorSize() const override { return 512; }

 private:
  int m_fd = -1;
  uint64_t m_first, m_end;
  std::shared_ptr<WriteLog> m_log;
  uint32_t m_error = 0;
};

// Installs a writer for disk 0 over `image` (window in 512-byte sectors) and
// names the image as the only disk; both are undone on destruction.
class WriterScope {
 public:
  WriterScope(const std::string& image, uint64_t first, uint64_t end, std::shared_ptr<WriteLog> log) {
    setenv("VANTOREL_DISKS", image.c_str(), 1);
    m_old = SetMountDriverOpener([=](int disk, uint32_t* error) -> std::unique_ptr<IMountDriverWriter> {
      ++log->opens;
      if (disk != 0) {
        if (error) *error = 2;
        return nullptr;
      }
      return std::make_unique<ImageWriter>(image, first, end, log);
    });
  }
  ~WriterScope() {
    SetMountDriverOpener(m_old);
    unsetenv("VANTOREL_DISKS");
  }

 private:
  MountDriverOpener m_old;
};

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

std::vector<std::string> OffsetArgs(uint64_t offsetSectors) {
  if (!offsetSectors) return {};
  return {"-o", std::to_string(offsetSectors)};
}

// Where sleuthkit says the $MFT lies and which of its records are free.
struct SleuthkitMFT {
  uint64_t clusterBytes = 0;
  uint64_t recordSize = 0;
  std::map<uint64_t, uint64_t> vcnOfCluster;
  std::set<uint64_t> freeRecords;
};

SleuthkitMFT ReadSleuthkitMFT(const std::string& image, uint64_t offsetSectors) {
  SleuthkitMFT m;
  const std::vector<std::string> off = OffsetArgs(offsetSectors);
  std::vector<std::string> argv = {"fsstat"};
  argv.insert(argv.end(), off.begin(), off.end());
  argv.push_back(image);
  const std::string fsstat = testutil::Run(argv).output;
  std::smatch match;
  if (std::regex_search(fsstat, match, std::regex("Cluster Size: ([0-9]+)"))) m.clusterBytes = std::stoull(match[1]);
  if (std::regex_search(fsstat, match, std::regex("Size of MFT Entries: ([0-9]+)")))
    m.recordSize = std::stoull(match[1]);
  argv = {"istat"};
  argv.insert(argv.end(), off.begin(), off.end());
  argv.insert(argv.end(), {image, "0"});
  ntfstest::IstatData data;
  ntfstest::ParseIstat(testutil::Run(argv).output, data);
  for (size_t i = 0; i < data.clusters.size(); ++i) m.vcnOfCluster[data.clusters[i]] = i;
  argv = {"ils", "-e"};
  argv.insert(argv.end(), off.begin(), off.end());
  argv.push_back(image);
  std::istringstream ils(testutil::Run(argv).output);
  std::set<uint64_t> listed;
  for (std::string line; std::getline(ils, line);) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos || !isdigit(static_cast<unsigned char>(line[0]))) continue;
    const uint64_t record = std::stoull(line.substr(0, bar));
    listed.insert(record);
    if (line.compare(bar + 1, 2, "f|") == 0) m.freeRecords.insert(record);
  }
  // ils leaves out extension records; istat tells whether those are free.
  const uint64_t last = listed.empty() ? 0 : *listed.rbegin();
  for (uint64_t record = 0; record < last; ++record) {
    if (listed.count(record)) continue;
    argv = {"istat"};
    argv.insert(argv.end(), off.begin(), off.end());
    argv.insert(argv.end(), {image, std::to_string(record)});
    if (testutil::Run(argv).output.find("\nNot Allocated File") != std::string::npos) m.freeRecords.insert(record);
  }
  return m;
}

// Every changed byte lies at 48 or later in a record sleuthkit holds free.
// Returns the number of changed bytes.
uint64_t ExpectChangesOnlyInFreeRecords(const Bytes& before, const Bytes& after, const SleuthkitMFT& m,
                                        uint64_t volumeOffset) {
  EXPECT_EQ(before.size(), after.size());
  EXPECT_GT(m.clusterBytes, 0u);
  EXPECT_GT(m.recordSize, 0u);
  EXPECT_FALSE(m.vcnOfCluster.empty());
  if (before.size() != after.size() || !m.clusterBytes || !m.recordSize) return 0;
  uint64_t changed = 0;
  int reported = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    ++changed;
    bool allowed = false;
    uint64_t record = 0, within = 0;
    if (i >= volumeOffset) {
      const uint64_t v = i - volumeOffset;
      auto it = m.vcnOfCluster.find(v / m.clusterBytes);
      if (it != m.vcnOfCluster.end()) {
        const uint64_t mftByte = it->second * m.clusterBytes + v % m.clusterBytes;
        record = mftByte / m.recordSize;
        within = mftByte % m.recordSize;
        allowed = within >= 48 && m.freeRecords.count(record);
      }
    }
    if (!allowed && reported++ < 5)
      ADD_FAILURE() << "byte " << i << " changed outside a free record (record " << record << " offset " << within
                    << ")";
  }
  return changed;
}

std::set<std::string> DeletedNamesListed(const std::string& image, uint64_t offsetSectors,
                                         const std::vector<std::string>& deleted) {
  std::set<std::string> listed;
  const std::vector<std::string> off = OffsetArgs(offsetSectors);
  std::vector<std::string> fls = {"fls", "-r", "-d"};
  fls.insert(fls.end(), off.begin(), off.end());
  fls.push_back(image);
  std::string text = testutil::Run(fls).output;
  if (!offsetSectors) text += testutil::Run({"ntfsundelete", "-s", image}).output;
  std::set<std::string> tokens;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    std::string name = tab != std::string::npos ? line.substr(tab + 1) : line.substr(line.rfind(' ') + 1);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    tokens.insert(name);
  }
  for (const std::string& name : deleted)
    if (tokens.count(name)) listed.insert(name);
  return listed;
}

struct Geometry {
  int sector;
  int cluster;
  int sizeMiB;
};

std::string GeometryName(const ::testing::TestParamInfo<Geometry>& info) {
  return "s" + std::to_string(info.param.sector) + "c" + std::to_string(info.param.cluster);
}

// Makes the fixture volume once per geometry, in the build folder.
std::string MakeScrubImage(const Geometry& g) {
  const std::string dir = testutil::BuildDir() + "/tmp";
  mkdir(dir.c_str(), 0755);
  const std::string image =
      dir + "/scrub-" + std::to_string(g.sector) + "-" + std::to_string(g.cluster) + ".img";
  const std::string script = testutil::SourceDir() + "/tests/fixtures/make-ntfs-scrub-image.sh";
  const auto r = testutil::Run({"bash", script, image, std::to_string(g.sector), std::to_string(g.cluster),
                                std::to_string(g.sizeMiB)});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.exitCode == 0 ? image : std::string();
}

class MountPoint {
 public:
  MountPoint(const std::string& image, const std::string& dir, bool readOnly) : m_dir(dir) {
    mkdir(dir.c_str(), 0755);
    std::vector<std::string> argv = {"ntfs-3g"};
    if (readOnly) argv.insert(argv.end(), {"-o", "ro"});
    argv.insert(argv.end(), {image, dir});
    m_mounted = testutil::Run(argv).exitCode == 0;
  }
  ~MountPoint() {
    if (m_mounted) testutil::Run({"umount", m_dir});
    rmdir(m_dir.c_str());
  }
  bool ok() const { return m_mounted; }

 private:
  std::string m_dir;
  bool m_mounted = false;
};

class NTFSScrub : public ::testing::TestWithParam<Geometry> {};

TEST_P(NTFSScrub, ErasesOnlyFreeRecordsAndKeepsTheVolumeSound) {
  VT_REQUIRE_ROOT();
  for (const char* tool : {"mkntfs", "ntfs-3g", "fls", "ils", "istat", "ntfsundelete", "ntfsfix"}) VT_REQUIRE_TOOL(tool);
  const Geometry g = GetParam();
  const std::string fixture = MakeScrubImage(g);
  ASSERT_FALSE(fixture.empty());
  testutil::TempDir tmp("scrub");
  const std::string image = tmp.file("volume.img");
  const std::string original = tmp.file("original.img");
  ASSERT_EQ(testutil::Run({"cp", fixture, image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"cp", fixture, original}).exitCode, 0);
  const std::vector<std::string> deleted = Lines(fixture + ".deleted");
  const std::vector<std::string> live = Lines(fixture + ".live");
  ASSERT_GT(deleted.size(), 100u);
  ASSERT_FALSE(DeletedNamesListed(image, 0, deleted).empty()) << "the fixture shows no deleted names";
  const SleuthkitMFT oracle = ReadSleuthkitMFT(image, 0);
  ASSERT_GT(oracle.freeRecords.size(), 100u);
  const Bytes before = ReadAll(image);

  auto log = std::make_shared<WriteLog>();
  int rc;
  CNTFSMFTWiper wiper;
  {
    WriterScope scope(image, 0, before.size() / 512, log);
    ImageFileDevice volume(image, g.sector);
    rc = wiper.Wipe(&volume, 0, 0, nullptr);
  }
  ASSERT_EQ(rc, 0) << std::hex << rc;
  EXPECT_GT(wiper.GetStats().recordsScrubbed, 100u);
  EXPECT_EQ(static_cast<uint64_t>(log->writes), wiper.GetStats().writes);

  const Bytes after = ReadAll(image);
  EXPECT_GT(ExpectChangesOnlyInFreeRecords(before, after, oracle, 0), 0u);
  EXPECT_EQ(DeletedNamesListed(image, 0, deleted), std::set<std::string>());
  const auto fix = testutil::Run({"ntfsfix", "-n", image});
  EXPECT_EQ(fix.exitCode, 0) << fix.output;

  // A second scrub finds nothing left to change and writes nothing.
  {
    auto again = std::make_shared<WriteLog>();
    WriterScope scope(image, 0, before.size() / 512, again);
    ImageFileDevice volume(image, g.sector);
    CNTFSMFTWiper second;
    EXPECT_EQ(second.Wipe(&volume, 0, 0, nullptr), 0);
    EXPECT_EQ(again->writes.load(), 0);
  }

  // Every live file reads back as before, and the volume takes new files.
  MountPoint was(original, tmp.file("was"), true);
  MountPoint now(image, tmp.file("now"), false);
  ASSERT_TRUE(was.ok() && now.ok());
  for (const std::string& path : live) {
    const auto cmp = testutil::Run({"cmp", tmp.file("was/" + path), tmp.file("now/" + path)});
    EXPECT_EQ(cmp.exitCode, 0) << path << ": " << cmp.output;
  }
  const auto write = testutil::Shell("set -e; cd '" + tmp.file("now") +
                                     "'; mkdir fresh; for i in $(seq 200); do echo \"new file $i\" > fresh/n$i.txt; "
                                     "done; sync");
  ASSERT_EQ(write.exitCode, 0) << write.output;
  const auto remount =
      testutil::Shell("set -e; umount '" + tmp.file("now") + "'; ntfs-3g -o ro '" + image + "' '" + tmp.file("now") +
                      "'; for i in $(seq 200); do [ \"$(cat '" + tmp.file("now") + "'/fresh/n$i.txt)\" = \"new file $i\" ]; done");
  EXPECT_EQ(remount.exitCode, 0) << remount.output;
  const auto fix2 = testutil::Run({"ntfsfix", "-n", image});
  EXPECT_EQ(fix2.exitCode, 0) << fix2.output;
}

INSTANTIATE_TEST_SUITE_P(Geometries, NTFSScrub,
                         ::testing::Values(Geometry{512, 512, 16}, Geometry{512, 1024, 16}, Geometry{512, 4096, 32},
                                           Geometry{512, 65536, 64}, Geometry{4096, 4096, 32}),
                         GeometryName);

}  // namespace
