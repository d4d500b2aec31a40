// File properties made from real FILE records and the $LogFile analyser on
// volumes made by mkntfs and ntfs-3g, and by Windows, checked against
// sleuthkit (fls, istat, icat).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSExtendedFileRecord.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CPartitionVirtualVolumeDevice.h"
#include "IDataRunList.h"
#include "ImageFileDevice.h"
#include "NTFSAttributeList.h"
#include "NTFSFileRecordProperties.h"
#include "NTFSRecordRuns.h"
#include "RealVolumes.h"
#include "SleuthkitIstat.h"
#include "TestUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct PropsDeleter {
  void operator()(IFileProperties* p) const { DeleteFileProperties(p); }
};
using Props = std::unique_ptr<CNTFSFileProperties, PropsDeleter>;

// The volume's geometry and $MFT runs, read through the engine's own readers.
struct Volume {
  explicit Volume(IStorageDevice& d) : device(d) {}
  bool Open() {
    Bytes sector(512);
    if (!device.ReadSectors(sector.data(), 0, 1) || !dbr.SetFromSector(sector.data())) return false;
    spc = dbr.GetSectorsPerCluster();
    recordSize = dbr.GetFileRecordSize();
    Bytes record0(recordSize);
    if (!device.ReadSectors(record0.data(), dbr.GetMFTCluster() * spc, recordSize / 512)) return false;
    return CollectDataRunsFromBuffer(record0.data(), recordSize, mftRuns, true, nullptr) && !mftRuns.IsEmpty();
  }
  int64_t RecordSector(uint64_t number) const {
    return GetRecordSectorFromRunList(number, spc, 0, mftRuns, static_cast<uint8_t>(recordSize / 512));
  }
  IStorageDevice& device;
  CNTFSDBR dbr;
  uint8_t spc = 0;
  int recordSize = 0;
  CNTFSRunList mftRuns;
};

using ntfstest::FlsEntry;
using ntfstest::Istat;
using ntfstest::ListFiles;

// A FILETIME as istat prints it in UTC.
std::string FileTimeText(uint64_t t) {
  const time_t seconds = static_cast<time_t>(t / 10000000 - 11644473600ull);
  struct tm tm;
  gmtime_r(&seconds, &tm);
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%09" PRIu64 " (UTC)", tm.tm_year + 1900, tm.tm_mon + 1,
           tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, (t % 10000000) * 100);
  return text;
}

// The first line after `label` (the $STANDARD_INFORMATION block comes first).
std::string IstatField(const std::string& text, const std::string& label) {
  std::smatch m;
  return std::regex_search(text, m, std::regex("\\n" + label + ":\\t([^\\n]*)")) ? m[1].str() : "<none>";
}

std::vector<uint64_t> Clusters(const IFileProperties& p) {
  std::unique_ptr<IDataRunList> list(p.GetDataRunList());
  std::vector<uint64_t> out;
  if (!list) return out;
  for (const DataRun& run : list->Runs())
    for (uint64_t i = 0; i < run.length; ++i) out.push_back(run.IsSparse() ? 0 : run.start + i);
  return out;
}

// Properties of the record `inode`, with its extension records.
Props MakeProperties(Volume& v, uint64_t inode, int64_t& parent, std::unique_ptr<NTFSSegmentRefList>& list) {
  const int64_t sector = v.RecordSector(inode);
  Bytes raw(v.recordSize);
  if (sector < 0 || !v.device.ReadSectors(raw.data(), static_cast<uint64_t>(sector), v.recordSize / 512))
    return nullptr;
  list = BuildSegmentRefList(raw.data(), v.recordSize, static_cast<uint64_t>(sector), v.spc, 0, &v.device, v.mftRuns,
                             static_cast<uint8_t>(v.recordSize / 512));
  CNTFSExtendedFileRecord record(raw.data(), v.recordSize, static_cast<uint64_t>(sector), &v.device, list.get());
  parent = -1;
  return Props(MakeNTFSFileProperties(static_cast<uint64_t>(sector), record, v.dbr.GetBytesPerCluster(), &parent));
}

std::string StreamsImage() {
  std::string error;
  const std::string image = testutil::SharedFixture("make-ntfs-streams-image.sh", {}, "volume.img", error);
  if (image.empty()) ADD_FAILURE() << error;
  return image;
}

