// The volume list of the disk list service on disks made by real tools: a
// loop-attached MBR disk (NTFS, FAT32, ext2), a GPT image, a superfloppy
// FAT16 image and three GPT dynamic disks from ldmgen, checked against
// mmls, blkid -p and ldmtool; sticky letters across a rescan; passes run one
// after the other; a held record outlives a rescan.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <QJsonArray>
#include <QJsonObject>

#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "CDiskDevice.h"
#include "CDiskListService.h"
#include "DriveLetters.h"
#include "LdmLayout.h"
#include "TestUtil.h"
#include "VolumeAnalysers.h"
#include "VolumeFixtures.h"
#include "VolumeRecord.h"
#include "VolumeTypeServices.h"

namespace {

using Extent = std::tuple<int, uint64_t, uint64_t>;  // disk number, start, sectors

std::string Blkid(const std::vector<std::string>& args, const std::string& tag) {
  std::vector<std::string> argv{"blkid", "-p", "-o", "value", "-s", tag};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = testutil::Run(argv);
  std::string s = r.output;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// The file system as this program names it, from blkid's TYPE and VERSION.
std::string BlkidKind(const std::vector<std::string>& args) {
  const std::string type = Blkid(args, "TYPE");
  if (type == "ntfs") return "NTFS";
  if (type == "ext2") return "EXT2";
  if (type == "vfat") return Blkid(args, "VERSION");  // FAT16, FAT32
  return "UNKNOWN:" + type;
}

// Allocated partitions (start, length) as mmls lists them.
std::set<std::pair<uint64_t, uint64_t>> Mmls(const std::string& path) {
  std::set<std::pair<uint64_t, uint64_t>> out;
  auto r = testutil::Run({"mmls", path});
  std::istringstream in(r.output);
  std::string line;
  const std::regex row(R"(^\d+:\s+(\d+:\d+|\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s)");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, row)) out.insert({std::stoull(m[2]), std::stoull(m[4])});
  return out;
}

std::string FsName(EFileSystemType t) {
  char name[16];
  GetFileSystemTypeName(t, name);
  return name;
}

std::vector<const VolumeRecord*> OnDisk(const VolumeRecordList& list, int disk) {
  std::vector<const VolumeRecord*> out;
  for (const auto& v : list)
    if (v.ExtentCount() > 0 && v.extents[0].disk->GetDiskNumber() == disk) out.push_back(&v);
  return out;
}

std::set<Extent> ExtentsOf(const VolumeRecord& v) {
  std::set<Extent> out;
  for (int i = 0; i < v.ExtentCount(); ++i)
    out.insert(Extent(v.extents[i].disk->GetDiskNumber(), v.extents[i].startSector, v.extents[i].sectorCount));
  return out;
}

