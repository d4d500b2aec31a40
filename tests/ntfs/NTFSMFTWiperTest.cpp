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

#include <algorithm>
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

#include "ByteOrder.h"
#include "CNTFSMFTWiper.h"
#include "CVolumeDevice.h"
#include "FaultInjectingDevice.h"
#include "IMountDriverWriter.h"
#include "ImageFileDevice.h"
#include "RawDisk.h"
#include "RealVolumes.h"
#include "RecordBuilder.h"
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
      const ssize_t w =
          pwrite(m_fd, static_cast<const char*>(buffer) + done, bytes - done, static_cast<off_t>(first * 512 + done));
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
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Bytes();
  Bytes out(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  out.resize(static_cast<size_t>(in.gcount()));
  return out;
}

// Whether the file at `b` exists and holds the bytes of the one at `a`.
::testing::AssertionResult SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0) return ::testing::AssertionFailure() << a << " is missing";
  if (stat(b.c_str(), &sb) != 0) return ::testing::AssertionFailure() << b << " is missing";
  if (ReadAll(a) != ReadAll(b)) return ::testing::AssertionFailure() << b << " differs from " << a;
  return ::testing::AssertionSuccess();
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
  std::set<uint64_t> freeRecords;  // unallocated as ils lists them
  std::set<uint64_t> listed;       // every record ils lists
  std::string image;
  uint64_t offsetSectors = 0;
  std::map<uint64_t, bool> asked;  // istat's answer for records ils leaves out

  // ils leaves out extension records; istat tells whether those are free.
  bool IsFree(uint64_t record) {
    if (listed.count(record)) return freeRecords.count(record) != 0;
    auto it = asked.find(record);
    if (it != asked.end()) return it->second;
    std::vector<std::string> argv = {"istat"};
    const std::vector<std::string> off = OffsetArgs(offsetSectors);
    argv.insert(argv.end(), off.begin(), off.end());
    argv.insert(argv.end(), {image, std::to_string(record)});
    const bool free = testutil::Run(argv).output.find("\nNot Allocated File") != std::string::npos;
    asked[record] = free;
    return free;
  }
};

SleuthkitMFT ReadSleuthkitMFT(const std::string& image, uint64_t offsetSectors) {
  SleuthkitMFT m;
  m.image = image;
  m.offsetSectors = offsetSectors;
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
  // istat may end the list with a 0 past the runs; cluster 0 is the boot sector.
  for (size_t i = 0; i < data.clusters.size(); ++i)
    if (data.clusters[i] != 0) m.vcnOfCluster[data.clusters[i]] = i;
  argv = {"ils", "-e"};
  argv.insert(argv.end(), off.begin(), off.end());
  argv.push_back(image);
  std::istringstream ils(testutil::Run(argv).output);
  for (std::string line; std::getline(ils, line);) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos || !isdigit(static_cast<unsigned char>(line[0]))) continue;
    const uint64_t record = std::stoull(line.substr(0, bar));
    m.listed.insert(record);
    if (line.compare(bar + 1, 2, "f|") == 0) m.freeRecords.insert(record);
  }
  return m;
}

// Every changed byte lies at 48 or later in a record sleuthkit holds free
// (42 or later in the records of the older layout given). Returns the
// number of changed bytes.
uint64_t ExpectChangesOnlyInFreeRecords(const Bytes& before, const Bytes& after, SleuthkitMFT& m, uint64_t volumeOffset,
                                        const std::set<uint64_t>& olderLayout = {}) {
  EXPECT_EQ(before.size(), after.size());
  EXPECT_GT(m.clusterBytes, 0u);
  EXPECT_GT(m.recordSize, 0u);
  EXPECT_FALSE(m.vcnOfCluster.empty());
  if (before.size() != after.size() || !m.clusterBytes || !m.recordSize) return 0;
  uint64_t changed = 0;
  int reported = 0;
  constexpr size_t kBlock = 4096;
  for (size_t block = 0; block < before.size(); block += kBlock) {
    const size_t end = std::min(before.size(), block + kBlock);
    if (std::memcmp(before.data() + block, after.data() + block, end - block) == 0) continue;
    for (size_t i = block; i < end; ++i) {
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
          allowed = within >= (olderLayout.count(record) ? 42u : 48u) && m.IsFree(record);
        }
      }
      if (!allowed && reported++ < 5)
        ADD_FAILURE() << "byte " << i << " changed outside a free record (record " << record << " offset " << within
                      << ")";
    }
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

