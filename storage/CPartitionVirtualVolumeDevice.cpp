#include "CPartitionVirtualVolumeDevice.h"

#include "WindowRead.h"

CPartitionVirtualVolumeDevice::CPartitionVirtualVolumeDevice(IStorageDevice* parent, uint64_t startSector,
                                                             uint64_t sectorCount)
    : m_parent(parent), m_startSector(startSector), m_sectorCount(sectorCount) {
  Open();
}

int CPartitionVirtualVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  m_lastError = kFine;
  if (!m_parent) {
    m_lastError = kRefused;
    return 0;
  }
  if (!buffer) {
    m_lastError = kNullBuffer;
    return 0;
  }
  if (!IsWindowRangeInside(m_sectorCount, first, count)) {
    m_lastError = kRefused;
    return 0;
  }
  int result = ReadWindow(m_parent, m_windowSectorSize, m_startSector, m_sectorCount, buffer, first, count);
  if (!result) m_lastError = kParentFailed;
  return result;
}

int CPartitionVirtualVolumeDevice::Open() {
  int ss = m_parent ? m_parent->GetSectorSize() : 512;
  m_windowSectorSize = ss > 0 ? ss : 512;
  return 1;
}

int CPartitionVirtualVolumeDevice::Close() {
  m_lastError = kFine;
  return 1;
}

int CPartitionVirtualVolumeDevice::WriteSectors(const void*, uint64_t, uint64_t) {
  m_lastError = kRefused;
  return 0;
}
