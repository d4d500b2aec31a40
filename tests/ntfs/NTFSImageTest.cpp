// The NTFS readers on volumes made by mkntfs and ntfs-3g, and by Windows,
// checked against sleuthkit (fsstat, fls, istat), blkid and ntfsinfo.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "CNTFSRunList.h"
#include "CNTFSVolumeNameReader.h"
#include "ImageFileDevice.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "NTFSText.h"
#include "RealVolumes.h"
#include "SleuthkitIstat.h"
#include "TestUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ntfstest::IstatData;
using ntfstest::ParseIstat;

std::string Field(const std::string& text, const std::string& label) {
  std::smatch m;
  const std::regex re("(^|\\n)\\s*" + label + ":[ \\t]*([^\\n]*)");
  return std::regex_search(text, m, re) ? m[2].str() : std::string("<missing " + label + ">");
}

// Reads a volume that starts `startSector` device sectors into the device.
class VolumeReader {
 public:
  VolumeReader(IStorageDevice& device, uint64_t startSector)
      : m_device(device), m_start(startSector * device.GetSectorSize()) {}

  bool ReadBytes(uint64_t volumeOffset, uint8_t* out, size_t count) {
    const uint64_t s = m_device.GetSectorSize();
    const uint64_t at = m_start + volumeOffset;
    const uint64_t first = at / s;
    const uint64_t last = (at + count - 1) / s;
    Bytes buffer((last - first + 1) * s);
    if (!m_device.ReadSectors(buffer.data(), first, last - first + 1)) return false;
    std::memcpy(out, buffer.data() + (at - first * s), count);
    return true;
  }

  bool Open() {
    uint8_t sector[512];
    if (!ReadBytes(0, sector, 512) || !dbr.SetFromSector(sector)) return false;
    recordSize = dbr.GetFileRecordSize();
    clusterBytes = dbr.GetBytesPerCluster();
    // Record 0 is read from the start of $MFT; its runs place every other.
    Bytes record0;
    if (!ReadRecord(0, record0)) return false;
    CNTFSFileRecord view(record0.data(), recordSize, false);
    return CollectDataRuns(view, mftRuns, true, &mftSize) && !mftRuns.IsEmpty();
  }

  // Reads a record stride by stride: with small clusters a record may span
  // clusters that lie apart.
  bool ReadRecord(uint64_t number, Bytes& out) {
    out.assign(recordSize, 0);
    for (int piece = 0; piece < recordSize; piece += 512) {
      const uint64_t mftByte = number * recordSize + piece;
      const uint64_t vcn = mftByte / clusterBytes;
      int64_t lcn = static_cast<int64_t>(dbr.GetMFTCluster() + vcn);
      if (!mftRuns.IsEmpty()) lcn = mftRuns.VCNToLCN(vcn);
      if (lcn < 0) return false;
      if (!ReadBytes(lcn * clusterBytes + mftByte % clusterBytes, out.data() + piece, 512)) return false;
    }
    return true;
  }

  CNTFSDBR dbr;
  CNTFSRunList mftRuns;
  uint64_t mftSize = 0;
  int recordSize = 0;
  uint32_t clusterBytes = 0;

 private:
  IStorageDevice& m_device;
  uint64_t m_start;
};

struct FlsEntry {
  bool directory;
  uint64_t inode;
  std::string path;
};

std::vector<FlsEntry> ListFiles(const std::vector<std::string>& prefix) {
  std::vector<std::string> argv = {"fls", "-r", "-p", "-u"};
  argv.insert(argv.end(), prefix.begin(), prefix.end());
  const testutil::CommandResult r = testutil::Run(argv);
  std::vector<FlsEntry> out;
  std::istringstream in(r.output);
  std::string line;
  const std::regex re("^([rd])/[rd] ([0-9]+)-128-[0-9]+:\\t(.*)$|^([d])/d ([0-9]+)-144-[0-9]+:\\t(.*)$");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, re)) continue;
    FlsEntry e;
    const bool dir = m[4].matched;
    e.directory = dir || m[1] == "d";
    e.inode = std::stoull(dir ? m[5].str() : m[2].str());
    e.path = dir ? m[6].str() : m[3].str();
    if (e.path.find(':') != std::string::npos || e.path[0] == '$') continue;
    out.push_back(e);
  }
  return out;
}

