// Volume records: overlap of extents, the lettered-first order, bounded
// texts, the extents of a dynamic volume with more extents than slots, and
// the service's pass flags.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "CCollectAllBasicPartitionandDynamicVolume.h"
#include "CDiskDevice.h"
#include "CDiskListService.h"
#include "CLdmDatabase.h"
#include "DriveLetters.h"
#include "TestUtil.h"
#include "VolumeRecord.h"

namespace {

// Disk devices made here open nothing real: the table lists a missing file.
struct NoDisks {
  testutil::TempDir dir{"nodisks"};
  NoDisks() { setenv("VANTOREL_DISKS", (dir.path() + "/none.img").c_str(), 1); }
  ~NoDisks() { unsetenv("VANTOREL_DISKS"); }
};

VolumeRecord Record(char letter, const std::vector<std::tuple<std::shared_ptr<CDiskDevice>, uint64_t, uint64_t>>& ex) {
  VolumeRecord v;
  v.driveLetter = letter;
  int i = 0;
  for (const auto& [disk, start, count] : ex) {
    v.extents[i].disk = disk;
    v.extents[i].startSector = start;
    v.extents[i].sectorCount = count;
    ++i;
  }
  return v;
}

TEST(VolumeRecord, ExtentsOverlapBySameDiskNumberAndIntersectingRanges) {
  NoDisks noDisks;
  auto d0 = std::make_shared<CDiskDevice>(0);
  auto d0b = std::make_shared<CDiskDevice>(0);  // another object of the same disk
  auto d1 = std::make_shared<CDiskDevice>(1);
  struct Case {
    uint64_t s1, c1, s2, c2;
    bool sameDisk, overlap;
  } cases[] = {
      {0, 100, 50, 100, true, true},   {0, 100, 100, 10, true, false}, {100, 10, 0, 100, true, false},
      {100, 10, 0, 101, true, true},   {0, 100, 50, 10, false, false}, {5, 0, 0, 100, true, false},
      {UINT64_MAX - 10, 10, UINT64_MAX - 5, 5, true, true},
  };
  for (const auto& c : cases) {
    VolumeRecord a = Record('D', {{d0, c.s1, c.c1}});
    VolumeRecord b = Record(0, {{c.sameDisk ? d0b : d1, c.s2, c.c2}});
    EXPECT_EQ(ExtentsOverlap(a, b), c.overlap) << c.s1 << "+" << c.c1 << " " << c.s2 << "+" << c.c2;
    EXPECT_EQ(ExtentsOverlap(b, a), c.overlap);
  }
  // A second extent counts too; IsVolumeOfLetter follows the overlap.
  VolumeRecordList list;
  list.push_back(Record('E', {{d1, 0, 10}, {d0, 500, 10}}));
  VolumeRecord unlettered = Record(0, {{d0, 505, 1}});
  EXPECT_TRUE(IsVolumeOfLetter(unlettered, 'E', list));
  EXPECT_FALSE(IsVolumeOfLetter(unlettered, 'F', list));
  unlettered.reserved = 1;
  EXPECT_FALSE(IsVolumeOfLetter(unlettered, 'E', list));
  EXPECT_EQ(FindVolumeByLetter('E', list), &list.front());
  EXPECT_EQ(FindVolumeByLetter('Z', list), nullptr);
}

TEST(VolumeRecord, SortPutsLetteredFirstAndKeepsTheOthersInOrder) {
  VolumeRecordList list;
  const char letters[] = {0, 'E', 0, 'C', 0, 'D'};
  for (int i = 0; i < 6; ++i) {
    VolumeRecord v;
    v.driveLetter = letters[i];
    v.extents[0].startSector = uint64_t(i);
    list.push_back(v);
  }
  CCollectAllBasicPartitionandDynamicVolume::sort(list);
  std::vector<std::pair<char, uint64_t>> got;
  for (const auto& v : list) got.push_back({v.driveLetter, v.extents[0].startSector});
  const std::vector<std::pair<char, uint64_t>> want{{'C', 3}, {'D', 5}, {'E', 1}, {0, 0}, {0, 2}, {0, 4}};
  EXPECT_EQ(got, want);

  // Without any letter the order stays as it was.
  VolumeRecordList none;
  for (int i = 0; i < 3; ++i) {
    VolumeRecord v;
    v.extents[0].startSector = uint64_t(i);
    none.push_back(v);
  }
  CCollectAllBasicPartitionandDynamicVolume::sort(none);
  uint64_t expect = 0;
  for (const auto& v : none) EXPECT_EQ(v.extents[0].startSector, expect++);
}

TEST(VolumeRecord, FormattedTextsStayInTheirBuffers) {
  char out[300];
  memset(out, 'x', sizeof out);
  const std::string longText(400, 'a');
  EXPECT_EQ(FormatString256(out, "%s", longText.c_str()), -1);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(out[256], 'x');
  memset(out, 'x', sizeof out);
  EXPECT_EQ(FormatMaxPath(out, "%s", longText.c_str()), -1);
  EXPECT_EQ(strlen(out), 259u);
  EXPECT_EQ(FormatMaxPath(out, "%d:%s", 7, "ok"), 4);
  EXPECT_STREQ(out, "7:ok");

  const uint8_t guid[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe};
  char path[260];
  GetVolumeGuidPath(guid, path);
  EXPECT_STREQ(path, "\\\\?\\Volume{01234567-89ab-cdef-1032-547698badcfe}\\");
}

// A dynamic device with many extents on a few disks.
class ManyExtentDevice : public IDynamicDevice {
 public:
  ManyExtentDevice(const std::vector<IStorageDevice*>& disks, int count)
      : IDynamicDevice(EDynamicVolumeType::Spanned, LdmVolumeInfo{}) {
    m_extents.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
      m_extents[size_t(i)].startSector = 1000 + uint64_t(i) * 10;
      m_extents[size_t(i)].sectorCount = 10;
      m_extents[size_t(i)].device = disks[size_t(i) % disks.size()];
    }
  }
  int ReadSectors(void*, uint64_t, uint64_t) override { return 0; }
  int GetSectorSize() override { return 512; }
  void CopyExtents(std::vector<LdmExtentRecord*>& out) override {
    for (auto& e : m_extents) out.push_back(&e);
  }

