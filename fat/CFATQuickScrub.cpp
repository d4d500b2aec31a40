#include "CFATQuickScrub.h"

#include <memory>
#include <vector>

#include "CFATDBR.h"
#include "CRawBackedDevice.h"
#include "FATScrubCodes.h"
#include "FatBytes.h"
#include "IDynamicDevice.h"
#include "IFATTable.h"
#include "IStorageDevice.h"
#include "RunLog.h"

namespace {

constexpr size_t kBootBufferSize = 4096;

// The scrub reads only through devices that report every failed read and
// that lie in one extent; what cannot be told is taken on trust.
bool DeviceFitsScrub(IStorageDevice* device) {
  for (IStorageDevice* d = device; d != nullptr; d = d->GetInnerDevice()) {
    if (auto* raw = dynamic_cast<CRawBackedDevice*>(d)) {
      if (!raw->IsStrict()) {
        ReleaseTrace("FAT scrub: the volume device substitutes failed reads; refused");
        return false;
      }
    }
    if (auto* dyn = dynamic_cast<IDynamicDevice*>(d)) {
      std::vector<LdmExtentRecord*> extents;
      dyn->CopyExtents(extents);
      if (dyn->GetVolumeType() != EDynamicVolumeType::Simple || extents.size() != 1) {
        ReleaseTrace("FAT scrub: the volume spans more than one extent; skipped");
        return false;
      }
    }
  }
  return true;
}

// The dirty bit of the boot sector's state byte.
bool BootSectorDirty(const CFATDBR& dbr) {
  const uint8_t state = dbr.GetSector()[dbr.GetFATType() == CFATDBR::kTypeFAT32 ? 65 : 37];
  return (state & 0x01) != 0;
}

}  // namespace

bool CFATQuickScrub::CheckBootSector(const uint8_t* sector, uint64_t partitionStart, IStorageDevice* device,
                                     int* fatSignatureType) {
  int type = 9;
  if (fatSignatureType) *fatSignatureType = type;
  if (sector == nullptr) return false;
  const int sectorSize = device != nullptr ? device->GetSectorSize() : 512;
  if (sectorSize <= 0 || static_cast<size_t>(sectorSize) > kBootBufferSize) return false;
  CFATDBR dbr(sector, sectorSize);
  if (!dbr.IsValid()) return false;
  if (dbr.GetTotalSectors() < static_cast<uint64_t>(dbr.GetFATCount()) * dbr.GetFATSize()) return false;
  if (device == nullptr) return false;
  std::vector<uint8_t> fat(kBootBufferSize);
  bool good = false;
  const uint64_t firstFAT = partitionStart + dbr.GetReservedSectors();
  if (device->ReadSectors(fat.data(), firstFAT, 1) && DetectFATTypeFromFAT(fat.data(), type)) good = true;
  if (device->ReadSectors(fat.data(), firstFAT + dbr.GetFATSize(), 1) && DetectFATTypeFromFAT(fat.data(), type))
    good = true;
  if (fatSignatureType) *fatSignatureType = good ? type : 9;
  return good;
}

