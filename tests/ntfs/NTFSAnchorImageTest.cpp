// The anchor collections over every sector of real disks made by Windows
// (which carry $LogFile restart and log pages) and of an mkntfs volume, and
// the templates against the $AttrDef and $UpCase the formatters wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CNTFSTemplateMatchList.h"
#include "ImageFileDevice.h"
#include "NTFSAnchorDriver.h"
#include "NTFSRecordRuns.h"
#include "RealVolumes.h"
#include "TestUtil.h"

namespace {

// The valid log-record pages of a $LogFile's bytes: "RCRD" and every stride
// end equal to the update sequence number.
size_t CountValidRecordPages(const std::string& log) {
  size_t valid = 0;
  for (size_t at = 0; at + 4096 <= log.size(); at += 4096) {
    const auto* p = reinterpret_cast<const uint8_t*>(log.data() + at);
    if (std::memcmp(p, "RCRD", 4) != 0) continue;
    const uint16_t usa = ReadLE16(p + 4), count = ReadLE16(p + 6);
    if (count != 9 || usa + 2 * count > 4096) continue;
    bool ok = true;
    for (int k = 0; k < 8; ++k) ok = ok && ReadLE16(p + 512 * k + 510) == ReadLE16(p + usa);
    valid += ok;
  }
  return valid;
}

class NTFSAnchorRealDisk : public ::testing::TestWithParam<const char*> {};

TEST_P(NTFSAnchorRealDisk, CandidateAtThePartitionCarriesEveryAnchor) {
  VT_REQUIRE_TOOL("icat");
  std::string disk;
  VT_REQUIRE_REAL_VOLUME(disk, testutil::UnpackedRealVolume(GetParam()));
  SetNTFSEngineSectorSize(512);
  ImageFileDevice device(disk, 512);
  const uint64_t sectors = device.GetSectorCount();
  ntfstest::AnchorSearch search(512, sectors);
  constexpr uint64_t kBlock = 2048;
  std::vector<uint8_t> block(kBlock * 512);
  for (uint64_t first = 0; first < sectors; first += kBlock) {
    const uint64_t count = std::min(kBlock, sectors - first);
    ASSERT_TRUE(device.ReadSectors(block.data(), first, count));
    search.Feed(block.data(), first, count);
  }
  search.Resolve();

  const CSearchedNTFSPartitionInfo* found = nullptr;
  for (auto& [key, c] : search.map) {
    // Nothing elsewhere on the disk: the "PTRN" fill and the data add none.
    EXPECT_LE(c->GetStartSector() > 128 ? c->GetStartSector() - 128 : 128 - c->GetStartSector(), 8u)
        << "candidate at " << c->GetStartSector() << " flags " << c->GetStateFlags();
    if (c->GetStartSector() == 128 && c->GetSectorsPerCluster() == 8) found = c.get();
  }
  ASSERT_TRUE(found);
  EXPECT_NE(found->GetStateFlags() & (kNTFSMFTFlag | kNTFSMFTConfirmedFlag), 0u);
  EXPECT_EQ(found->GetStateFlags() & kNTFSBothRestartPagesFlags, kNTFSBothRestartPagesFlags);
  EXPECT_EQ(found->GetAttrDefMatches(), 5u);
  EXPECT_EQ(found->GetUpCaseMatches(), 5u);
  const std::string log = testutil::Run({"icat", "-o", "128", disk, "2"}).output;
  const size_t pages = CountValidRecordPages(log);
  EXPECT_GT(pages, 0u);
  EXPECT_EQ(found->GetLogPageMatches(), 8 * pages);
}

INSTANTIATE_TEST_SUITE_P(WindowsDisks, NTFSAnchorRealDisk,
                         ::testing::Values("ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).find("ptrn") != std::string::npos ? "ptrn" : "lastaccess";
                         });

// The first 2560 bytes of record `inode` as icat reads it.
std::string Head(const std::vector<std::string>& volume, int inode) {
  std::vector<std::string> argv = {"icat"};
  argv.insert(argv.end(), volume.begin(), volume.end());
  argv.push_back(std::to_string(inode));
  return testutil::Run(argv).output.substr(0, 2560);
}

std::string Table(const uint8_t* (*sector)(int)) {
  std::string out;
  for (int k = 0; k < kNTFSTemplateSectors; ++k) out.append(reinterpret_cast<const char*>(sector(k)), 512);
  return out;
}

TEST(NTFSTemplates, EqualWhatTheFormattersWrote) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkntfs");
  VT_REQUIRE_TOOL("icat");
  testutil::TempDir dir("templates");
  const std::string image = dir.file("empty.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkntfs", "-F", "-Q", image}).exitCode, 0);
  std::vector<std::vector<std::string>> volumes = {{image}};
  for (const char* name : {"ntfs-lastaccess.raw.gz", "ntfs-ptrn.raw.gz"}) {
    std::string disk;
    VT_REQUIRE_REAL_VOLUME(disk, testutil::UnpackedRealVolume(name));
    volumes.push_back({"-o", "128", disk});
  }
  const std::string attrDef = Table(GetAttrDefTemplateSector);
  const std::string upCase = Table(GetUpCaseTemplateSector);
  for (const auto& volume : volumes) {
    SCOPED_TRACE(volume.back());
    EXPECT_EQ(Head(volume, 4), attrDef);
    EXPECT_EQ(Head(volume, 10), upCase);
  }
  for (int k = 0; k < kNTFSTemplateSectors; ++k) EXPECT_EQ(GetUpCaseTemplateSector(k)[1], k);
}

}  // namespace