// Checks one file's record against istat: a name, the parent, the directory
// flag, the size and the clusters of its unnamed $DATA.
void CheckFile(VolumeReader& volume, const FlsEntry& entry, const std::vector<std::string>& istatPrefix,
               int& fragmented, int& checkedRuns) {
  SCOPED_TRACE(entry.path);
  Bytes raw;
  ASSERT_TRUE(volume.ReadRecord(entry.inode, raw));
  const Bytes stored = raw;
  CNTFSFileRecord view(raw.data(), volume.recordSize, false);
  ASSERT_TRUE(view.IsValid());
  EXPECT_EQ(raw, stored);
  EXPECT_TRUE(view.IsInUse());
  EXPECT_EQ(view.IsDirectory(), entry.directory);
  if (view.HasRecordNumber()) {
    EXPECT_EQ(view.GetRecordNumber(), entry.inode);
  }

  const std::string base = entry.path.substr(entry.path.rfind('/') + 1);
  bool named = false;
  for (int i = 0; const uint8_t* fn = view.FindAttribute(CNTFSFileRecordAttribute::kFileName, i); ++i) {
    std::u16string name;
    ASSERT_TRUE(CNTFSFileRecordFileNameAttribute::GetName(fn, name));
    if (NTFSNameToUtf8(name) != base) continue;
    named = true;
    // Entries of the root folder (record 5) name it as their parent.
    if (entry.path.find('/') == std::string::npos) {
      EXPECT_EQ(CNTFSFileRecordFileNameAttribute::GetParentReference(fn), 5u);
    }
  }
  EXPECT_TRUE(named) << "no $FILE_NAME " << base;
  if (entry.directory || HasAttributeList(view.GetRecord(), view.GetLength())) return;

  std::vector<std::string> argv = {"istat"};
  argv.insert(argv.end(), istatPrefix.begin(), istatPrefix.end());
  argv.push_back(std::to_string(entry.inode));
  IstatData expected;
  ASSERT_TRUE(ParseIstat(testutil::Run(argv).output, expected));
  CNTFSRunList runs;
  uint64_t size = 0;
  if (!expected.nonResident) {
    EXPECT_FALSE(CollectDataRuns(view, runs, true, &size));  // resident data has no runs
    const uint8_t* data = view.FindAttribute(CNTFSFileRecordAttribute::kData, 0);
    ASSERT_TRUE(data);
    EXPECT_EQ(CNTFSFileRecordAttribute::GetValueLength(data), expected.size);
    return;
  }
  ASSERT_TRUE(CollectDataRuns(view, runs, true, &size));
  EXPECT_EQ(size, expected.size);
  std::vector<uint64_t> clusters;
  for (const NTFSRun& run : runs)
    for (uint64_t i = 0; i < run.length; ++i) clusters.push_back(run.firstLCN == kNTFSSparseLCN ? 0 : run.firstLCN + i);
  // istat shows clusters allocated past the data size as 0.
  ASSERT_EQ(clusters.size(), expected.clusters.size());
  const uint64_t inData = size / volume.clusterBytes;
  for (size_t i = inData; i < clusters.size(); ++i)
    if (expected.clusters[i] == 0) clusters[i] = 0;
  EXPECT_EQ(clusters, expected.clusters);
  ++checkedRuns;
  if (runs.GetCount() > 1) ++fragmented;
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += "'" + w + "' ";
  return out;
}