TEST(NTFSPropertiesImage, PropertiesMatchSleuthkit) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkntfs");
  VT_REQUIRE_TOOL("ntfs-3g");
  VT_REQUIRE_TOOL("istat");
  const std::string image = StreamsImage();
  ImageFileDevice device(image, 512);
  Volume v(device);
  ASSERT_TRUE(v.Open());
  const std::vector<FlsEntry> entries = ListFiles({image});
  std::map<std::string, uint64_t> folders = {{"", 5}};
  for (const FlsEntry& e : entries)
    if (e.directory && !e.deleted) folders[e.path] = e.inode;

  int checked = 0, withList = 0, deleted = 0;
  std::set<std::string> names;
  for (const FlsEntry& e : entries) {
    if (e.path[0] == '$' || e.path.find(':') != std::string::npos) continue;
    SCOPED_TRACE(e.path);
    int64_t parent = -1;
    std::unique_ptr<NTFSSegmentRefList> list;
    Props p = MakeProperties(v, e.inode, parent, list);
    ASSERT_TRUE(p);
    const size_t slash = e.path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : e.path.substr(0, slash);
    EXPECT_EQ(std::string(p->GetName()), e.path.substr(slash == std::string::npos ? 0 : slash + 1));
    EXPECT_EQ(parent, static_cast<int64_t>(folders[folder]));
    EXPECT_EQ((p->GetAttributes() & kFileAttributeDirectory) != 0, e.directory);
    EXPECT_EQ(p->IsDeleted() != 0, e.deleted);
    EXPECT_EQ(p->GetRecordNumber(), e.inode);
    if (list && !list->IsEmpty()) ++withList;
    deleted += e.deleted;

    const std::string text = Istat({image}, e.inode);
    EXPECT_EQ(FileTimeText(p->GetCreationTime()), IstatField(text, "Created"));
    EXPECT_EQ(FileTimeText(p->GetModificationTime()), IstatField(text, "File Modified"));
    EXPECT_EQ(FileTimeText(p->GetAccessTime()), IstatField(text, "Accessed"));
    ++checked;
    if (e.directory) continue;
    ntfstest::IstatData expected;
    ASSERT_TRUE(ntfstest::ParseIstat(text, expected));
    EXPECT_EQ(p->GetFileSize(), static_cast<int64_t>(expected.size));
    std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
    ASSERT_TRUE(runs);
    if (!expected.nonResident) {
      EXPECT_TRUE(runs->IsResident());
      ASSERT_EQ(runs->GetRunCount(), 1u);
      EXPECT_EQ(static_cast<int64_t>(runs->Runs()[0].start), v.RecordSector(e.inode));
      continue;
    }
    std::vector<uint64_t> clusters = Clusters(*p);
    ASSERT_EQ(clusters.size(), expected.clusters.size());
    const uint64_t inData = expected.size / v.dbr.GetBytesPerCluster();
    for (size_t i = inData; i < clusters.size(); ++i)
      if (expected.clusters[i] == 0) clusters[i] = 0;  // istat: allocated past the data
    EXPECT_EQ(clusters, expected.clusters);
  }
  EXPECT_EQ(checked, 5);   // dir, its two files, frag.bin, gone.bin
  EXPECT_EQ(withList, 1);  // frag.bin: $FILE_NAME and $DATA in extension records
  EXPECT_EQ(deleted, 1);   // gone.bin
}