 private:
  std::vector<LdmExtentRecord> m_extents;
};

TEST(VolumeRecord, DynamicExtentsFillAtMostTheSlotsAndTheTextStaysBounded) {
  NoDisks noDisks;
  DiskDeviceList disks{std::make_shared<CDiskDevice>(0), std::make_shared<CDiskDevice>(1),
                       std::make_shared<CDiskDevice>(2)};
  std::vector<IStorageDevice*> raw;
  for (const auto& d : disks) raw.push_back(d.get());
  for (int count : {3, 40, 600}) {
    SCOPED_TRACE(count);
    DynamicVolumeEntry entry;
    entry.device = new ManyExtentDevice(raw, count);
    VolumeRecord v;
    FillDynamicVolumeExtents(entry, v, disks);
    EXPECT_EQ(v.ExtentCount(), std::min(count, kMaxVolumeExtents));
    EXPECT_EQ(v.extents[1].startSector, 1010u);
    EXPECT_EQ(v.extents[2].disk, *std::next(disks.begin(), 2));
    const size_t len = strnlen(v.parentDiskText, sizeof v.parentDiskText);
    EXPECT_LT(len, sizeof v.parentDiskText);
  }
}

TEST(VolumeRecord, SpaceTextOfAnUnmountedVolumeIsItsSize) {
  NoDisks noDisks;
  CDiskListService service(false);
  VolumeMemberExtent extents[kMaxVolumeExtents];
  extents[0].disk = std::make_shared<CDiskDevice>(0);
  extents[0].startSector = 2048;
  extents[0].sectorCount = 2 * 2048;  // 2 MiB at 512 bytes
  std::string text;
  float used = -1;
  EXPECT_EQ(service.FormatVolumeSpaceText(extents, text, &used, nullptr), 2u * 1048576u);
  EXPECT_EQ(text, "2 MB");
  EXPECT_EQ(used, -1);
  EXPECT_EQ(FileSystemTypeFromName("FAT"), EFileSystemType::FAT16);
  EXPECT_EQ(FileSystemTypeFromName("FAT32"), EFileSystemType::FAT32);
  EXPECT_EQ(FileSystemTypeFromName("NTFS"), EFileSystemType::NTFS);
  EXPECT_EQ(FileSystemTypeFromName("ntfs"), EFileSystemType::Unknown);
}

}  // namespace

namespace {

TEST(VolumeRecord, DynamicVolumeWhoseLetterLeadsElsewhereIsDropped) {
  NoDisks noDisks;
  platform::ForgetDriveLettersForTest();
  auto disk = std::make_shared<CDiskDevice>(0);
  VolumeRecordList list;
  VolumeRecord basic = Record('Q', {{disk, 2048, 100}});
  VolumeRecord dynamicLettered = Record('Q', {{disk, 2048, 100}});
  dynamicLettered.kind = kVolumeKindDynamic;
  VolumeRecord dynamicUnlettered = Record(0, {{disk, 4096, 100}});
  dynamicUnlettered.kind = kVolumeKindDynamic;
  list = {basic, dynamicLettered, dynamicUnlettered};
  CDiskListService::MatchVolumeLetters(list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.front().kind, kVolumeKindBasic);
  EXPECT_EQ(list.back().extents[0].startSector, 4096u);
}

}  // namespace
