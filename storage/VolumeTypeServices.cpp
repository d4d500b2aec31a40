#include "VolumeTypeServices.h"

#include <cstdio>
#include <cstring>

#include "CDiskDevice.h"
#include "CPartitionTableAnalyze.h"
#include "CVolumeAnalyzeList.h"
#include "IStorageDevice.h"
#include "VolumeAnalyserRegistry.h"

namespace {

constexpr int kLabelBytes = 100;

// The dynamic-disk flag of a member disk: the disk device's own flag, or
// the partition tables' answer for any other device.
bool IsDynamicMember(IStorageDevice* disk) {
  if (auto* d = dynamic_cast<CDiskDevice*>(disk))
    if (d->IsDynamicDisk()) return true;
  return IsDynamicDisk(disk);
}

// The kind whose boot-sector and label readers answer for `type`: FAT for
// the FAT types, NTFS for every other.
VolumeAnalyser BootSectorAnalyser(EFileSystemType type) {
  return GetVolumeAnalyser(IsFatFamily(type) ? EVolumeAnalyserKind::FAT : EVolumeAnalyserKind::NTFS);
}

}  // namespace

EFileSystemType DetectFileSystemFromBootSector(const uint8_t* sector, int sectorSize) {
  if (!sector || sectorSize < 512) return EFileSystemType::Unknown;
  for (EVolumeAnalyserKind kind : kVolumeAnalyserOrder) {
    const VolumeAnalyser analyser = GetVolumeAnalyser(kind);
    if (!analyser.bootSectorType) continue;
    const EFileSystemType type = analyser.bootSectorType(sector, sectorSize);
    if (type != EFileSystemType::Unknown) return type;
  }
  return EFileSystemType::Unknown;
}

EFileSystemType MbrTypeToFileSystem(uint8_t type) {
  switch (type) {
    case 0x01:
    case 0x11:
      return EFileSystemType::FAT12;
    case 0x04:
    case 0x06:
    case 0x0E:
    case 0x14:
    case 0x16:
    case 0x1E:
      return EFileSystemType::FAT16;
    case 0x0B:
    case 0x0C:
    case 0x1B:
      return EFileSystemType::FAT32;
    case 0x07:
    case 0x17:
      return EFileSystemType::NTFS;
    case 0x82:
    case 0x83:
    case 0x85:
    case 0x8E:
    case 0x92:
    case 0x93:
      return EFileSystemType::Ext2;
    default:
      return EFileSystemType::Unknown;
  }
}

void GetFileSystemTypeName(EFileSystemType type, char* out) {
  if (!out) return;
  const char* text = "UNKNOWN";
  switch (type) {
    case EFileSystemType::FAT12: text = "FAT12"; break;
    case EFileSystemType::FAT16: text = "FAT16"; break;
    case EFileSystemType::FAT32: text = "FAT32"; break;
    case EFileSystemType::NTFS: text = "NTFS"; break;
    case EFileSystemType::Ext2: text = "EXT2"; break;
    case EFileSystemType::Ext3: text = "EXT3"; break;
    default: break;
  }
  strcpy(out, text);
}

void GetDynamicVolumeTypeName(EDynamicVolumeType type, char* out) {
  if (!out) return;
  const char* text = "UNKNOWN";
  switch (type) {
    case EDynamicVolumeType::Simple: text = "SIMPLE"; break;
    case EDynamicVolumeType::Mirror: text = "MIRROR"; break;
    case EDynamicVolumeType::Spanned: text = "SPANNED"; break;
    case EDynamicVolumeType::Striped: text = "STRIPPED"; break;
    case EDynamicVolumeType::Raid5: text = "RAID5"; break;
    default: break;
  }
  strcpy(out, text);
}

uint64_t GetBootSectorTotalSectors(const uint8_t* sector, int sectorSize, EFileSystemType type) {
  if (!sector || sectorSize < 512) return 0;
  const VolumeAnalyser analyser = BootSectorAnalyser(type);
  return analyser.bootSectorTotalSectors ? analyser.bootSectorTotalSectors(sector, sectorSize) : 0;
}

bool GetVolumeLabelByType(IStorageDevice* device, EFileSystemType type, char* out, int size) {
  if (!out || size <= 0) return false;
  if (!IsFatFamily(type) && type != EFileSystemType::NTFS) return false;
  const VolumeAnalyser analyser = BootSectorAnalyser(type);
  char label[kLabelBytes] = {};
  if (!analyser.label || !analyser.label(device, label)) return false;
  label[kLabelBytes - 1] = 0;
  snprintf(out, size_t(size), "%s", label);
  return true;
}

EFileSystemType AnalyseVolumeType(IStorageDevice* device, EFileSystemType current) {
  if (!device) return current;
  CVolumeAnalyzeList analysers(device, 0);
  IVolume* v = analysers.GetRecognizedVolume();
  if (v && v->GetFileSystemType() != EFileSystemType::Unknown) return v->GetFileSystemType();
  return current;
}

LdmVolumeServices MakeLdmVolumeServices() {
  LdmVolumeServices s;
  s.isDynamicDisk = IsDynamicMember;
  s.mbrTypeToFileSystem = MbrTypeToFileSystem;
  s.detectFromBootSector = DetectFileSystemFromBootSector;
  s.bootSectorTotalSectors = GetBootSectorTotalSectors;
  s.analyseVolume = AnalyseVolumeType;
  s.volumeLabel = GetVolumeLabelByType;
  s.dynamicVolumeTypeName = GetDynamicVolumeTypeName;
  return s;
}

void InstallLdmVolumeServices(char (*driveLetterOfVolumeGuid)(const uint8_t guid[16])) {
  LdmVolumeServices s = MakeLdmVolumeServices();
  s.driveLetterOfVolumeGuid = driveLetterOfVolumeGuid;
  SetLdmVolumeServices(s);
}