// The analyser against the log as icat reads it, and its images against the
// names fls lists.
void CheckLog(IStorageDevice& device, const std::vector<std::string>& volume, bool windows) {
  Volume v(device);
  ASSERT_TRUE(v.Open());
  CNTFSLogFileAnalyzer analyzer;
  ASSERT_TRUE(analyzer.Open(&device, v.mftRuns, v.spc));
  ASSERT_EQ(analyzer.GetState(), 1);
  ASSERT_TRUE(analyzer.GetLogFileProperties());
  EXPECT_STREQ(analyzer.GetLogFileProperties()->GetName(), "$LogFile");

  ntfstest::IstatData logData;
  ASSERT_TRUE(ntfstest::ParseIstat(Istat(volume, 2), logData));
  EXPECT_EQ(static_cast<uint64_t>(analyzer.GetPageCount()) * kLogPageSize, logData.size);
  std::vector<std::string> argv = {"icat"};
  argv.insert(argv.end(), volume.begin(), volume.end());
  argv.push_back("2");
  const std::string log = testutil::Run(argv).output;
  ASSERT_EQ(log.size(), logData.size);
  int recordPages = 0;
  for (int i = 0; i < analyzer.GetPageCount(); ++i) {
    const uint8_t* page = nullptr;
    ASSERT_TRUE(analyzer.ReadPage(i, &page));
    ASSERT_EQ(std::memcmp(page, log.data() + static_cast<size_t>(i) * kLogPageSize, kLogPageSize), 0) << i;
    recordPages += i >= kLogFirstRecordPage && IsValidRecordPage(page);
  }
  EXPECT_TRUE(analyzer.Analyze());
  EXPECT_TRUE(analyzer.IsAnalyzed());
  std::set<std::string> names;
  for (const FlsEntry& e : ListFiles(volume)) names.insert(e.path.substr(e.path.rfind('/') + 1));
  for (const CNTFSLogFileAnalyzer::Image& image : analyzer.GetImages()) {
    EXPECT_TRUE(names.count(image.properties->GetName())) << image.properties->GetName();
    EXPECT_GT(image.properties->GetFileSize(), 0);
  }
  // Every indexed record lies in a record page and keeps its own length.
  for (const LogRecordIndexEntry& entry : analyzer.GetIndex()) {
    const uint8_t* stored = analyzer.GetStoredRecord(entry);
    ASSERT_TRUE(stored);
    uint32_t client = 0;
    std::memcpy(&client, stored + 24, 4);
    EXPECT_EQ(client + 48u, entry.length);
  }
  std::cout << recordPages << " record pages, " << analyzer.GetIndex().size() << " log records, "
            << analyzer.GetImages().size() << " FILE-record images\n";
  if (windows) {
    EXPECT_GT(recordPages, 0);
    EXPECT_GT(analyzer.GetIndex().size(), 0u);
  }
}

TEST(NTFSPropertiesImage, LogFileOfNtfs3gVolume) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkntfs");
  VT_REQUIRE_TOOL("ntfs-3g");
  VT_REQUIRE_TOOL("icat");
  const std::string image = StreamsImage();
  ImageFileDevice device(image, 512);
  CheckLog(device, {image}, false);

  // The deleted gone.bin keeps its mapping pairs: matching gives it those
  // runs and their clusters' bytes, as istat lists them.
  Volume v(device);
  ASSERT_TRUE(v.Open());
  for (const FlsEntry& e : ListFiles({image})) {
    if (e.path != "gone.bin") continue;
    int64_t parent = -1;
    std::unique_ptr<NTFSSegmentRefList> list;
    Props p = MakeProperties(v, e.inode, parent, list);
    ASSERT_TRUE(p);
    Bytes raw(v.recordSize);
    ASSERT_TRUE(device.ReadSectors(raw.data(), static_cast<uint64_t>(v.RecordSector(e.inode)), v.recordSize / 512));
    CNTFSLogFileAnalyzer analyzer;
    ASSERT_TRUE(analyzer.Open(&device, v.mftRuns, v.spc));
    analyzer.Analyze();
    p->SetFileSize(0);
    ASSERT_TRUE(analyzer.MatchFileRecords(raw.data(), p.get(), parent, list.get()));
    ntfstest::IstatData expected;
    ASSERT_TRUE(ntfstest::ParseIstat(Istat({image}, e.inode), expected));
    EXPECT_EQ(Clusters(*p), expected.clusters);
    EXPECT_EQ(static_cast<uint64_t>(p->GetFileSize()), expected.clusters.size() * v.dbr.GetBytesPerCluster());
    return;
  }
  ADD_FAILURE() << "gone.bin not listed";
}

class NTFSWindowsLog : public ::testing::TestWithParam<const char*> {};

TEST_P(NTFSWindowsLog, MatchesSleuthkit) {
  std::string image;
  VT_REQUIRE_REAL_VOLUME(image, testutil::UnpackedRealVolume(GetParam()));
  VT_REQUIRE_TOOL("icat");
  ImageFileDevice disk(image, 512);
  CPartitionVirtualVolumeDevice volume(&disk, 128, disk.GetSectorCount() - 128);
  volume.Open();
  CheckLog(volume, {"-o", "128", image}, true);
}

INSTANTIATE_TEST_SUITE_P(Real, NTFSWindowsLog, ::testing::Values("ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return info.index == 0 ? std::string("LastAccess") : std::string("Ptrn");
                         });

}  // namespace
