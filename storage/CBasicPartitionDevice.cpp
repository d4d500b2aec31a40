#include "CBasicPartitionDevice.h"

#include "WindowRead.h"

CBasicPartitionDevice::CBasicPartitionDevice(IStorageDevice* parent, uint64_t startSector, uint64_t sectorCount)
    : m_parent(parent), m_startSector(startSector), m_sectorCount(sectorCount) {}

int CBasicPartitionDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  return ReadWindow(m_parent, GetSectorSize(), m_startSector, m_sectorCount, buffer, first, count);
}

bool CBasicPartitionDevice::IsRangeInside(uint64_t first, uint64_t count) const {
  return IsWindowRangeInside(m_sectorCount, first, count);
}

int CBasicPartitionDevice::GetSectorSize() {
  int ss = m_parent ? m_parent->GetSectorSize() : 512;
  return ss > 0 ? ss : 512;
}
