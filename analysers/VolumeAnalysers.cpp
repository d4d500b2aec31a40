#include "VolumeAnalysers.h"

#include <cstring>
#include <vector>

#include "CBootSectorVolumeAnalyze.h"
#include "CExFatVolumeAnalyer.h"
#include "CExt2Volume.h"
#include "CFATDBR.h"
#include "CFATVolumeLabelReader.h"
#include "CFatVolumeAnalyze.h"
#include "CNTFSDBR.h"
#include "CNTFSVolumeNameReader.h"
#include "CNtfsVolumeAnalyze.h"
#include "HfsPlusVolumeAnalyer.h"
#include "VolumeAnalyserRegistry.h"

namespace {

constexpr int kLabelBytes = 100;

// FAT16 or FAT32 (never FAT12).
EFileSystemType FatBootSectorType(const uint8_t* sector, int sectorSize) {
  const CFATDBR fat(sector, sectorSize);
  if (fat.GetFATType() == CFATDBR::kTypeFAT16) return EFileSystemType::FAT16;
  if (fat.GetFATType() == CFATDBR::kTypeFAT32) return EFileSystemType::FAT32;
  return EFileSystemType::Unknown;
}

uint64_t FatBootSectorTotalSectors(const uint8_t* sector, int sectorSize) {
  const CFATDBR fat(sector, sectorSize);
  return fat.IsValid() ? fat.GetTotalSectors() : 0;
}

bool ReadFatVolumeLabel(IStorageDevice* device, char* out) {
  std::vector<uint8_t> sector;
  if (!out || !CBootSectorVolumeAnalyze::ReadBootSector(device, 0, sector)) return false;
  const CFATDBR dbr(sector.data(), int(sector.size()));
  if (dbr.GetFATType() != CFATDBR::kTypeFAT16 && dbr.GetFATType() != CFATDBR::kTypeFAT32) return false;
  char label[kLabelBytes] = {};
  CFATVolumeLabelReader reader(device);
  if (!reader.ReadLabel(0, dbr, label, sizeof label)) return false;
  memcpy(out, label, kLabelBytes);
  out[kLabelBytes - 1] = 0;
  return true;
}

EFileSystemType NtfsBootSectorType(const uint8_t* sector, int) {
  return IsValidNTFSBootSector(sector) ? EFileSystemType::NTFS : EFileSystemType::Unknown;
}

uint64_t NtfsBootSectorTotalSectors(const uint8_t* sector, int) {
  CNTFSDBR dbr;
  return dbr.SetFromSector(sector) ? dbr.GetTotalSectors() : 0;
}

bool ReadNtfsVolumeLabel(IStorageDevice* device, char* out) {
  std::vector<uint8_t> sector;
  if (!out || !CBootSectorVolumeAnalyze::ReadBootSector(device, 0, sector)) return false;
  CNTFSDBR dbr;
  if (!HasNTFSSignature(sector.data()) || !dbr.SetFromSector(sector.data())) return false;
  char name[kNTFSVolumeNameBytes] = {};
  CNTFSVolumeNameReader reader(device);
  if (!reader.ReadVolumeName(0, dbr, name)) return false;
  name[sizeof name - 1] = 0;
  memset(out, 0, kLabelBytes);
  memcpy(out, name, strnlen(name, sizeof name));
  return true;
}

}  // namespace

void RegisterVolumeAnalysers() {
  VolumeAnalyser ntfs;
  ntfs.analyse = [](IStorageDevice* device, uint64_t start) -> IVolume* {
    return new CNtfsVolumeAnalyze(device, start);
  };
  ntfs.bootSectorType = NtfsBootSectorType;
  ntfs.bootSectorTotalSectors = NtfsBootSectorTotalSectors;
  ntfs.label = ReadNtfsVolumeLabel;
  RegisterVolumeAnalyser(EVolumeAnalyserKind::NTFS, ntfs);

  VolumeAnalyser fat;
  fat.analyse = [](IStorageDevice* device, uint64_t start) -> IVolume* { return new CFatVolumeAnalyze(device, start); };
  fat.bootSectorType = FatBootSectorType;
  fat.bootSectorTotalSectors = FatBootSectorTotalSectors;
  fat.label = ReadFatVolumeLabel;
  RegisterVolumeAnalyser(EVolumeAnalyserKind::FAT, fat);

  VolumeAnalyser exfat;
  exfat.analyse = CreateExFatVolumeAnalyer;
  RegisterVolumeAnalyser(EVolumeAnalyserKind::exFAT, exfat);

  VolumeAnalyser hfs;
  hfs.analyse = CreateHfsPlusVolumeAnalyer;
  RegisterVolumeAnalyser(EVolumeAnalyserKind::HFSPlus, hfs);

  VolumeAnalyser ext2;
  ext2.analyse = [](IStorageDevice* device, uint64_t start) -> IVolume* { return new CExt2Volume(device, start); };
  RegisterVolumeAnalyser(EVolumeAnalyserKind::Ext2, ext2);
}
