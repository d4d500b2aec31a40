#include "CCollectAllBasicPartitionandDynamicVolume.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "CBasicPartitionDevice.h"
#include "CDiskDevice.h"
#include "CElapsedTimer.h"
#include "CLdmDatabase.h"
#include "CPartitionTableAnalyze.h"
#include "CVolumeManager.h"
#include "DiskTable.h"
#include "DriveLetters.h"
#include "RunLog.h"
#include "StorageDeviceInfo.h"
#include "VolumeTypeServices.h"

namespace {

constexpr int kMaxDiskNumbers = 32;
constexpr uint32_t kBusTypeUsb = 7;

// The disk and volume tables of a listing pass reach the run log whole only
// when they differ from the last pass's: device events make many passes over
// the same disks, and each then writes one line.
thread_local std::vector<std::string> t_tableLines;

void TableLine(const char* format, ...) RUNLOG_PRINTF(1, 2);
void TableLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  t_tableLines.push_back(RunLogVFormat(format, args));
  va_end(args);
}

void FlushTableLines(size_t disks, size_t volumes) {
  static std::mutex lock;
  static std::string last;
  std::string text;
  for (const std::string& line : t_tableLines) text += line + '\n';
  bool same;
  {
    std::lock_guard<std::mutex> guard(lock);
    same = text == last;
    last = text;
  }
  if (same)
    LogInfo("Disk list pass: %zu disks, %zu volumes, as at the last pass", disks, volumes);
  else
    for (const std::string& line : t_tableLines) LogInfo("%s", line.c_str());
  t_tableLines.clear();
}

// Keeps a volume device and the disks it reads through alive together: the
// device goes first, then the disks.
struct DeviceHolder {
  std::vector<std::shared_ptr<CDiskDevice>> disks;
  std::unique_ptr<IStorageDevice> device;
};

std::shared_ptr<IStorageDevice> ShareDevice(IStorageDevice* owned, std::vector<std::shared_ptr<CDiskDevice>> disks) {
  auto holder = std::make_shared<DeviceHolder>();
  holder->disks = std::move(disks);
  holder->device.reset(owned);
  IStorageDevice* raw = holder->device.get();
  return std::shared_ptr<IStorageDevice>(std::move(holder), raw);
}

void CopyText(char* out, size_t size, const char* text) {
  snprintf(out, size, "%s", text ? text : "");
}

const char* FsName(EFileSystemType type, char* buffer) {
  GetFileSystemTypeName(type, buffer);
  return buffer;
}

bool SameRange(uint64_t s1, uint64_t c1, uint64_t s2, uint64_t c2) {
  if (c1 == 0 || c2 == 0) return false;
  return s1 < s2 ? s2 - s1 < c1 : s1 - s2 < c2;
}

// Whether the extent lies (partly) on one of the dynamic volumes.
bool UnderDynamicVolume(int diskNumber, uint64_t start, uint64_t count, const VolumeRecordList& dynamicVolumes) {
  for (const VolumeRecord& v : dynamicVolumes) {
    const int n = v.ExtentCount();
    for (int i = 0; i < n; ++i)
      if (v.extents[i].disk->GetDiskNumber() == diskNumber &&
          SameRange(start, count, v.extents[i].startSector, v.extents[i].sectorCount))
        return true;
  }
  return false;
}

}  // namespace

void FormatDiskText(CDiskDevice* disk, char* out) {
  out[0] = 0;
  StorageDeviceInfo info;
  if (!disk || !disk->QueryStorageProperty(&info)) return;
  char* vendor = TrimDescriptorString(info.vendor);
  char* product = TrimDescriptorString(info.product);
  std::string text;
  if (vendor[0] == 0 || vendor[0] == '(' || vendor[0] == ' ')
    text = std::string(product) + "  " + info.busTypeText;
  else
    text = std::string(vendor) + "  " + product + "  " + info.busTypeText;
  CopyText(out, kDiskTextChars + 1, text.c_str());
}