class VolumeListImage : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterVolumeAnalysers();  // as the program does at start
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root for loop devices";
    for (const char* tool : {"losetup", "sfdisk", "sgdisk", "mkntfs", "mkfs.fat", "mke2fs", "mmls", "blkid", "ldmtool"})
      if (!testutil::HaveTool(tool)) GTEST_SKIP() << "missing " << tool;
    dir = std::make_unique<testutil::TempDir>("volumelist");
    const std::string d = dir->path();
    mbr = d + "/mbr.img";
    ASSERT_TRUE(volfix::MakePartitionedImage(mbr, 64,
                                             {"start=2048, size=16384, type=7", "start=18432, size=73728, type=c",
                                              "start=92160, size=16384, type=83"}));
    loop = std::make_unique<testutil::LoopDevice>(mbr);
    ASSERT_TRUE(loop->ok());
    ASSERT_TRUE(loop->WaitForPartition(3));
    ASSERT_EQ(testutil::Run({"mkntfs", "-Q", "-F", "-L", "NTFSVOL", loop->Part(1)}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "32", "-s", "1", "-n", "FATVOL", loop->Part(2)}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-L", "EXTVOL", loop->Part(3)}).exitCode, 0);

    gpt = d + "/gpt.img";
    ASSERT_EQ(testutil::Run({"truncate", "-s", "16M", gpt}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"sgdisk", "-n", "1:2048:+8M", "-t", "1:0700", gpt}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-s", "1", "-n", "GPTFAT", "--offset", "2048", gpt, "8192"}).exitCode, 0);

    floppy = d + "/floppy.img";
    ASSERT_EQ(testutil::Run({"truncate", "-s", "16M", floppy}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-n", "FLOPPY", floppy}).exitCode, 0);

    layout = ldmtest::Generate(d, "gpt", 3);
    ASSERT_FALSE(layout.groupGuid.empty()) << "ldmgen failed";
    disksVar = loop->Path() + ":" + gpt + ":" + floppy;
    for (size_t i = 0; i < layout.disks.size(); ++i) disksVar += ":" + layout.DiskPath(i);
    env = std::make_unique<volfix::EnvGuard>(disksVar);
  }

  std::unique_ptr<testutil::TempDir> dir;
  std::string mbr, gpt, floppy, disksVar;
  std::unique_ptr<testutil::LoopDevice> loop;
  ldmtest::Layout layout;
  std::unique_ptr<volfix::EnvGuard> env;
};

TEST_F(VolumeListImage, ListEqualsWhatTheToolsSayAndLettersStayAcrossARescan) {
  // Attached later in the test; it outlives the service, which holds the
  // disks it lists open until it goes.
  std::unique_ptr<testutil::LoopDevice> extraLoop;
  CDiskListService service(true);
  service.WaitForPasses();
  ASSERT_EQ(DiskListReady.load(), 1);
  const VolumeRecordList list = service.GetVolumeList();

  // Disk 0: the loop MBR disk; every partition as mmls says, typed and
  // labelled as blkid says, with a letter and its own partition node.
  auto basics = OnDisk(list, 0);
  std::set<std::pair<uint64_t, uint64_t>> got;
  for (const auto* v : basics) got.insert({v->extents[0].startSector, v->extents[0].sectorCount});
  EXPECT_EQ(got, Mmls(loop->Path()));
  ASSERT_EQ(basics.size(), 3u);
  for (const auto* v : basics) {
    int n = v->extents[0].startSector == 2048 ? 1 : v->extents[0].startSector == 18432 ? 2 : 3;
    SCOPED_TRACE(n);
    EXPECT_EQ(v->kind, kVolumeKindBasic);
    EXPECT_EQ(FsName(v->fileSystem), BlkidKind({loop->Part(n)}));
    EXPECT_EQ(std::string(v->label), Blkid({loop->Part(n)}, "LABEL"));
    ASSERT_NE(v->driveLetter, 0);
    platform::LetteredVolume lv;
    ASSERT_TRUE(platform::GetLetteredVolume(v->driveLetter, &lv));
    EXPECT_EQ(lv.location.devicePath, loop->Part(n));
  }

  // Disk 1: the GPT image; disk 2: the superfloppy.
  auto gptVols = OnDisk(list, 1);
  ASSERT_EQ(gptVols.size(), 1u);
  EXPECT_EQ(Mmls(gpt).count({gptVols[0]->extents[0].startSector, gptVols[0]->extents[0].sectorCount}), 1u);
  EXPECT_EQ(FsName(gptVols[0]->fileSystem), BlkidKind({"-O", "1048576", gpt}));
  EXPECT_EQ(std::string(gptVols[0]->label), "GPTFAT");
  auto floppyVols = OnDisk(list, 2);
  ASSERT_EQ(floppyVols.size(), 1u);
  EXPECT_EQ(floppyVols[0]->extents[0].startSector, 0u);
  EXPECT_EQ(FsName(floppyVols[0]->fileSystem), BlkidKind({floppy}));
  EXPECT_EQ(std::string(floppyVols[0]->label), Blkid({floppy}, "LABEL"));

  // Disks 3 to 5: the dynamic disks. Each ldmtool volume once, with its
  // partitions as extents; no basic volume on those disks; only a volume of
  // one extent has a letter.
  std::map<std::string, int> diskNumberOfName;
  std::map<std::string, uint64_t> dataStartOfName;
  for (size_t i = 0; i < layout.disks.size(); ++i) {
    auto disk = ldmtest::Ldmtool(layout, {"show", "disk", layout.groupGuid, layout.disks[i].name}).object();
    diskNumberOfName[layout.disks[i].name] = 3 + int(i);
    dataStartOfName[layout.disks[i].name] = uint64_t(disk["data-start"].toDouble());
  }
  std::multiset<std::set<Extent>> want, have;
  std::set<std::set<Extent>> singleExtent;
  for (const auto& vol : layout.volumes) {
    auto v = ldmtest::Ldmtool(layout, {"show", "volume", layout.groupGuid, vol.name}).object();
    std::set<Extent> extents;
    for (const auto& p : v["partitions"].toArray()) {
      auto part = ldmtest::Ldmtool(layout, {"show", "partition", layout.groupGuid, p.toString().toStdString()}).object();
      const std::string disk = part["disk"].toString().toStdString();
      extents.insert(Extent(diskNumberOfName[disk], dataStartOfName[disk] + uint64_t(part["start"].toDouble()),
                            uint64_t(part["size"].toDouble())));
    }
    want.insert(extents);
  }
  int dynamicCount = 0;
  for (const auto& v : list) {
    if (v.kind != kVolumeKindDynamic) {
      EXPECT_LT(v.extents[0].disk->GetDiskNumber(), 3) << "a basic volume on a dynamic disk";
      continue;
    }
    ++dynamicCount;
    have.insert(ExtentsOf(v));
    if (v.ExtentCount() == 1) {
      EXPECT_NE(v.driveLetter, 0) << v.label;
      platform::LetteredVolume lv;
      ASSERT_TRUE(platform::GetLetteredVolume(v.driveLetter, &lv));
      EXPECT_EQ(lv.diskNumber, v.extents[0].disk->GetDiskNumber());
      EXPECT_EQ(lv.startSector, v.extents[0].startSector);
    } else {
      EXPECT_EQ(v.driveLetter, 0) << "a volume of " << v.ExtentCount() << " extents has a letter";
      // Nor does the lock layer know any of its extents.
      for (const auto& lv : platform::ListLetteredVolumes())
        for (int i = 0; i < v.ExtentCount(); ++i)
          EXPECT_FALSE(lv.diskNumber == v.extents[i].disk->GetDiskNumber() &&
                       lv.startSector == v.extents[i].startSector)
              << lv.letter;
      EXPECT_EQ(std::count(v.parentDiskText, v.parentDiskText + strlen(v.parentDiskText), '\n'),
                v.ExtentCount() - 1);
    }
  }
  EXPECT_EQ(dynamicCount, int(layout.volumes.size()));
  EXPECT_EQ(have, want);

  // Lettered volumes come first, in letter order.
  char last = 0;
  bool seenUnlettered = false;
  for (const auto& v : list) {
    if (v.driveLetter == 0) {
      seenUnlettered = true;
      continue;
    }
    EXPECT_FALSE(seenUnlettered);
    EXPECT_GT(v.driveLetter, last);
    last = v.driveLetter;
  }

  // vtctl prints the same list.
  auto r = testutil::Run({std::string(VANTOREL_BIN_DIR) + "/vtctl", "volumes"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  for (const auto& v : list) {
    if (v.driveLetter) {
      EXPECT_NE(r.output.find(std::string("\n") + v.driveLetter + " "), std::string::npos) << r.output;
    }
  }
  EXPECT_NE(r.output.find(loop->Part(1)), std::string::npos) << r.output;

  // Another loop device arrives: every volume keeps its letter.
  std::map<std::pair<std::string, uint64_t>, char> before;
  for (const auto& lv : platform::ListLetteredVolumes()) before[{lv.diskPath, lv.startSector}] = lv.letter;
  const std::string extra = dir->path() + "/extra.img";
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", extra}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-s", "1", "-n", "EXTRA", extra}).exitCode, 0);
  extraLoop = std::make_unique<testutil::LoopDevice>(extra);
  ASSERT_TRUE(extraLoop->ok()) << extraLoop->error();
  env->Set(extraLoop->Path() + ":" + disksVar);  // the new disk first: numbers move, letters must not
  service.StartEnumThread();
  service.WaitForPasses();
  const VolumeRecordList after = service.GetVolumeList();
  std::set<char> oldLetters;
  for (const auto& [key, letter] : before) oldLetters.insert(letter);
  int matched = 0;
  for (const auto& v : after) {
    if (!v.driveLetter) continue;
    platform::LetteredVolume lv;
    ASSERT_TRUE(platform::GetLetteredVolume(v.driveLetter, &lv));
    auto it = before.find({lv.diskPath, lv.startSector});
    if (lv.diskPath == extraLoop->Path()) {
      EXPECT_EQ(oldLetters.count(v.driveLetter), 0u) << "the new disk took an old letter";
      continue;
    }
    ASSERT_NE(it, before.end()) << lv.diskPath << " " << lv.startSector;
    EXPECT_EQ(it->second, v.driveLetter);
    ++matched;
  }
  EXPECT_EQ(matched, int(before.size()));
  service.Shutdown();
}

TEST_F(VolumeListImage, BasicPartitionUnderADynamicVolumeIsListedOnce) {
  CDiskListService service(true);
  service.WaitForPasses();
  DiskDeviceList disks = service.GetDiskList();
  ASSERT_FALSE(disks.empty());
  // A dynamic volume laid over the FAT32 partition of disk 0 (as a GPT
  // dynamic disk's data partition would be seen by the kernel).
  VolumeRecordList dynamicVolumes;
  VolumeRecord dyn;
  dyn.kind = kVolumeKindDynamic;
  dyn.extents[0].disk = disks.front();
  dyn.extents[0].startSector = 20000;
  dyn.extents[0].sectorCount = 100;
  dynamicVolumes.push_back(dyn);
  VolumeRecordList basics;
  CollectBasicVolumes({disks.front()}, basics, dynamicVolumes);
  std::set<uint64_t> starts;
  for (const auto& v : basics) starts.insert(v.extents[0].startSector);
  EXPECT_EQ(starts, (std::set<uint64_t>{2048, 92160}));
  service.Shutdown();
}

TEST_F(VolumeListImage, PassesRunOneAfterTheOtherAndAHeldRecordOutlivesARescan) {
  std::mutex lock;
  std::vector<int> readyAtEnd;
  CDiskListService::SetPassListener([&] {
    std::lock_guard<std::mutex> g(lock);
    readyAtEnd.push_back(DiskListReady.load());
  });
  CDiskListService service(false);
  service.StartEnumThread();
  service.StartEnumThread();
  EXPECT_EQ(DiskListReady.load(), 0);
  EXPECT_TRUE(CDiskListService::IsPassRunning());
  service.WaitForPasses();
  EXPECT_EQ(DiskListReady.load(), 1);
  EXPECT_EQ(DiskListBusy.load(), 0);
  {
    std::lock_guard<std::mutex> g(lock);
    EXPECT_EQ(readyAtEnd, (std::vector<int>{0, 1}));
  }

  // A run holds the NTFS record; a rescan rebuilds the list meanwhile.
  VolumeRecord held;
  for (const auto& v : service.GetVolumeList())
    if (v.fileSystem == EFileSystemType::NTFS && v.kind == kVolumeKindBasic) held = v;
  ASSERT_TRUE(held.volumeDevice);
  std::weak_ptr<IStorageDevice> device = held.volumeDevice;
  std::weak_ptr<CDiskDevice> disk = held.extents[0].disk;
  service.StartEnumThread();
  service.WaitForPasses();
  service.ClearLists();
  ASSERT_FALSE(device.expired());
  ASSERT_FALSE(disk.expired());
  std::vector<uint8_t> sector(512);
  ASSERT_NE(held.volumeDevice->ReadSectors(sector.data(), 0, 1), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sector.data()) + 3, 8), "NTFS    ");
  const std::string onDisk = volfix::DdRead(mbr, 2048 * 512, 512, dir->path() + "/bs");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(sector.data()), 512), onDisk);
  // The copy was all that kept them.
  held = VolumeRecord();
  EXPECT_TRUE(device.expired());
  EXPECT_TRUE(disk.expired());
  CDiskListService::SetPassListener(nullptr);

  // A mounted volume shows its free space from statvfs; an unmounted one
  // only its size.
  const std::string point = dir->path() + "/mnt";
  volfix::TestMount mount(point, {"mount", "-t", "ext2", loop->Part(3), point});
  if (!mount.ok()) GTEST_SKIP() << "cannot mount ext2: " << mount.output();
  service.StartEnumThread();
  service.WaitForPasses();
  for (const auto& v : service.GetVolumeList()) {
    if (v.ExtentCount() != 1 || v.extents[0].disk->GetDiskNumber() != 0) continue;
    std::string text;
    float used = -1;
    const uint64_t total = service.FormatVolumeSpaceText(v.extents, text, &used, nullptr);
    LogicalVolumeInfo info;
    if (v.extents[0].startSector == 92160) {
      ASSERT_TRUE(service.FindLogicalVolume(0, 92160, &info));
      EXPECT_EQ(info.volumePath, point);
      struct statvfs st;
      ASSERT_EQ(statvfs(point.c_str(), &st), 0);
      EXPECT_EQ(info.totalBytes, uint64_t(st.f_blocks) * st.f_frsize);
      EXPECT_EQ(total, info.totalBytes);
      EXPECT_NE(text.find(" MB free of "), std::string::npos) << text;
      EXPECT_GE(used, 0);
      uint64_t freeBytes = 0;
      EXPECT_EQ(GetDriveFreeSpace(v.driveLetter, &freeBytes), int64_t(info.freeBytes));
    } else {
      EXPECT_FALSE(service.FindLogicalVolume(0, v.extents[0].startSector, &info));
      EXPECT_EQ(total, v.extents[0].sectorCount * 512);
      EXPECT_EQ(text.find("free"), std::string::npos) << text;
      EXPECT_EQ(used, -1);
      uint64_t freeBytes = 77;
      EXPECT_EQ(GetDriveFreeSpace(v.driveLetter, &freeBytes), -1);
      EXPECT_EQ(freeBytes, 77u);
      EXPECT_EQ(GetDriveSpaceInfo(v.driveLetter), int64_t(total));
    }
  }
  service.Shutdown();
}

}  // namespace