int CFATQuickScrub::QuickSearchFiles(IStorageDevice* device) {
  m_counters = FATWipeCounters();
  m_lastWriteError = 0;
  if (device == nullptr) return fatscrub::kNoDevice;
  if (!DeviceFitsScrub(device)) return fatscrub::kUnsupportedDevice;
  const int sectorSize = device->GetSectorSize();
  if (!fatbytes::IsSupportedSectorSize(static_cast<uint64_t>(sectorSize > 0 ? sectorSize : 0)))
    return fatscrub::kBadGeometry;
  const uint64_t deviceSectors = device->GetSectorCount();

  m_partition = FATPartitionFields();
  m_partition.startSector = 0;  // the device is the volume itself
  m_partition.sectorCount = deviceSectors;
  m_partition.bytesPerSector = static_cast<uint32_t>(sectorSize);

  // Only the primary boot sector may lead to writes.
  std::vector<uint8_t> boot(kBootBufferSize);
  int signatureType = 9;
  if (!device->ReadSectors(boot.data(), 0, 1) || !CheckBootSector(boot.data(), 0, device, &signatureType)) {
    ReleaseTrace("Failed to read DBR information!");
    return fatscrub::kNoBootSector;
  }
  m_partition.AddFlags((signatureType == 2 ? kFATFlagFAT32Boot | kFATFlagFAT32Backup
                                           : kFATFlagFAT12Boot | kFATFlagFAT16Boot) |
                       kFATFlagPrimaryFATSeen | kFATFlagLoadPrimary);

  CFATDBR dbr(boot.data(), sectorSize);
  const int type = dbr.GetFATType();
  m_partition.fileSystemType = static_cast<uint32_t>(type);
  m_partition.sectorsPerCluster = dbr.GetSectorsPerCluster();
  m_partition.dataStart = dbr.GetDataStart();
  m_partition.reservedSectors = static_cast<uint16_t>(dbr.GetReservedSectors());
  m_partition.fatSize = dbr.GetFATSize();
  m_partition.clusterCount = static_cast<uint32_t>(dbr.GetClusterCount());
  m_partition.rootInfo =
      type == CFATDBR::kTypeFAT32 ? dbr.GetRootCluster() : static_cast<uint32_t>(dbr.GetRootDirSectors());

  if (deviceSectors == 0 || !dbr.FitsDevice(0, deviceSectors)) {
    ReleaseTrace("FAT scrub: the file system (%llu sectors) is larger than its volume (%llu)",
                 static_cast<unsigned long long>(dbr.GetTotalSectors()),
                 static_cast<unsigned long long>(deviceSectors));
    return fatscrub::kBadGeometry;
  }
  if (BootSectorDirty(dbr)) {
    ReleaseTrace("FAT scrub: the volume is marked dirty; check it first");
    return fatscrub::kNotClean;
  }
  if (!m_targetSet) return fatscrub::kNoWriter;

  std::unique_ptr<IFATTable> table(
      CreateFATTable(device, dbr.GetReservedSectors(), type, dbr.GetFATSize(),
                     (m_partition.flags & kFATFlagLoadPrimary) != 0, (m_partition.flags & kFATFlagLoadSecondary) != 0,
                     dbr.GetClusterCount()));
  if (!table->IsLoaded()) {
    ReleaseTrace("FAT scrub: the FAT could not be loaded or is not consistent; nothing is scrubbed");
    return fatscrub::kNotClean;
  }

  LogInfo("Wipe Unusedspace create worker thread");
  FATWipeParams params;
  params.fatType = type;
  params.driverDeviceNumber = m_deviceNumber;
  params.targetStart = m_startSector;
  params.volumeStart = 0;
  params.sectorsPerCluster = dbr.GetSectorsPerCluster();
  params.rootStart = dbr.GetRootDirStart();
  params.rootDirSectors = static_cast<uint32_t>(dbr.GetRootDirSectors());
  params.rootCluster = dbr.GetRootCluster();
  params.rebuildFlag = 1;
  params.dataStart = dbr.GetDataStart();
  params.totalSectors = dbr.GetTotalSectors();
  CFATWipeWorker worker(device, table.get(), params);
  worker.SetStopFlag(m_stop);
  worker.SetDiskDevice(m_disk);
  const int result = worker.WipeDeletedEntries();
  m_counters = worker.GetCounters();
  m_lastWriteError = worker.GetLastError();
  return result;
}

int ScrubFATVolume(IStorageDevice* volume, int diskNumber, uint64_t partitionStart, const std::atomic<int>* stop,
                   FATWipeCounters* counters) {
  CFATQuickScrub scrub;
  scrub.SetOptions(diskNumber, partitionStart);
  scrub.SetStopFlag(stop);
  const int result = scrub.QuickSearchFiles(volume);
  if (counters) *counters = scrub.GetCounters();
  return result;
}
