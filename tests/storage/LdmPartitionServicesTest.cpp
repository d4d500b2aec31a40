// Dynamic disks made by ldmgen, seen by the partition-table parser and read
// by the LDM database with the partition code's services installed.
#include "CLdmDatabase.h"
#include "CPartitionTableAnalyze.h"
#include "ImageFileDevice.h"
#include "LdmLayout.h"
#include "TestUtil.h"
#include "VolumeAnalysers.h"
#include "VolumeTypeServices.h"

TEST(LdmPartitionServices, DynamicDisksGiveNoBasicPartitionsAndTheirVolumesStay) {
  for (const char* style : {"mbr", "gpt"}) {
    SCOPED_TRACE(style);
    testutil::TempDir dir("ldmsvc");
    const auto L = ldmtest::Generate(dir.path(), style, 2);
    ASSERT_FALSE(L.groupGuid.empty());
    std::vector<std::unique_ptr<ImageFileDevice>> owned;
    std::vector<IStorageDevice*> disks;
    for (size_t i = 0; i < L.disks.size(); ++i) {
      owned.emplace_back(new ImageFileDevice(L.DiskPath(i)));
      disks.push_back(owned.back().get());
      EXPECT_TRUE(IsDynamicDisk(disks.back()));
      PartitionRecordList list;
      EXPECT_EQ(AnalyzePartitionTable(disks.back(), list), 0);
    }

    RegisterVolumeAnalysers();
    InstallLdmVolumeServices();
    std::vector<DynamicVolumeEntry*> entries;
    CLdmDatabase db;
    EXPECT_EQ(db.CollectDynamicVolumes(disks, entries), int(L.volumes.size()));
    for (DynamicVolumeEntry* e : entries) {
      // The volumes hold the generator's patterns: no file system, a kind name.
      EXPECT_STRNE(e->typeName, "");
      EXPECT_STREQ(e->label, "");
      delete e;
    }
    SetLdmVolumeServices(LdmVolumeServices{});
  }
}
