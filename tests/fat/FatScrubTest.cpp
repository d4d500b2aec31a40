// The FAT scrub's pieces that need no image tools: the replacement entry,
// the saved partition fields, the boot-sector acceptance and the refusals
// that come before any write.
#include <gtest/gtest.h>

#include "CFATDirEntry.h"
#include "CFATQuickScrub.h"
#include "CFATQuickSearch.h"
#include "CFATSearchedPartitionInfo.h"
#include "CFATWipeWorker.h"
#include "CMemoryScanStream.h"
#include "FATPartitionFields.h"
#include "FATScrubCodes.h"
#include "FatTestData.h"
#include "IMountDriverWriter.h"
#include "MemoryDevice.h"
#include "OpenerSpy.h"
#include "ScanEngineRegistry.h"

namespace {

using fattest::Put32;
using testutil::MemoryDevice;
using testutil::OpenerSpy;

TEST(FatScrub, DeletedEntryTemplateIsADeletedValidShortEntry) {
  const uint8_t* t = CFATWipeWorker::DeletedEntryTemplate();
  const uint8_t expected[32] = {0xE5, 'A', 'L',  'L', 'O', 'W', '~',  '1',  'T',  'L', 'M', 0x20, 0, 0, 0x00, 0x40,
                                0x21, 0,   0x21, 0,   0,   0,   0x00, 0x40, 0x21, 0,   0,   0,    0, 0, 0,    0};
  EXPECT_EQ(std::memcmp(t, expected, 32), 0);
  CFATDirEntry e(t);
  EXPECT_TRUE(e.IsDeleted());
  EXPECT_TRUE(e.IsValid(1));
  EXPECT_FALSE(e.IsDirectory());
  EXPECT_EQ(e.GetFirstCluster(), 0u);
}

TEST(FatScrub, PartitionRecordSavesEighteenFATBytesAfterTheBase) {
  FATPartitionFields f;
  f.fileSystemType = 2;
  f.sectorsPerCluster = 8;
  f.dataStart = 1000;
  f.sectorCount = 123456;
  f.reservedSectors = 0x1234;
  f.fatSize = 0x89ABCDEF;
  f.clusterCount = 77777;
  f.rootInfo = 2;
  f.AddFlags(kFATFlagFAT32Boot | kFATFlagFAT32Backup);
  f.AddFlags(kFATFlagPrimaryFATSeen | kFATFlagLoadPrimary);
  EXPECT_EQ(f.flags, 0xCCu);
  CFATSearchedPartitionInfo record(4096);
  record.Assign(f);
  EXPECT_EQ(record.GetSearchKind(), EPartitionKind::FAT);
  EXPECT_EQ(record.GetType(), EFileSystemType::FAT32);
  EXPECT_EQ(record.GetClusterStartSector(), 1000u);  // the data start: FAT runs count from cluster 2
  EXPECT_TRUE(record.FoundByBootSector());
  EXPECT_EQ(record.IsNodeInPartition(nullptr), 0);  // no owner
  EXPECT_EQ(record.LoadNodeDataRuns(nullptr), 0);

  CMemoryScanStream stream;
  ASSERT_TRUE(record.Save(&stream));
  ASSERT_EQ(stream.Bytes().size(), CSearchedPartitionInfo::kSavedBaseSize + CFATSearchedPartitionInfo::kSavedFATSize);
  EXPECT_EQ(stream.Bytes()[CSearchedPartitionInfo::kSavedBaseSize], 0x34);
  CFATSearchedPartitionInfo loaded;
  ASSERT_TRUE(loaded.Load(&stream));
  EXPECT_EQ(loaded.GetReservedSectors(), 0x1234);
  EXPECT_EQ(loaded.GetFATSize(), 0x89ABCDEFu);
  EXPECT_EQ(loaded.GetClusterCount(), 77777u);
  EXPECT_EQ(loaded.GetRootInfo(), 2u);
  EXPECT_EQ(loaded.GetFlags(), 0xCCu);
  EXPECT_EQ(loaded.GetBytesPerSector(), 4096u);

  // A short stream changes nothing of the FAT part.
  std::vector<uint8_t> cut(stream.Bytes().begin(), stream.Bytes().end() - 1);
  CMemoryScanStream shortStream(cut.data(), cut.size());
  CFATSearchedPartitionInfo untouched;
  EXPECT_FALSE(untouched.Load(&shortStream));
  EXPECT_EQ(untouched.GetFlags(), 0u);
  EXPECT_EQ(untouched.GetFATSize(), 0u);
}

TEST(FatScrub, QuickSearchIsRegisteredForTheFATTypes) {
  ClearScanEngineRegistry();
  RegisterFATQuickSearch();
  for (EFileSystemType type : {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32}) {
    std::unique_ptr<IQuickFileSystemSearchController> q(CreateQuickSearch(type));
    ASSERT_NE(q, nullptr);
    std::vector<CSearchedPartitionInfo*> partitions;
    q->GetPartitions(partitions);
    ASSERT_EQ(partitions.size(), 1u);
    EXPECT_EQ(partitions[0]->GetSearchKind(), EPartitionKind::FAT);
  }
  EXPECT_FALSE(HasQuickSearch(EFileSystemType::exFAT));
  // Without SetOptions there is no target and nothing is written.
  OpenerSpy spy;
  std::vector<uint8_t> bytes(70000 * 512, 0);
  const std::vector<uint8_t> boot = fattest::Fat32Boot();
  std::memcpy(bytes.data(), boot.data(), 512);
  const uint8_t fat[12] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  std::memcpy(bytes.data() + 32 * 512, fat, sizeof fat);
  MemoryDevice dev(bytes);
  CFATQuickSearch search;
  EXPECT_EQ(search.QuickSearchFiles(&dev, nullptr), fatscrub::kNoWriter);
  EXPECT_FALSE(search.GetWipeTarget().IsSet());
  EXPECT_EQ(spy.asked, 0);
  ClearScanEngineRegistry();
}

// A FAT16 volume in memory: boot sector, FATs whose first entries are
// `fatStart`.
std::vector<uint8_t> Fat16Volume(const uint8_t fatStart[8]) {
  const std::vector<uint8_t> boot = fattest::Fat16Boot();
  std::vector<uint8_t> bytes(40000 * 512, 0);
  std::memcpy(bytes.data(), boot.data(), 512);
  std::memcpy(bytes.data() + 4 * 512, fatStart, 8);
  std::memcpy(bytes.data() + (4 + 40) * 512, fatStart, 8);
  return bytes;
}

TEST(FatScrub, BootSectorAcceptedByEitherFATSignature) {
  const uint8_t fat16[8] = {0xF8, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  const uint8_t fat32[8] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  const uint8_t none[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  int type = 0;
  MemoryDevice a(Fat16Volume(fat16));
  EXPECT_TRUE(CFATQuickScrub::CheckBootSector(a.Bytes().data(), 0, &a, &type));
  EXPECT_EQ(type, 1);
  MemoryDevice b(Fat16Volume(fat32));
  EXPECT_TRUE(CFATQuickScrub::CheckBootSector(b.Bytes().data(), 0, &b, &type));
  EXPECT_EQ(type, 2);
  MemoryDevice c(Fat16Volume(none));
  EXPECT_FALSE(CFATQuickScrub::CheckBootSector(c.Bytes().data(), 0, &c, &type));
  EXPECT_EQ(type, 9);
}

TEST(FatScrub, FAT16BootWithFAT32SignatureKeepsItsTypeAndIsNotScrubbed) {
  // The FAT does not hold as a FAT16 table: nothing is written.
  const uint8_t fat32[8] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  MemoryDevice dev(Fat16Volume(fat32));
  OpenerSpy spy;
  CFATQuickScrub scrub;
  scrub.SetOptions(0, 0);
  EXPECT_EQ(scrub.QuickSearchFiles(&dev), fatscrub::kNotClean);
  EXPECT_EQ(scrub.GetPartition().flags, 0xCCu);
  EXPECT_EQ(scrub.GetPartition().fileSystemType, 1u);
  EXPECT_EQ(spy.asked, 0);
}

TEST(FatScrub, RefusalsBeforeAnyWrite) {
  OpenerSpy spy;
  EXPECT_EQ(ScrubFATVolume(nullptr, 0, 0, nullptr), fatscrub::kNoDevice);

  // A damaged sector 0 with a good backup boot sector at 6: the backup may
  // be read by the searches, never written by.
  std::vector<uint8_t> bytes(70000 * 512, 0);
  const std::vector<uint8_t> boot = fattest::Fat32Boot();
  std::memcpy(bytes.data() + 6 * 512, boot.data(), 512);
  const uint8_t fat[8] = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F};
  std::memcpy(bytes.data() + 32 * 512, fat, 8);
  MemoryDevice dev(bytes);
  EXPECT_EQ(ScrubFATVolume(&dev, 0, 0, nullptr), fatscrub::kNoBootSector);

  // The same volume with its boot sector in place but its target unknown.
  std::memcpy(dev.Bytes().data(), boot.data(), 512);
  CFATQuickScrub scrub;
  EXPECT_EQ(scrub.QuickSearchFiles(&dev), fatscrub::kNoWriter);
  EXPECT_EQ(spy.asked, 0);
  // The writer cannot be opened.
  Put32(dev.Bytes().data() + 32 * 512 + 8, 0x0FFFFFFF);  // root cluster 2: end of chain
  EXPECT_EQ(ScrubFATVolume(&dev, 3, 0, nullptr), fatscrub::kNoWriter);
  EXPECT_EQ(spy.asked, 1);
}

}  // namespace
