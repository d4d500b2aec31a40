#include "CNtfsVolumeAnalyze.h"

#include <cstring>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSVolumeNameReader.h"
#include "IStorageDevice.h"

CNtfsVolumeAnalyze::CNtfsVolumeAnalyze(IStorageDevice* device, uint64_t start) {
  std::vector<uint8_t> sector;
  if (!ReadBootSector(device, start, sector)) return;
  CNTFSDBR dbr;
  if (!dbr.SetFromSector(sector.data())) return;
  m_type = EFileSystemType::NTFS;
  uint64_t bytes = 0;
  if (!__builtin_mul_overflow(dbr.GetTotalSectors(), uint64_t(dbr.GetBytesPerSector()), &bytes))
    m_sectorCount = bytes / sector.size();
  char name[kNTFSVolumeNameBytes] = {};
  CNTFSVolumeNameReader reader(device);
  if (reader.ReadVolumeName(start, dbr, name)) {
    name[sizeof name - 1] = 0;
    memcpy(m_label, name, strnlen(name, sizeof name));
  }
}