// The fixture volume of geometry `g` with its lists of deleted and live
// names beside it, made once for every test process (tests copy it before
// scrubbing).
std::string ScrubImage(const Geometry& g) {
  std::string error;
  const std::string image = testutil::SharedFixture(
      "make-ntfs-scrub-image.sh", {std::to_string(g.sector), std::to_string(g.cluster), std::to_string(g.sizeMiB)},
      "scrub.img", error);
  EXPECT_FALSE(image.empty()) << error;
  return image;
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
  for (const char* tool : {"mkntfs", "ntfs-3g", "fls", "ils", "istat", "ntfsundelete", "ntfsfix"})
    VT_REQUIRE_TOOL(tool);
  const Geometry g = GetParam();
  testutil::TempDir tmp("scrub");
  const std::string fixture = ScrubImage(g);
  ASSERT_FALSE(fixture.empty());
  const std::string image = tmp.file("volume.img");
  const std::string original = tmp.file("original.img");
  ASSERT_EQ(testutil::Run({"cp", fixture, image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"cp", fixture, original}).exitCode, 0);
  const std::vector<std::string> deleted = Lines(fixture + ".deleted");
  const std::vector<std::string> live = Lines(fixture + ".live");
  ASSERT_GT(deleted.size(), 100u);
  ASSERT_FALSE(DeletedNamesListed(image, 0, deleted).empty()) << "the fixture shows no deleted names";
  SleuthkitMFT oracle = ReadSleuthkitMFT(image, 0);
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
  for (const std::string& path : live) EXPECT_TRUE(SameFile(tmp.file("was/" + path), tmp.file("now/" + path)));
  const auto write = testutil::Shell("set -e; cd '" + tmp.file("now") +
                                     "'; mkdir fresh; for i in $(seq 200); do echo \"new file $i\" > fresh/n$i.txt; "
                                     "done; sync");
  ASSERT_EQ(write.exitCode, 0) << write.output;
  const auto remount = testutil::Shell("set -e; umount '" + tmp.file("now") + "'; ntfs-3g -o ro '" + image + "' '" +
                                       tmp.file("now") + "'; for i in $(seq 200); do read -r line < '" + tmp.file("now") +
                                       "'/fresh/n$i.txt; [ \"$line\" = \"new file $i\" ]; done");
  EXPECT_EQ(remount.exitCode, 0) << remount.output;
  const auto fix2 = testutil::Run({"ntfsfix", "-n", image});
  EXPECT_EQ(fix2.exitCode, 0) << fix2.output;
}

INSTANTIATE_TEST_SUITE_P(Geometries, NTFSScrub,
                         ::testing::Values(Geometry{512, 512, 16}, Geometry{512, 1024, 16}, Geometry{512, 4096, 32},
                                           Geometry{512, 65536, 64}, Geometry{4096, 4096, 32}),
                         GeometryName);

// Forwards to a device and marks the log once a read fails, so that the
// writer can count writes made after the fault.
class FaultWatch : public IStorageDevice {
 public:
  FaultWatch(IStorageDevice* inner, std::shared_ptr<WriteLog> log) : m_inner(inner), m_log(std::move(log)) {}
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    const int ok = m_inner->ReadSectors(buffer, first, count);
    if (!ok) m_log->faulted = true;
    return ok;
  }
  uint64_t GetSectorCount() override { return m_inner->GetSectorCount(); }
  int GetSectorSize() override { return m_inner->GetSectorSize(); }
  int Open() override { return m_inner->Open(); }
  int Close() override { return m_inner->Close(); }
  IStorageDevice* GetInnerDevice() override { return m_inner; }

 private:
  IStorageDevice* m_inner;
  std::shared_ptr<WriteLog> m_log;
};

// One volume with deleted files for the fault tests: the 4 KiB-cluster
// volume of the geometry tests, so the suite makes it once.
const std::string& FaultFixture() {
  static const std::string image = ScrubImage(Geometry{512, 4096, 32});
  return image;
}

class NTFSScrubFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root (ntfs-3g makes the fixture)";
    for (const char* tool : {"mkntfs", "ntfs-3g", "istat", "ils", "fsstat"})
      if (!testutil::HaveTool(tool)) GTEST_SKIP() << "needs " << tool;
    ASSERT_FALSE(FaultFixture().empty());
    image = tmp.file("volume.img");
    ASSERT_EQ(testutil::Run({"cp", FaultFixture(), image}).exitCode, 0);
    before = ReadAll(image);
    sectors = before.size() / 512;
    oracle = ReadSleuthkitMFT(image, 0);
    ASSERT_GT(oracle.vcnOfCluster.size(), 2u);
  }

  // The volume sector of the $MFT's VCN `vcn`.
  uint64_t SectorOfVCN(uint64_t vcn) const {
    for (const auto& entry : oracle.vcnOfCluster)
      if (entry.second == vcn) return entry.first * oracle.clusterBytes / 512;
    ADD_FAILURE() << "no VCN " << vcn;
    return 0;
  }
  uint64_t LastVCN() const {
    uint64_t last = 0;
    for (const auto& entry : oracle.vcnOfCluster) last = std::max(last, entry.second);
    return last;
  }

  int Scrub(IStorageDevice* volume, uint64_t start = 0, const std::atomic<int>* cancel = nullptr,
            uint64_t windowEnd = 0) {
    WriterScope scope(image, 0, windowEnd ? windowEnd : sectors, log);
    return wiper.Wipe(volume, 0, start, cancel);
  }

  RawDiskOpener Opener(std::shared_ptr<testutil::FaultPlan> plan) const {
    const std::string path = image;
    return testutil::MakeFaultOpener(
        plan, [path]() -> std::unique_ptr<platform::IRawDisk> { return platform::RawDisk::Open(path); });
  }

  testutil::TempDir tmp{"scrubfault"};
  std::string image;
  Bytes before;
  uint64_t sectors = 0;
  SleuthkitMFT oracle;
  std::shared_ptr<WriteLog> log = std::make_shared<WriteLog>();
  CNTFSMFTWiper wiper;
};

// A strict volume device that fails one $MFT cluster: the scrub stops there
// with an error; nothing is written after the failed read, and what was
// written before it lies in free records.
TEST_F(NTFSScrubFaults, FailedReadOfAnMFTClusterStopsTheScrub) {
  for (const bool lastCluster : {true, false}) {
    SCOPED_TRACE(lastCluster ? "fault in the last $MFT cluster" : "fault in the first $MFT cluster");
    ASSERT_EQ(testutil::Run({"cp", FaultFixture(), image}).exitCode, 0);
    log = std::make_shared<WriteLog>();
    auto plan = std::make_shared<testutil::FaultPlan>();
    // The first cluster holds record 0, which the scrub reads before it
    // starts: fail the second one there.
    plan->SetBadSector(SectorOfVCN(lastCluster ? LastVCN() : 1));
    CVolumeDevice strictVolume(Opener(plan), true);
    ASSERT_TRUE(strictVolume.Open());
    FaultWatch volume(&strictVolume, log);
    EXPECT_EQ(Scrub(&volume), kNTFSWipeReadFailed) << "bad sector " << SectorOfVCN(lastCluster ? LastVCN() : 1);
    EXPECT_TRUE(log->faulted.load());
    EXPECT_EQ(log->writesAfterFault.load(), 0);
    if (lastCluster) {
      EXPECT_GT(log->writes.load(), 0);  // the batches before the fault are done
    } else {
      EXPECT_EQ(log->writes.load(), 0);
    }
    ExpectChangesOnlyInFreeRecords(before, ReadAll(image), oracle, 0);
  }
}

// A device that answers a failed read with zeros (a recovery scan's mode)
// is refused before anything is read from the $MFT or written.
TEST_F(NTFSScrubFaults, VolumeThatSubstitutesZerosIsRefused) {
  auto plan = std::make_shared<testutil::FaultPlan>();
  plan->SetBadSector(SectorOfVCN(1));
  CVolumeDevice lenient(Opener(plan), false);
  ASSERT_TRUE(lenient.Open());
  EXPECT_EQ(Scrub(&lenient), kNTFSWipeNotStrict);
  EXPECT_EQ(log->opens.load(), 0);
  EXPECT_EQ(log->writes.load(), 0);
  // Hidden behind another device it is found all the same.
  FaultWatch wrapped(&lenient, log);
  EXPECT_EQ(Scrub(&wrapped), kNTFSWipeNotStrict);
  EXPECT_EQ(ReadAll(image), before);
}

// Refusals before the first write: nothing is written and the writer is not
// even opened.
TEST_F(NTFSScrubFaults, RefusesWrongTargetsAndGeometry) {
  const std::string half = tmp.file("half.img");
  ASSERT_EQ(testutil::Run({"cp", image, half}).exitCode, 0);
  ASSERT_EQ(truncate(half.c_str(), static_cast<off_t>(before.size() / 2)), 0);
  struct Case {
    const char* what;
    std::string path;
    int sectorSize;
    uint64_t start;
    int expected;
  } cases[] = {
      {"volume start is not the boot sector's disk sector", image, 512, 1, kNTFSWipeWrongTarget},
      {"volume start past the disk's end", image, 512, sectors + 10, kNTFSWipeDiskUnreadable},
      {"device sectors of 4096 bytes under 512-byte NTFS sectors", image, 4096, 0, kNTFSWipeBadGeometry},
      {"file system larger than its volume", half, 512, 0, kNTFSWipeBadGeometry},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImageFileDevice volume(c.path, c.sectorSize);
    EXPECT_EQ(Scrub(&volume, c.start), c.expected);
    EXPECT_EQ(log->opens.load(), 0);
  }
  ImageFileDevice none(tmp.file("missing.img"), 512);
  EXPECT_EQ(Scrub(&none), kNTFSWipeBadGeometry);
  EXPECT_EQ(Scrub(nullptr), kNTFSWipeNoDevice);
  EXPECT_EQ(log->writes.load(), 0);
  EXPECT_EQ(ReadAll(image), before);
}

