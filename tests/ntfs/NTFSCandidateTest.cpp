// Candidate partitions of the NTFS complete search: the factory's
// arithmetic, the flag updater, the saved form, and file-type evidence.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "CFileTypeEvidenceEntry.h"
#include "CMemoryScanStream.h"
#include "CNTFSFileRecord.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "NTFSFileTypeEvidence.h"
#include "RecordBuilder.h"

namespace {

using namespace ntfstest;

struct FactoryCase {
  const char* what;
  uint64_t record;
  int64_t cluster;
  uint32_t k;
  uint64_t deviceSectors;
  bool made;
  uint64_t start, clusters, sectors;
};

TEST(NTFSCandidateFactory, StartAndSizeFollowTheRecordAndTheDevice) {
  const FactoryCase cases[] = {
      {"record 100, cluster 4 x 8", 100, 4, 8, 1000, true, 68, 116, 928},
      {"start would be -4", 100, 13, 8, 1000, false, 0, 0, 0},
      {"record only 4 sectors behind the start", 100, 1, 4, 1000, false, 0, 0, 0},
      {"exactly 8 sectors behind", 100, 1, 8, 1000, true, 92, 113, 904},
      {"unmapped cluster (-1)", 100, -1, 8, 1000, false, 0, 0, 0},
      {"cluster x k overflows 64 bits", UINT64_MAX, INT64_MAX, 128, UINT64_MAX, false, 0, 0, 0},
      {"cluster x k wraps to a small value", 100, (int64_t(1) << 57) + 1, 128, 1000, false, 0, 0, 0},
      {"cluster x k equals the record: start 0", 64, 8, 8, 1000, true, 0, 125, 1000},
      {"no cluster size", 100, 4, 0, 1000, false, 0, 0, 0},
      {"start at the device's end", 1100, 4, 8, 1000, false, 0, 0, 0},
      {"partial last cluster dropped", 100, 4, 8, 1003, true, 68, 116, 928},
  };
  for (const FactoryCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto made = CreatePartitionCandidate(c.record, c.cluster, c.k, kNTFSMFTFlag, c.deviceSectors, 512);
    ASSERT_EQ(made != nullptr, c.made);
    if (!made) continue;
    EXPECT_EQ(made->GetStartSector(), c.start);
    EXPECT_EQ(made->GetClusterCount(), c.clusters);
    EXPECT_EQ(made->GetSectorCount(), c.sectors);
    EXPECT_EQ(made->GetSectorsPerCluster(), c.k);
    EXPECT_EQ(made->GetStateFlags(), kNTFSMFTFlag);
    EXPECT_EQ(made->GetType(), EFileSystemType::NTFS);
    EXPECT_EQ(made->GetSearchKind(), EPartitionKind::NTFS);
  }
}

TEST(NTFSCandidateFactory, AllClusterSizesSkipThoseThatDoNotFit) {
  NTFSCandidateList list;
  // Record 100 at cluster 4: k = 1 puts it 4 sectors in, k = 32 before 0.
  CreatePartitionCandidatesForAllClusterSizes(100, 4, kNTFSMFTFlag, 1000, list, 512);
  std::vector<uint32_t> ks;
  for (auto& c : list) ks.push_back(c->GetSectorsPerCluster());
  EXPECT_EQ(ks, (std::vector<uint32_t>{2, 4, 8, 16}));
}

TEST(NTFSCandidateFlags, UpdaterSetsClearsAndDropsEmptyCandidates) {
  NTFSCandidateMap map;
  InsertCandidate(map, CreatePartitionCandidate(100, 4, 8, kNTFSBackupBootSectorFlag, 1000, 512));
  InsertCandidate(map, CreatePartitionCandidate(100, 4, 8, kNTFSBootSectorFlag | kNTFSBackupBootSectorFlag, 1000, 512));
  InsertCandidate(map, CreatePartitionCandidate(100, 8, 4, kNTFSBackupBootSectorFlag, 1000, 512));  // same start, k 4
  CNTFSCandidateFlagUpdater updater(&map, 1000);
  auto probe = CreatePartitionCandidate(100, 4, 8, 0, 1000, 512);

  EXPECT_EQ(updater.UpdateCandidateFlags(*probe, kNTFSFirstRestartPageFlag, 0), 1);
  for (auto& [key, c] : map)
    EXPECT_EQ((c->GetStateFlags() & kNTFSFirstRestartPageFlag) != 0, c->GetSectorsPerCluster() == 8);

  EXPECT_EQ(updater.UpdateCandidateFlags(*probe, 0, kNTFSBackupBootSectorFlag | kNTFSFirstRestartPageFlag), 1);
  ASSERT_EQ(map.size(), 2u);  // the one with only flag 2 (and 64) left
  for (auto& [key, c] : map) {
    const uint32_t expected = c->GetSectorsPerCluster() == 8 ? kNTFSBootSectorFlag : kNTFSBackupBootSectorFlag;
    EXPECT_EQ(c->GetStateFlags(), expected);
  }
  EXPECT_EQ(probe->GetStateFlags(), 0u);  // the probe itself is never touched

  auto elsewhere = CreatePartitionCandidate(200, 4, 8, 0, 1000, 512);
  EXPECT_EQ(updater.UpdateCandidateFlags(*elsewhere, kNTFSMFTFlag, 0), 0);
  EXPECT_EQ(map.size(), 2u);
}

TEST(NTFSCandidateMapOrder, StartIsSignedThenClusterSize) {
  NTFSCandidateKey a{-1, 8}, b{0, 1}, c{0, 8};
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(b < c);
  EXPECT_FALSE(c < b);
}

TEST(NTFSCandidateSavedForm, RoundTripKeepsEveryFieldIncludingUnknowns) {
  for (bool filled : {false, true}) {
    SCOPED_TRACE(filled ? "filled" : "fresh");
    auto original = CreatePartitionCandidate(100, 4, 8, kNTFSBothRestartPagesFlags, 1000, 4096);
    if (filled) {
      original->SetSerialNumber(0x1122334455667788ull);
      original->SetMFTGroupSwitch(1);
      original->SetGroupOnlySwitch(1);
      original->SetLogPageMatches(40);
      original->SetAttrDefMatches(5);
      original->SetUpCaseMatches(5);
      original->SetMFTSector(100);
      original->SetLogFileSector(104);
      original->SetAttrDefSector(108);
      original->SetUpCaseSector(120);
      original->SetBitmapSize(-8);
      original->SetPoints(77);
      original->SetRecordMatchCount(3);
    }
    CMemoryScanStream stream;
    ASSERT_TRUE(original->Save(&stream));
    ASSERT_EQ(stream.Bytes().size(), 172u);
    CSearchedNTFSPartitionInfo loaded;
    ASSERT_TRUE(loaded.Load(&stream));
    CMemoryScanStream again;
    ASSERT_TRUE(loaded.Save(&again));
    EXPECT_EQ(again.Bytes(), stream.Bytes());
    EXPECT_EQ(loaded.GetReservedWord(), 2u);
    EXPECT_EQ(loaded.GetBytesPerSector(), 4096u);
    EXPECT_EQ(loaded.GetStartSector(), 68u);
    EXPECT_EQ(loaded.GetStateFlags(), kNTFSBothRestartPagesFlags);
    EXPECT_EQ(loaded.GetMFTSector(), filled ? 100u : CSearchedNTFSPartitionInfo::kUnknown);
    EXPECT_EQ(loaded.GetBitmapSize(), filled ? -8 : -1);
    EXPECT_EQ(loaded.GetAttrDefMatches(), filled ? 5u : CSearchedNTFSPartitionInfo::kUnknown);
  }
}

TEST(NTFSCandidateSavedForm, ShortStreamChangesNothing) {
  auto original = CreatePartitionCandidate(100, 4, 8, kNTFSMFTFlag, 1000, 512);
  CMemoryScanStream full;
  ASSERT_TRUE(original->Save(&full));
  for (size_t cut : {size_t(0), size_t(75), size_t(76), size_t(171)}) {
    SCOPED_TRACE(cut);
    CMemoryScanStream shortStream(full.Bytes().data(), cut);
    CSearchedNTFSPartitionInfo loaded;
    loaded.SetStartSector(9);
    EXPECT_FALSE(loaded.Load(&shortStream));
    EXPECT_EQ(loaded.GetStartSector(), 9u);
    EXPECT_EQ(loaded.GetStateFlags(), 0u);
  }
}

// A record whose first $FILE_NAME states `nameLength` characters while its
// value holds `held`; with a $DATA whose first run starts at LCN 0x20.
std::vector<uint8_t> EvidenceRecord(uint8_t nameLength, size_t held) {
  RecordBuilder b;
  b.StandardInformation(0);
  std::vector<uint8_t> v(66 + 2 * held, 0);
  Put64(v, 0, 5 | (uint64_t(1) << 48));
  v[64] = nameLength;
  v[65] = 1;
  const char16_t* name = u"photo.jpg";
  for (size_t i = 0; i < held && i < 9; ++i) Put16(v, 66 + 2 * i, name[i]);
  b.Resident(0x30, v);
  b.NonResident(0x80, {0x11, 0x04, 0x20, 0x00}, 0, 3, 4 * 4096);
  return b.Finish();
}

uint16_t JpegOnly(const char16_t* extension, size_t count) {
  return count == 3 && extension[0] == u'j' && extension[1] == u'p' && extension[2] == u'g' ? 7 : 0;
}

TEST(NTFSFileTypeEvidence, NameLengthIsTakenOnlyInsideTheValue) {
  RegisterFileTypeIdLookup(JpegOnly);
  struct Case {
    const char* what;
    uint8_t length;
    size_t held;
    bool made;
  } cases[] = {
      {"name inside the value", 9, 9, true},
      {"empty name", 0, 9, false},
      // The attribute is padded to 8 bytes: its last bytes are not the value.
      {"name one character past the value", 10, 9, false},
      {"length far past the value", 200, 9, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> bytes = EvidenceRecord(c.length, c.held);
    CNTFSFileRecord record(bytes.data(), static_cast<int>(bytes.size()), false);
    CFileTypeEvidenceEntry entry;
    EXPECT_EQ(MakeFileTypeEvidence(record, 4242, entry), c.made);
    if (c.made) {
      EXPECT_EQ(entry.GetTypeId(), 7);
      EXPECT_EQ(entry.GetRecordSector(), 4242);
      EXPECT_EQ(entry.GetFirstCluster(), 0x20);
    }
  }
  RegisterFileTypeIdLookup(nullptr);
}

}  // namespace
