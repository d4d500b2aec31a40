#include "CDiskListService.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "CDiskDevice.h"
#include "CVolumeDevice.h"
#include "DriveLetters.h"
#include "RunLog.h"
#include "VolumeMount.h"
#include "VolumeProbeFlag.h"
#include "VolumeTypeServices.h"

std::atomic<int> DiskListBusy{0};
std::atomic<int> DiskListReady{0};

namespace {

std::mutex g_listenerLock;
std::function<void()> g_passListener;
std::atomic<int> g_passesWaiting{0};  // over every service
std::atomic<CDiskListService*> g_instance{nullptr};

bool LetterIn(char letter, const VolumeRecordList& volumes) {
  for (const VolumeRecord& v : volumes)
    if (v.reserved == 0 && v.driveLetter == letter) return true;
  return false;
}

void InstallServicesOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    InstallLdmVolumeServices(GetDriveLetterOfVolumeGuid);
    IDynamicDevice::SetDmVolumeLetterResolver(
        [](const char* group, const char* volume) { return GetDriveLetterOfDmVolume(volume, group); });
  });
}

}  // namespace

CDiskListService* CDiskListService::Instance() {
  static CDiskListService service(true);
  g_instance = &service;
  return &service;
}

void CDiskListService::ShutdownInstance() {
  if (CDiskListService* service = g_instance.load()) service->Shutdown();
}

void CDiskListService::SetPassListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> guard(g_listenerLock);
  g_passListener = std::move(listener);
}

bool CDiskListService::IsPassRunning() { return DiskListBusy.load() == 1 || g_passesWaiting.load() > 0; }

CDiskListService::CDiskListService(bool startFirstPass) {
  m_worker = std::thread([this] { WorkerLoop(); });
  if (startFirstPass) StartEnumThread();
  platform::EnumNetworkResources();  // nothing to find here; kept for the order of the start
}

CDiskListService::~CDiskListService() {
  Shutdown();
  ClearLists();
}

int CDiskListService::StartEnumThread() {
  std::lock_guard<std::mutex> guard(m_requestLock);
  if (m_stop) return 0;
  ++m_pending;
  ++g_passesWaiting;
  DiskListReady = 0;
  m_requestChanged.notify_all();
  return 0;
}

void CDiskListService::WaitForPasses() {
  std::unique_lock<std::mutex> lock(m_requestLock);
  m_requestChanged.wait(lock, [this] { return (m_pending == 0 || m_stop) && !m_active; });
}

void CDiskListService::Shutdown() {
  {
    std::lock_guard<std::mutex> guard(m_requestLock);
    m_stop = true;
    m_requestChanged.notify_all();
  }
  if (m_worker.joinable()) m_worker.join();
}

void CDiskListService::WorkerLoop() {
  std::unique_lock<std::mutex> lock(m_requestLock);
  for (;;) {
    m_requestChanged.wait(lock, [this] { return m_stop || m_pending > 0; });
    if (m_stop) {
      g_passesWaiting -= m_pending;
      m_pending = 0;
      m_requestChanged.notify_all();
      return;
    }
    m_active = true;
    lock.unlock();
    EnumerateDisks();
    lock.lock();
    --m_pending;
    --g_passesWaiting;
    DiskListBusy = 0;
    // Ready only when no other pass is waiting: a page never reads a list
    // that a requested rescan is about to replace.
    if (m_pending == 0) DiskListReady = 1;
    std::function<void()> listener;
    {
      std::lock_guard<std::mutex> guard(g_listenerLock);
      listener = g_passListener;
    }
    lock.unlock();
    if (listener) listener();
    lock.lock();
    m_active = false;
    m_requestChanged.notify_all();
  }
}