// A failed or refused write ends the scrub with an error, and so does a
// cancel; no write follows either.
TEST_F(NTFSScrubFaults, FailedWriteAndCancelAreErrors) {
  ImageFileDevice volume(image, 512);
  log->failAfter = 0;
  EXPECT_EQ(Scrub(&volume), kNTFSWipeWriteFailed);
  EXPECT_EQ(wiper.GetLastWriteError(), 5u);
  EXPECT_EQ(log->writes.load(), 1);

  log = std::make_shared<WriteLog>();
  EXPECT_EQ(Scrub(&volume, 0, nullptr, 64), kNTFSWipeWriteFailed);  // writer accepts only sectors 0-63
  EXPECT_EQ(wiper.GetLastWriteError(), 644u);
  EXPECT_EQ(log->writes.load(), 1);
  EXPECT_EQ(ReadAll(image), before);

  log = std::make_shared<WriteLog>();
  std::atomic<int> cancel{1};
  EXPECT_EQ(Scrub(&volume, 0, &cancel), kNTFSWipeCancelled);
  EXPECT_EQ(log->writes.load(), 0);

  log = std::make_shared<WriteLog>();
  SetMountDriverOpener(nullptr);
  setenv("VANTOREL_DISKS", image.c_str(), 1);
  // The program's own writer: without the volume locked it refuses every write.
  EXPECT_EQ(wiper.Wipe(&volume, 0, 0, nullptr), kNTFSWipeWriteFailed);
  EXPECT_EQ(wiper.GetLastWriteError(), 644u);
  unsetenv("VANTOREL_DISKS");
  EXPECT_EQ(ReadAll(image), before);
}

// The byte offset of $MFT record `record` in the image, from sleuthkit's map.
uint64_t RecordByteInImage(const SleuthkitMFT& m, uint64_t record) {
  const uint64_t mftByte = record * m.recordSize;
  for (const auto& entry : m.vcnOfCluster)
    if (entry.second == mftByte / m.clusterBytes) return entry.first * m.clusterBytes + mftByte % m.clusterBytes;
  ADD_FAILURE() << "record " << record << " is not in the $MFT";
  return 0;
}

// The first name istat lists for a record, empty when none.
std::string IstatName(const std::string& image, uint64_t record) {
  std::istringstream in(testutil::Run({"istat", image, std::to_string(record)}).output);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Name: ", 0) == 0) return line.substr(6);
  return std::string();
}

