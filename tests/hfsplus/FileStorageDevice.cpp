#include "FileStorageDevice.h"

#include <cstring>

#include "TestUtil.h"

FileStorageDevice FileStorageDevice::FromFile(const std::string& path, int sectorSize) {
  return FileStorageDevice(testutil::ReadFile(path), sectorSize);
}

int FileStorageDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  reads.emplace_back(first, count);
  const uint64_t s = static_cast<uint64_t>(m_sectorSize);
  if (count == 0 || first > m_bytes.size() / s || count > m_bytes.size() / s - first) return 0;
  std::memcpy(buffer, m_bytes.data() + first * s, count * s);
  return 1;
}