void CollectDisks(DiskDeviceList& disks) {
  platform::RefreshDiskTable();
  t_tableLines.clear();
  const std::string dashes(106, '-');
  TableLine("%s\r\n", dashes.c_str());
  TableLine("Disk    TotalSectors       Cylinders    Heads    Sectors/Track     DIskInfo");
  for (int number = 0; number < kMaxDiskNumbers; ++number) {
    if (number >= platform::kMaxDisks) break;  // the disk devices refuse these numbers
    platform::DiskEntry entry;
    if (!platform::GetDiskEntry(number, &entry)) continue;
    auto disk = std::make_shared<CDiskDevice>(number);
    if (!disk->IsOpen() || disk->GetSectorCount() == 0) continue;
    char text[kDiskTextChars + 1];
    FormatDiskText(disk.get(), text);
    // The geometry of a translated disk: 255 heads, 63 sectors per track.
    const uint64_t sectors = disk->GetSectorCount();
    TableLine("%d  %16" PRIu64 "  %10" PRIu64 "  %10d   %16d   %30s", number, sectors, sectors / (255 * 63), 255, 63,
              text);
    disks.push_back(std::move(disk));
  }
  TableLine("%s\r\n", dashes.c_str());
  if (disks.empty()) FlushTableLines(0, 0);
}

bool AssignDriveLetters(CDiskDevice* disk, PartitionRecordList& partitions) {
  if (!disk || !disk->IsOpen()) return false;
  const int diskNumber = disk->GetDiskNumber();
  if (diskNumber < 0) return false;
  // Every partition gets its letter, formatted or not, as Windows would mount
  // a raw volume too: the partition page must be able to wipe it.
  for (PartitionRecord* r : partitions) {
    r->driveLetter =
        platform::RegisterVolume(diskNumber, r->startSector, r->sectorCount, CVolumeManager::FsKindOf(r->fileSystem));
  }
  return true;
}

void CollectBasicVolumes(const DiskDeviceList& disks, VolumeRecordList& volumes,
                         const VolumeRecordList& dynamicVolumes) {
  TableLine("-----------------------------begin collect basic volume-----------------------------------");
  TableLine("DriverLetter   FileSystem  StartSector     TotalSectors     ParentDisk: Disk      VolumeLabel\r\n");
  for (const auto& disk : disks) {
    PartitionRecordList partitions;
    AnalyzePartitionTable(disk.get(), partitions);
    if (partitions.empty()) continue;
    const int diskNumber = disk->GetDiskNumber();
    for (auto it = partitions.begin(); it != partitions.end();) {
      PartitionRecord* r = *it;
      if (UnderDynamicVolume(diskNumber, r->startSector, r->sectorCount, dynamicVolumes)) {
        TableLine("Partition at sector %" PRIu64 " of disk %d lies on a dynamic volume; listed as that volume",
                  r->startSector, diskNumber);
        delete r->device;
        delete r;
        it = partitions.erase(it);
      } else {
        ++it;
      }
    }
    AssignDriveLetters(disk.get(), partitions);
    StorageDeviceInfo info;
    const bool usb = disk->QueryStorageProperty(&info) && info.busType == kBusTypeUsb;
    char diskText[kDiskTextChars + 1];
    FormatDiskText(disk.get(), diskText);
    for (PartitionRecord* r : partitions) {
      if (!r->device) continue;
      VolumeRecord v;
      v.volumeDevice = ShareDevice(r->device, {disk});
      r->device = nullptr;
      v.kind = kVolumeKindBasic;
      v.fileSystem = r->fileSystem;
      v.driveLetter = r->driveLetter;
      CopyText(v.label, sizeof v.label, r->label);
      v.usb = usb ? 1 : 0;
      v.extents[0].startSector = r->startSector;
      v.extents[0].sectorCount = r->sectorCount;
      v.extents[0].disk = disk;
      CopyText(v.parentDiskText, sizeof v.parentDiskText, diskText);
      char fs[16];
      TableLine("%c  %16s  %16" PRIu64 "  %16" PRIu64 "  Disk %d  %s  %s", v.driveLetter ? v.driveLetter : '*',
                FsName(v.fileSystem, fs), r->startSector, r->sectorCount, diskNumber, diskText, v.label);
      volumes.push_back(std::move(v));
    }
    DeletePartitionRecords(partitions);
  }
  TableLine("-----------------------------end collect basic volume-----------------------------------\r\n");
}

void FillDynamicVolumeExtents(const DynamicVolumeEntry& entry, VolumeRecord& record, const DiskDeviceList& disks) {
  if (!entry.device) return;
  std::vector<LdmExtentRecord*> extents;
  entry.device->CopyExtents(extents);
  std::string text;
  int slot = 0;
  for (LdmExtentRecord* e : extents) {
    if (!e || !e->device) continue;
    std::shared_ptr<CDiskDevice> disk;
    for (const auto& d : disks)
      if (d.get() == e->device) disk = d;
    if (!disk) continue;
    if (slot < kMaxVolumeExtents) {
      record.extents[slot].startSector = e->startSector;
      record.extents[slot].sectorCount = e->sectorCount;
      record.extents[slot].disk = disk;
      ++slot;
    }
    char diskText[kDiskTextChars + 1];
    FormatDiskText(disk.get(), diskText);
    text += diskText;
    text += "\n";
  }
  if (!text.empty()) text.pop_back();  // the last line's break
  CopyText(record.parentDiskText, sizeof record.parentDiskText, text.c_str());
}