// Deleted records rewritten to the older layout (no record number field)
// are scrubbed by their position in the $MFT, their update sequence with
// the rest; one whose update sequence does not fit its record is left whole
// and the scrub answers that it is incomplete. The readers still read the
// volume, and the scrubbed names are gone.
TEST(NTFSScrubOlderLayout, ScrubsByPositionAndReportsWhatItLeft) {
  VT_REQUIRE_ROOT();
  for (const char* tool : {"mkntfs", "ntfs-3g", "fls", "ils", "istat", "fsstat", "ntfsfix"}) VT_REQUIRE_TOOL(tool);
  ASSERT_FALSE(FaultFixture().empty());
  testutil::TempDir tmp("scrubolder");
  const std::string image = tmp.file("volume.img");
  ASSERT_EQ(testutil::Run({"cp", FaultFixture(), image}).exitCode, 0);
  const std::vector<std::string> deletedList = Lines(FaultFixture() + ".deleted");
  const std::set<std::string> deleted(deletedList.begin(), deletedList.end());
  SleuthkitMFT oracle = ReadSleuthkitMFT(image, 0);
  ASSERT_EQ(oracle.recordSize, 1024u);

  // Four free records of deleted files: three in the older layout, the
  // fourth too but with its update sequence one stride short.
  Bytes bytes = ReadAll(image);
  std::vector<uint64_t> records;
  std::vector<std::string> names;
  for (uint64_t record : oracle.freeRecords) {
    if (records.size() == 4) break;
    const uint64_t at = RecordByteInImage(oracle, record);
    if (at == 0 || std::memcmp(&bytes[at], "FILE", 4) != 0) continue;
    const std::string name = IstatName(image, record);
    if (!deleted.count(name)) continue;
    records.push_back(record);
    names.push_back(name);
  }
  ASSERT_EQ(records.size(), 4u);
  for (uint64_t record : records) ntfstest::ToOlderLayout(&bytes[RecordByteInImage(oracle, record)]);
  const uint64_t broken = RecordByteInImage(oracle, records[3]);
  bytes[broken + 6] -= 1;
  testutil::WriteFile(image, std::string(bytes.begin(), bytes.end()));
  // sleuthkit reads the rewritten records as before.
  EXPECT_EQ(DeletedNamesListed(image, 0, names).size(), 4u);
  const std::string liveListing = testutil::Run({"fls", "-r", "-u", image}).output;

  auto log = std::make_shared<WriteLog>();
  CNTFSMFTWiper wiper;
  int rc;
  {
    WriterScope scope(image, 0, bytes.size() / 512, log);
    ImageFileDevice volume(image, 512);
    rc = wiper.Wipe(&volume, 0, 0, nullptr);
  }
  EXPECT_EQ(rc, kNTFSWipeIncomplete) << std::hex << rc;
  EXPECT_EQ(wiper.GetStats().recordsUnconfirmed, 1u);

  const Bytes after = ReadAll(image);
  EXPECT_GT(ExpectChangesOnlyInFreeRecords(bytes, after, oracle, 0, {records[0], records[1], records[2]}), 0u);
  for (int i = 0; i < 3; ++i) {
    const uint64_t at = RecordByteInImage(oracle, records[i]);
    EXPECT_TRUE(std::all_of(&after[at + 42], &after[at + 1024], [](uint8_t b) { return b == 0; })) << records[i];
  }
  EXPECT_TRUE(std::equal(&after[broken], &after[broken + 1024], &bytes[broken]));
  EXPECT_EQ(DeletedNamesListed(image, 0, {names[0], names[1], names[2]}), std::set<std::string>());
  EXPECT_EQ(testutil::Run({"fls", "-r", "-u", image}).output, liveListing);
  const auto fix = testutil::Run({"ntfsfix", "-n", image});
  EXPECT_EQ(fix.exitCode, 0) << fix.output;
}

// Volumes that Windows made, each inside a disk image at sector 128: the
// writes land at the volume's place on the disk and only in free records.
class NTFSScrubWindows : public ::testing::TestWithParam<const char*> {};

TEST_P(NTFSScrubWindows, ScrubsInsideThePartition) {
  std::string source;
  VT_REQUIRE_REAL_VOLUME(source, testutil::UnpackedRealVolume(GetParam()));
  for (const char* tool : {"istat", "ils", "fsstat", "fls"}) VT_REQUIRE_TOOL(tool);
  testutil::TempDir tmp("scrubwin");
  const std::string disk = tmp.file("disk.raw");
  ASSERT_EQ(testutil::Run({"cp", "--sparse=always", source, disk}).exitCode, 0);
  const Bytes before = ReadAll(disk);
  SleuthkitMFT oracle = ReadSleuthkitMFT(disk, 128);
  const std::string listing = testutil::Run({"fls", "-r", "-o", "128", disk}).output;

  auto log = std::make_shared<WriteLog>();
  CNTFSMFTWiper wiper;
  int rc;
  {
    // The writer takes only the partition's sectors (as the MBR lists them).
    const uint64_t partitionSectors = uint64_t{ReadLE32(before.data() + 458)};
    ASSERT_GT(partitionSectors, 0u);
    WriterScope scope(disk, 128, 128 + partitionSectors, log);
    CVolumeDevice volume(disk, 128 * 512, before.size() - 128 * 512, 512, true);
    ASSERT_TRUE(volume.Open());
    rc = wiper.Wipe(&volume, 0, 128, nullptr);
  }
  EXPECT_EQ(rc, 0) << std::hex << rc;
  const Bytes after = ReadAll(disk);
  const uint64_t changed = ExpectChangesOnlyInFreeRecords(before, after, oracle, 128 * 512);
  EXPECT_EQ(changed > 0, wiper.GetStats().recordsScrubbed > 0);
  EXPECT_EQ(testutil::Run({"fls", "-r", "-o", "128", disk}).output, listing);
}

INSTANTIATE_TEST_SUITE_P(Real, NTFSScrubWindows, ::testing::Values("ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).find("ptrn") != std::string::npos ? "Ptrn" : "LastAccess";
                         });

}  // namespace