// Boot sector, label, system records and files of one volume against the tools.
// `tool` holds the sleuthkit arguments that select the volume (offset, image).
void CheckVolume(IStorageDevice& device, uint64_t startSector, const std::vector<std::string>& tool,
                 const std::string& image, bool expectFiles, int& fragmented) {
  VolumeReader volume(device, startSector);
  ASSERT_TRUE(volume.Open());
  const CNTFSDBR& dbr = volume.dbr;
  const uint64_t deviceBytes = (device.GetSectorCount() - startSector) * device.GetSectorSize();
  EXPECT_EQ(dbr.HasUsableGeometry(device.GetSectorSize(), deviceBytes),
            dbr.GetBytesPerSector() == device.GetSectorSize());

  std::vector<std::string> fsstatArgv = {"fsstat"};
  fsstatArgv.insert(fsstatArgv.end(), tool.begin(), tool.end());
  const std::string fsstat = testutil::Run(fsstatArgv).output;
  char serial[32];
  snprintf(serial, sizeof serial, "%016" PRIX64, dbr.GetSerialNumber());
  EXPECT_EQ(Field(fsstat, "Volume Serial Number"), serial);
  EXPECT_EQ(Field(fsstat, "First Cluster of MFT"), std::to_string(dbr.GetMFTCluster()));
  EXPECT_EQ(Field(fsstat, "First Cluster of MFT Mirror"), std::to_string(dbr.GetMFTMirrCluster()));
  EXPECT_EQ(Field(fsstat, "Size of MFT Entries"), std::to_string(dbr.GetFileRecordSize()) + " bytes");
  EXPECT_EQ(Field(fsstat, "Sector Size"), std::to_string(dbr.GetBytesPerSector()));
  EXPECT_EQ(Field(fsstat, "Cluster Size"), std::to_string(dbr.GetBytesPerCluster()));
  EXPECT_EQ(Field(fsstat, "Total Sector Range"), "0 - " + std::to_string(dbr.GetTotalSectors() - 1));
  char oem[9] = {};
  dbr.GetOEMName(oem);
  EXPECT_EQ(Field(fsstat, "OEM Name"), std::string(oem));

  char label[kNTFSVolumeNameBytes] = {};
  CNTFSVolumeNameReader reader(&device);
  ASSERT_TRUE(reader.ReadVolumeName(startSector, dbr, label));
  EXPECT_EQ(std::string(label), Field(fsstat, "Volume Name"));
  if (startSector == 0) {
    const std::string blkid = testutil::Run({"blkid", "-p", "-o", "value", "-s", "LABEL", image}).output;
    EXPECT_EQ(std::string(label) + "\n", blkid);
  }

  // System records by name, and the $MFT's own size against istat.
  for (uint64_t n = 0; n <= 11; ++n) {
    Bytes raw;
    ASSERT_TRUE(volume.ReadRecord(n, raw));
    CNTFSFileRecord view(raw.data(), volume.recordSize, false);
    ASSERT_TRUE(view.IsValid()) << n;
    EXPECT_EQ(GetSystemFileIndex(view), static_cast<int>(n));
    if (n == 3) {
      EXPECT_TRUE(IsVolumeRecord(raw.data(), volume.recordSize));
    }
    if (n == 0) {
      EXPECT_TRUE(IsMFTRecord(view));
    }
    if (n == 5) {
      // A root folder with many entries keeps its index outside the record.
      const bool bigIndex =
          testutil::Run({"bash", "-c", "istat " + Join(tool) + " 5 | grep -q INDEX_ALLOCATION"}).exitCode == 0;
      EXPECT_EQ(HasIndexAllocation(raw.data(), volume.recordSize), bigIndex);
      EXPECT_TRUE(view.IsDirectory());
    }
  }
  std::vector<std::string> istatMft = {"istat"};
  istatMft.insert(istatMft.end(), tool.begin(), tool.end());
  istatMft.push_back("0");
  IstatData mft;
  ASSERT_TRUE(ParseIstat(testutil::Run(istatMft).output, mft));
  EXPECT_EQ(volume.mftSize, mft.size);

  // System files with non-resident data: $MFT, $MFTMirr, $LogFile,
  // $AttrDef, $Bitmap, $Boot, $UpCase.
  int checkedRuns = 0;
  for (uint64_t n : {0, 1, 2, 4, 6, 7, 10}) {
    const FlsEntry entry{false, n, NTFSNameToUtf8(NTFSSystemFileTable[n].name)};
    CheckFile(volume, entry, tool, fragmented, checkedRuns);
  }
  int count = 0;
  int checked = 0;
  for (const FlsEntry& entry : ListFiles(tool)) {
    // Every folder and named file, and every seventh of the many small ones.
    const bool small = entry.path.size() > 1 && entry.path[0] == 'f' && isdigit(entry.path[1]);
    if (small && (count++ % 7) != 0) continue;
    CheckFile(volume, entry, tool, fragmented, checkedRuns);
    ++checked;
  }
  if (expectFiles) {
    EXPECT_GT(checked, 0);
  }
  std::cout << "checked " << checked << " files and " << checkedRuns << " run lists, " << fragmented << " fragmented\n";
}