void CollectDynamicVolumes(const DiskDeviceList& disks, VolumeRecordList& volumes) {
  TableLine("-----------------------------begin collect dynamic volume-----------------------------------");
  TableLine("DriverLetter   FileSystem   DynamicVolumeType   TotalSectors       VolumeLabel      ParentDiskInfo\r\n");
  std::vector<IStorageDevice*> members;
  std::vector<std::shared_ptr<CDiskDevice>> owners;
  for (const auto& d : disks) {
    members.push_back(d.get());
    owners.push_back(d);
  }
  std::vector<DynamicVolumeEntry*> entries;
  {
    CLdmDatabase database;
    database.CollectDynamicVolumes(members, entries);
  }
  for (DynamicVolumeEntry* entry : entries) {
    if (!entry->device) continue;
    VolumeRecord v;
    v.kind = kVolumeKindDynamic;
    v.fileSystem = entry->fileSystem;
    v.driveLetter = 0;  // given afterwards, from the letter registry
    CopyText(v.label, sizeof v.label, std::string(entry->label, strnlen(entry->label, sizeof entry->label)).c_str());
    FillDynamicVolumeExtents(*entry, v, disks);
    const uint64_t sectors = entry->device->GetSectorCount();
    v.volumeDevice = ShareDevice(entry->device, owners);
    entry->device = nullptr;
    char fs[16];
    char typeName[sizeof entry->typeName + 1] = {};
    memcpy(typeName, entry->typeName, sizeof entry->typeName);
    TableLine("%c  %16s  %16s  %16" PRIu64 "  %20s  %50s\r\n", '*', FsName(v.fileSystem, fs), typeName, sectors,
              v.label, v.parentDiskText);
    volumes.push_back(std::move(v));
  }
  TableLine("-----------------------------end collect dynamic volume-------------------------------------\r\n");
  for (DynamicVolumeEntry* entry : entries) delete entry;
}

void AssignDynamicVolumeLetters(VolumeRecordList& volumes) {
  for (VolumeRecord& v : volumes) {
    if (v.kind != kVolumeKindDynamic) continue;
    v.driveLetter = 0;
    const int extents = v.ExtentCount();
    if (extents != 1) {
      LogInfo("Dynamic volume \"%s\" spans %d extents: no drive letter, not open to writes", v.label, extents);
      continue;
    }
    const VolumeMemberExtent& e = v.extents[0];
    v.driveLetter = platform::RegisterVolume(e.disk->GetDiskNumber(), e.startSector, e.sectorCount,
                                             CVolumeManager::FsKindOf(v.fileSystem));
  }
}

void CCollectAllBasicPartitionandDynamicVolume::CollectAllBasicPartitionandDynamicVolume(const DiskDeviceList& disks,
                                                                                         VolumeRecordList& volumes) {
  CElapsedTimer timer("CCollectAllBasicPartitionandDynamicVolume::CollectAllBasicPartitionandDynamicVolume");
  if (disks.empty()) return;
  VolumeRecordList dynamicVolumes;
  CollectDynamicVolumes(disks, dynamicVolumes);
  CollectBasicVolumes(disks, volumes, dynamicVolumes);
  AssignDynamicVolumeLetters(dynamicVolumes);
  volumes.splice(volumes.end(), dynamicVolumes);
  sort(volumes);
  FlushTableLines(disks.size(), volumes.size());
}

void CCollectAllBasicPartitionandDynamicVolume::sort(VolumeRecordList& volumes) {
  CElapsedTimer timer("CCollectAllBasicPartitionandDynamicVolume::sort");
  volumes.sort([](const VolumeRecord& a, const VolumeRecord& b) {
    return static_cast<signed char>(a.driveLetter) < static_cast<signed char>(b.driveLetter);
  });
  // At most one full turn: a list without any letter keeps its order.
  size_t limit = volumes.size();
  while (limit-- > 0 && !volumes.empty() && volumes.front().driveLetter == 0)
    volumes.splice(volumes.end(), volumes, volumes.begin());
}
