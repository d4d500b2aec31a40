#include "CSimulateStorageDevice.h"

#include <cstring>

CSimulateStorageDevice::CSimulateStorageDevice(IStorageDevice* inner) : m_inner(inner) {
  Ratio();
}

// The inner sector size in 512-byte units; 0 when it is not a whole multiple.
uint32_t CSimulateStorageDevice::Ratio() {
  if (!m_inner) {
    m_ratio = 1;
    return m_ratio;
  }
  int ss = m_inner->GetSectorSize();
  uint32_t ratio = (ss >= 512 && ss % 512 == 0) ? static_cast<uint32_t>(ss / 512) : 0;
  if (ratio != m_ratio || m_sector.size() != size_t{ratio} * 512) {
    m_ratio = ratio;
    m_sector.assign(size_t{ratio} * 512, 0);
    m_cachedSector = 0;
  }
  return m_ratio;
}

uint64_t CSimulateStorageDevice::GetSectorCount() {
  if (!m_inner) return 0;
  return m_inner->GetSectorCount() * Ratio();
}

const uint8_t* CSimulateStorageDevice::InnerSectorFor(uint64_t sector) {
  const uint64_t inner = sector / m_ratio;
  if (m_cachedSector != inner + 1) {
    m_cachedSector = 0;  // the buffer is being overwritten
    if (!m_inner->ReadSectors(m_sector.data(), inner, 1)) return nullptr;
    m_cachedSector = inner + 1;
  }
  return m_sector.data() + (sector % m_ratio) * 512;
}

int CSimulateStorageDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!m_inner || !buffer || Ratio() == 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t sector = first;
  const uint64_t end = first + count;
  if (end < first) return 0;
  // Head: 512-byte sectors up to the next inner-sector boundary.
  while (sector < end && (sector % m_ratio != 0 || end - sector < m_ratio)) {
    const uint8_t* src = InnerSectorFor(sector);
    if (!src) return 0;
    memcpy(out, src, 512);
    out += 512;
    ++sector;
  }
  // Whole inner sectors straight into the caller's buffer, in one read.
  if (sector < end && end - sector >= m_ratio) {
    uint64_t whole = (end - sector) / m_ratio;
    if (!m_inner->ReadSectors(out, sector / m_ratio, whole)) return 0;
    out += whole * m_ratio * 512;
    sector += whole * m_ratio;
  }
  // Tail.
  while (sector < end) {
    const uint8_t* src = InnerSectorFor(sector);
    if (!src) return 0;
    memcpy(out, src, 512);
    out += 512;
    ++sector;
  }
  return 1;
}