// The image the fixture script builds, shared by the test processes.
std::string FixtureImage(int sector, int cluster) {
  std::string error;
  const std::string image = testutil::SharedFixture(
      "make-ntfs-image.sh", {std::to_string(sector), std::to_string(cluster), "8", "Vol" + std::to_string(cluster)},
      "volume.img", error);
  if (image.empty()) ADD_FAILURE() << error;
  return image;
}

struct Geometry {
  int sector;
  int cluster;
};

class NTFSImage : public ::testing::TestWithParam<Geometry> {};

TEST_P(NTFSImage, MatchesSleuthkit) {
  VT_REQUIRE_TOOL("mkntfs");
  VT_REQUIRE_TOOL("fsstat");
  VT_REQUIRE_TOOL("istat");
  const Geometry g = GetParam();
  const std::string image = FixtureImage(g.sector, g.cluster);
  ASSERT_EQ(access(image.c_str(), R_OK), 0);
  // Files are written through an ntfs-3g mount, which needs root and FUSE;
  // without them the volume holds its system files only.
  const bool populated = testutil::IsRoot() && testutil::HaveTool("ntfs-3g") && access("/dev/fuse", R_OK | W_OK) == 0;

  // The volume's own sector size, and 512-byte sectors as image files show.
  std::vector<int> deviceSectors = {g.sector};
  if (g.sector != 512) deviceSectors.push_back(512);
  for (int deviceSector : deviceSectors) {
    SCOPED_TRACE("device sectors " + std::to_string(deviceSector));
    ImageFileDevice device(image, deviceSector);
    int fragmented = 0;
    CheckVolume(device, 0, {image}, image, populated, fragmented);
    if (populated) {
      EXPECT_GT(fragmented, 0) << "big.bin should be fragmented";
    }
  }

  const std::string info = testutil::Run({"ntfsinfo", "-m", image}).output;
  ImageFileDevice device(image, g.sector);
  VolumeReader volume(device, 0);
  ASSERT_TRUE(volume.Open());
  EXPECT_EQ(Field(info, "MFT Record Size"), std::to_string(volume.recordSize));
  EXPECT_EQ(Field(info, "Cluster Size"), std::to_string(g.cluster));
  // The files cannot be checked here; a failure above still fails the test.
  if (!populated)
    GTEST_SKIP() << "needs root, ntfs-3g and /dev/fuse to write files on the volume: the boot sector and system "
                    "files were checked, user files and fragmented runs were not";
}

INSTANTIATE_TEST_SUITE_P(Geometries, NTFSImage,
                         ::testing::Values(Geometry{512, 512}, Geometry{512, 2048}, Geometry{512, 4096},
                                           Geometry{4096, 4096}),
                         [](const ::testing::TestParamInfo<Geometry>& info) {
                           return "s" + std::to_string(info.param.sector) + "c" + std::to_string(info.param.cluster);
                         });

// Volumes formatted and used by Windows 10, one NTFS partition at sector 128.
class NTFSWindowsVolume : public ::testing::TestWithParam<const char*> {};

TEST_P(NTFSWindowsVolume, MatchesSleuthkit) {
  std::string image;
  VT_REQUIRE_REAL_VOLUME(image, testutil::UnpackedRealVolume(GetParam()));
  VT_REQUIRE_TOOL("fsstat");
  ImageFileDevice device(image, 512);
  int fragmented = 0;
  CheckVolume(device, 128, {"-o", "128", image}, image, true, fragmented);
}

INSTANTIATE_TEST_SUITE_P(Real, NTFSWindowsVolume, ::testing::Values("ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return info.index == 0 ? std::string("LastAccess") : std::string("Ptrn");
                         });

}  // namespace
