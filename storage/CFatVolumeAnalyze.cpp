#include "CFatVolumeAnalyze.h"

#include <cstring>
#include <vector>

#include "CFATDBR.h"
#include "CFATVolumeLabelReader.h"
#include "IStorageDevice.h"

CFatVolumeAnalyze::CFatVolumeAnalyze(IStorageDevice* device, uint64_t start) {
  if (!device) return;
  const int ss = device->GetSectorSize();
  if (ss < 512 || ss > 65536) return;
  const uint64_t n = device->GetSectorCount();
  if (n != 0 && start >= n) return;
  std::vector<uint8_t> sector(size_t(ss), 0);
  if (!device->ReadSectors(sector.data(), start, 1)) return;
  CFATDBR dbr(sector.data(), ss);
  if (dbr.GetFATType() == CFATDBR::kTypeFAT16)
    m_type = EFileSystemType::FAT16;
  else if (dbr.GetFATType() == CFATDBR::kTypeFAT32)
    m_type = EFileSystemType::FAT32;
  else
    return;
  m_sectorCount = dbr.GetTotalSectors();
  CFATVolumeLabelReader reader(device);
  reader.ReadLabel(start, dbr, m_label, sizeof m_label);
  m_label[sizeof m_label - 1] = 0;
}

void CFatVolumeAnalyze::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer || size == 0) return;
  const unsigned copy = size < sizeof m_label ? size : unsigned(sizeof m_label);
  memcpy(buffer, m_label, copy);
  buffer[copy - 1] = 0;
}
