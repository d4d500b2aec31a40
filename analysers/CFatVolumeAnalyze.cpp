#include "CFatVolumeAnalyze.h"

#include <vector>

#include "CFATDBR.h"
#include "CFATVolumeLabelReader.h"

CFatVolumeAnalyze::CFatVolumeAnalyze(IStorageDevice* device, uint64_t start) {
  std::vector<uint8_t> sector;
  if (!ReadBootSector(device, start, sector)) return;
  CFATDBR dbr(sector.data(), int(sector.size()));
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
