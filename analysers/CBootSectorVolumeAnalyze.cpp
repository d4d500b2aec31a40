#include "CBootSectorVolumeAnalyze.h"

#include <cstring>

#include "IStorageDevice.h"

void CBootSectorVolumeAnalyze::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer || size == 0) return;
  const unsigned copy = size < sizeof m_label ? size : unsigned(sizeof m_label);
  memcpy(buffer, m_label, copy);
  buffer[copy - 1] = 0;
}

bool CBootSectorVolumeAnalyze::ReadBootSector(IStorageDevice* device, uint64_t start, std::vector<uint8_t>& sector) {
  if (!device) return false;
  const int ss = device->GetSectorSize();
  if (ss < 512 || ss > 65536) return false;
  const uint64_t n = device->GetSectorCount();
  if (n != 0 && start >= n) return false;
  sector.assign(size_t(ss), 0);
  return device->ReadSectors(sector.data(), start, 1) != 0;
}
