#include "CRawBackedDevice.h"

#include "CScanOptions.h"

CRawBackedDevice::CRawBackedDevice(RawDiskOpener opener, bool strict) : m_opener(std::move(opener)), m_strict(strict) {}

int CRawBackedDevice::Close() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_disk.reset();
  return 1;
}

bool CRawBackedDevice::IsOpen() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_disk != nullptr;
}

int CRawBackedDevice::GetSectorSize() {
  if (m_sectorSize > 0) return m_sectorSize;
  std::lock_guard<std::mutex> guard(m_lock);
  return SectorSizeLocked();
}

int CRawBackedDevice::SectorSizeLocked() {
  if (m_sectorSize > 0) return m_sectorSize;
  if (!m_disk) return 512;  // not cached: asked again once open
  int ss = m_disk->SectorSize();
  m_sectorSize = (ss > 0 && ss % 512 == 0) ? ss : 512;
  m_reader.SetSectorSize(m_sectorSize);
  return m_sectorSize;
}

bool CRawBackedDevice::ReopenLocked() {
  m_disk.reset();
  if (!m_opener) return false;
  int error = 0;
  m_disk = m_opener(&error);
  if (!m_disk) return false;
  m_sectorSize = 0;
  SectorSizeLocked();
  return true;
}

int CRawBackedDevice::ReadLocked(void* buffer, uint64_t first, uint64_t count, int* error) {
  int skip = m_strict ? 0 : GetScanOptions()->skipBadSectors;
  SectorSizeLocked();
  int ok = m_reader.ReadSector(m_disk.get(), buffer, first, count, skip, error);
  m_lastError = ok ? 0 : (*error ? *error : -1);
  return ok;
}

uint64_t CRawBackedDevice::RawSectorCount() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_disk) return 0;
  return m_disk->ByteSize() / static_cast<uint64_t>(SectorSizeLocked());
}
