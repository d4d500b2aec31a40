// An IStorageDevice over bytes in memory, for tests and fuzz targets.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "IStorageDevice.h"

class MemoryDevice : public IStorageDevice {
 public:
  explicit MemoryDevice(std::vector<uint8_t> bytes, int sectorSize = 512) : m_bytes(std::move(bytes)) {
    m_sectorSize = sectorSize;
  }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    ++reads;
    const uint64_t n = GetSectorCount();
    if (first > n || count > n - first) return 0;
    std::memcpy(buffer, m_bytes.data() + first * m_sectorSize, count * m_sectorSize);
    return failReads ? 0 : 1;
  }
  uint64_t GetSectorCount() override { return m_bytes.size() / m_sectorSize; }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override { return 1; }
  int Close() override { return 1; }

  std::vector<uint8_t>& bytes() { return m_bytes; }
  int reads = 0;
  // Reports failure although the buffer was filled.
  bool failReads = false;

 private:
  std::vector<uint8_t> m_bytes;
};
