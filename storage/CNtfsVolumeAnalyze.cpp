#include "CNtfsVolumeAnalyze.h"

#include <cstring>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSVolumeNameReader.h"
#include "IStorageDevice.h"

CNtfsVolumeAnalyze::CNtfsVolumeAnalyze(IStorageDevice* device, uint64_t start) {
  if (!device) return;
  const int ss = device->GetSectorSize();
  if (ss < 512 || ss > 65536) return;
  const uint64_t n = device->GetSectorCount();
  if (n != 0 && start >= n) return;
  std::vector<uint8_t> sector(size_t(ss), 0);
  if (!device->ReadSectors(sector.data(), start, 1)) return;
  CNTFSDBR dbr;
  if (!dbr.SetFromSector(sector.data())) return;
  m_type = EFileSystemType::NTFS;
  uint64_t bytes = 0;
  if (!__builtin_mul_overflow(dbr.GetTotalSectors(), uint64_t(dbr.GetBytesPerSector()), &bytes))
    m_sectorCount = bytes / uint64_t(ss);
  char name[kNTFSVolumeNameBytes] = {};
  CNTFSVolumeNameReader reader(device);
  if (reader.ReadVolumeName(start, dbr, name)) {
    name[sizeof name - 1] = 0;
    memcpy(m_label, name, strnlen(name, sizeof name));
  }
}

void CNtfsVolumeAnalyze::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer || size == 0) return;
  const unsigned copy = size < sizeof m_label ? size : unsigned(sizeof m_label);
  memcpy(buffer, m_label, copy);
  buffer[copy - 1] = 0;
}