void CDiskListService::EnumerateDisks() {
  InstallServicesOnce();
  // Another service's pass (tests make their own) runs first.
  while (DiskListBusy.exchange(1) == 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  DiskListReady = 0;

  DiskDeviceList disks;
  VolumeRecordList volumes;
  {
    CVolumeProbeScope probe;
    CollectDisks(disks);
    if (!disks.empty())
      CCollectAllBasicPartitionandDynamicVolume::CollectAllBasicPartitionandDynamicVolume(disks, volumes);
  }
  MatchVolumeLetters(volumes);
  std::list<LogicalVolumeInfo> logical = EnumVolumes(volumes);
  VolumeRecordList letterOnly = CollectLogicalVolumes(volumes);

  std::lock_guard<std::mutex> guard(m_listLock);
  m_disks.swap(disks);
  m_volumes.swap(volumes);
  m_logicalVolumes.swap(logical);
  m_letterOnlyVolumes.swap(letterOnly);
  // The old lists go here; devices still held by copies of their records
  // live on with those copies.
}

VolumeRecordList CDiskListService::GetVolumeList() const {
  std::lock_guard<std::mutex> guard(m_listLock);
  return m_volumes;
}

DiskDeviceList CDiskListService::GetDiskList() const {
  std::lock_guard<std::mutex> guard(m_listLock);
  return m_disks;
}

VolumeRecordList CDiskListService::GetLetterOnlyVolumes() const {
  std::lock_guard<std::mutex> guard(m_listLock);
  return m_letterOnlyVolumes;
}

std::list<LogicalVolumeInfo> CDiskListService::GetLogicalVolumes() const {
  std::lock_guard<std::mutex> guard(m_listLock);
  return m_logicalVolumes;
}

int CDiskListService::ClearLists() {
  std::lock_guard<std::mutex> guard(m_listLock);
  m_volumes.clear();
  m_disks.clear();
  m_letterOnlyVolumes.clear();
  return 0;
}

bool CDiskListService::IsLetterKnown(char letter) const {
  std::lock_guard<std::mutex> guard(m_listLock);
  return LetterIn(letter, m_volumes);
}

bool CDiskListService::FindLogicalVolume(int diskNumber, uint64_t startSector, LogicalVolumeInfo* out) const {
  std::lock_guard<std::mutex> guard(m_listLock);
  for (const LogicalVolumeInfo& l : m_logicalVolumes)
    if (l.diskNumber == diskNumber && l.startSector == startSector) {
      if (out) *out = l;
      return true;
    }
  return false;
}

namespace {
// The size the FAT or NTFS boot sector at the extent's start gives its file
// system; the extent's own size when the sector cannot be read or names none.
uint64_t FileSystemBytesAt(const VolumeMemberExtent& e) {
  const int sectorSize = e.disk->GetSectorSize();
  const uint64_t extentBytes = e.sectorCount * uint64_t(sectorSize);
  if (sectorSize < 512 || sectorSize > 65536) return extentBytes;
  std::vector<uint8_t> sector(size_t(sectorSize), 0);
  if (!e.disk->ReadSectors(sector.data(), e.startSector, 1)) return extentBytes;
  const EFileSystemType type = DetectFileSystemFromBootSector(sector.data(), sectorSize);
  if (type == EFileSystemType::Unknown) return extentBytes;
  const uint64_t sectors = GetBootSectorTotalSectors(sector.data(), sectorSize, type);
  if (sectors == 0 || sectors > e.sectorCount) return extentBytes;
  return sectors * uint64_t(sectorSize);
}
}  // namespace

uint64_t CDiskListService::FormatVolumeSpaceText(const VolumeMemberExtent* extents, std::string& text,
                                                 float* usedPercent, uint8_t*) const {
  uint64_t total = 0;
  bool mounted = false;
  LogicalVolumeInfo found;
  for (int i = 0; extents && i < kMaxVolumeExtents && extents[i].disk; ++i) {
    const VolumeMemberExtent& e = extents[i];
    if (e.startSector == 0 && e.sectorCount == 0) break;
    if (FindLogicalVolume(e.disk->GetDiskNumber(), e.startSector, &found)) {
      // Some drivers (fusefat) report no blocks at all: the file system's own
      // size, as its boot sector gives it, stands in.
      total = found.totalBytes ? found.totalBytes : FileSystemBytesAt(e);
      mounted = true;
      break;
    }
    total += e.sectorCount * uint64_t(e.disk->GetSectorSize());
  }
  const bool gb = total > 1073741824ull;
  const double unit = gb ? 1073741824.0 : 1048576.0;
  const char* unitName = gb ? "GB" : "MB";
  char buffer[128];
  if (mounted) {
    snprintf(buffer, sizeof buffer, "%g %s %s %g %s", double(found.freeBytes) / unit, unitName, "free of",
             double(total) / unit, unitName);
    if (usedPercent && total > 0) {
      const uint64_t used = total > found.freeBytes ? total - found.freeBytes : 0;
      *usedPercent = float(double(used) * 100.0 / double(total));
    }
  } else {
    snprintf(buffer, sizeof buffer, "%g %s", double(total) / unit, unitName);
  }
  text = buffer;
  return total;
}

void CDiskListService::MatchVolumeLetters(VolumeRecordList& volumes) {
  for (auto it = volumes.begin(); it != volumes.end();) {
    const VolumeRecord& v = *it;
    if (v.reserved != 0 || v.kind != kVolumeKindDynamic || v.driveLetter == 0) {
      ++it;
      continue;
    }
    platform::LetteredVolume lv;
    const VolumeMemberExtent& first = v.extents[0];
    const bool leadsBack = platform::GetLetteredVolume(v.driveLetter, &lv) && first.disk &&
                           lv.diskNumber == first.disk->GetDiskNumber() && lv.startSector == first.startSector &&
                           lv.sectorCount == first.sectorCount;
    if (leadsBack) {
      ++it;
    } else {
      LogInfo("Dynamic volume %c: its letter leads to another volume; left out", v.driveLetter);
      it = volumes.erase(it);
    }
  }
}

std::list<LogicalVolumeInfo> CDiskListService::EnumVolumes(const VolumeRecordList& volumes) {
  std::list<LogicalVolumeInfo> out;
  for (const VolumeRecord& v : volumes) {
    if (v.driveLetter == 0 || v.ExtentCount() != 1) continue;
    platform::LetteredVolume lv;
    if (!platform::GetLetteredVolume(v.driveLetter, &lv) || lv.mountPoints.empty()) continue;
    uint64_t total = 0, freeBytes = 0;
    bool freeKnown = false;
    if (!platform::GetVolumeSpace(v.driveLetter, &total, &freeBytes, &freeKnown) || !freeKnown) continue;
    LogicalVolumeInfo info;
    info.diskNumber = v.extents[0].disk->GetDiskNumber();
    info.startSector = v.extents[0].startSector;
    info.sectorCount = v.extents[0].sectorCount;
    info.bytesPerSector = v.extents[0].disk->GetSectorSize();
    info.totalBytes = total;
    info.freeBytes = freeBytes;
    info.volumePath = lv.mountPoints.front();
    info.volumePath2 = info.volumePath;
    info.fileSystem = v.fileSystem;
    out.push_back(info);
  }
  return out;
}

VolumeRecordList CDiskListService::CollectLogicalVolumes(const VolumeRecordList& volumes) {
  VolumeRecordList out;
  for (const platform::LetteredVolume& lv : platform::ListLetteredVolumes()) {
    if (LetterIn(lv.letter, volumes)) continue;
    auto device = std::make_shared<CVolumeDevice>(lv.letter);
    if (!device->IsOpen()) continue;
    VolumeRecord v;
    v.fileSystem = AnalyseVolumeType(device.get(), EFileSystemType::Unknown);
    GetVolumeLabelByType(device.get(), v.fileSystem, v.label, sizeof v.label);
    v.volumeDevice = device;
    v.kind = kVolumeKindBasic;
    v.driveLetter = lv.letter;
    v.letterOnly = 1;
    v.usb = 1;
    out.push_back(std::move(v));
  }
  return out;
}

int64_t GetDriveSpaceInfo(char letter) {
  uint64_t total = 0, freeBytes = 0;
  bool freeKnown = false;
  if (!platform::GetVolumeSpace(letter, &total, &freeBytes, &freeKnown) || total <= 100) return -1;
  return int64_t(total);
}

int64_t GetDriveFreeSpace(char letter, uint64_t* freeOut) {
  uint64_t total = 0, freeBytes = 0;
  bool freeKnown = false;
  if (!platform::GetVolumeSpace(letter, &total, &freeBytes, &freeKnown) || total <= 100 || !freeKnown) return -1;
  if (freeOut) *freeOut = freeBytes;
  return int64_t(freeBytes);
}

EFileSystemType FileSystemTypeFromName(const char* name) {
  if (!name) return EFileSystemType::Unknown;
  if (strcmp(name, "NTFS") == 0) return EFileSystemType::NTFS;
  if (strcmp(name, "FAT32") == 0) return EFileSystemType::FAT32;
  if (strcmp(name, "FAT") == 0) return EFileSystemType::FAT16;
  return EFileSystemType::Unknown;
}
