// The registration the program and vtctl make at start: one analyser per
// file-system kind, and storage answering "nothing recognised" until then.
// The analysers themselves are checked on real volumes by the partition
// image tests, and vtctl's registration by its own output there.
#include <gtest/gtest.h>

#include <vector>

#include "CVolumeAnalyzeList.h"
#include "MemoryDevice.h"
#include "VolumeAnalyserRegistry.h"
#include "VolumeAnalysers.h"
#include "VolumeTypeServices.h"

namespace {

const char* KindName(EVolumeAnalyserKind kind) {
  switch (kind) {
    case EVolumeAnalyserKind::NTFS:
      return "NTFS";
    case EVolumeAnalyserKind::FAT:
      return "FAT";
    case EVolumeAnalyserKind::exFAT:
      return "exFAT";
    case EVolumeAnalyserKind::HFSPlus:
      return "HFS+";
    case EVolumeAnalyserKind::Ext2:
      return "Ext2";
  }
  return "?";
}

// Only FAT and NTFS are told from their boot sector alone.
bool ReadsBootSectors(EVolumeAnalyserKind kind) {
  return kind == EVolumeAnalyserKind::FAT || kind == EVolumeAnalyserKind::NTFS;
}

TEST(VolumeAnalysers, TheRootsRegistrationCoversEveryKind) {
  ClearVolumeAnalysers();
  RegisterVolumeAnalysers();
  RegisterVolumeAnalysers();  // a second call changes nothing
  for (EVolumeAnalyserKind kind : kVolumeAnalyserOrder) {
    SCOPED_TRACE(KindName(kind));
    const VolumeAnalyser a = GetVolumeAnalyser(kind);
    EXPECT_TRUE(a.analyse);
    EXPECT_EQ(bool(a.bootSectorType), ReadsBootSectors(kind));
    EXPECT_EQ(bool(a.bootSectorTotalSectors), ReadsBootSectors(kind));
    EXPECT_EQ(bool(a.label), ReadsBootSectors(kind));
  }

  // Over a blank device every analyser runs and none recognises anything.
  std::vector<unsigned char> zeros(64 * 512, 0);
  testutil::MemoryDevice blank(zeros);
  CVolumeAnalyzeList analysers(&blank, 0);
  ASSERT_FALSE(analysers.Analyzers().empty());
  EXPECT_EQ(analysers.GetRecognizedVolume()->GetFileSystemType(), EFileSystemType::Unknown);
}

TEST(VolumeAnalysers, WithoutRegistrationStorageRecognisesNothingAndStaysSafe) {
  ClearVolumeAnalysers();
  for (EVolumeAnalyserKind kind : kVolumeAnalyserOrder) EXPECT_FALSE(GetVolumeAnalyser(kind).analyse);
  std::vector<unsigned char> zeros(64 * 512, 0);
  testutil::MemoryDevice blank(zeros);
  CVolumeAnalyzeList analysers(&blank, 0);
  EXPECT_TRUE(analysers.Analyzers().empty());
  EXPECT_EQ(analysers.GetRecognizedVolume(), nullptr);
  EXPECT_EQ(AnalyseVolumeType(&blank, EFileSystemType::FAT32), EFileSystemType::FAT32);
  EXPECT_EQ(DetectFileSystemFromBootSector(zeros.data(), 512), EFileSystemType::Unknown);
  EXPECT_EQ(GetBootSectorTotalSectors(zeros.data(), 512, EFileSystemType::NTFS), 0u);
  char label[100] = "untouched";
  EXPECT_FALSE(GetVolumeLabelByType(&blank, EFileSystemType::FAT16, label, sizeof label));
  EXPECT_STREQ(label, "untouched");

  // An empty registration removes a kind again.
  RegisterVolumeAnalysers();
  RegisterVolumeAnalyser(EVolumeAnalyserKind::Ext2, VolumeAnalyser{});
  EXPECT_FALSE(GetVolumeAnalyser(EVolumeAnalyserKind::Ext2).analyse);
  EXPECT_TRUE(GetVolumeAnalyser(EVolumeAnalyserKind::NTFS).analyse);
  ClearVolumeAnalysers();
}

}  // namespace
