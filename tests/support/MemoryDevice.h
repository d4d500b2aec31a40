// An IStorageDevice over bytes in memory, for the tests and fuzz targets of
// the parsers and of the device layers above them. It records its reads, and
// a read touching `failSector` fails after filling the buffer all the same,
// so a caller that judges a failed read by its bytes shows.
//
// Header-only; its users link `storage`.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "IStorageDevice.h"

namespace testutil {

// Byte i of the pattern a device can fill itself with: differs from sector
// to sector and from byte to byte.
inline uint8_t PatternByte(uint64_t offset) {
  uint64_t x = offset * 0x9E3779B97F4A7C15ull;
  return static_cast<uint8_t>((x >> 56) ^ (offset >> 9));
}

inline std::vector<uint8_t> PatternBytes(uint64_t offset, size_t length) {
  std::vector<uint8_t> v(length);
  for (size_t i = 0; i < length; ++i) v[i] = PatternByte(offset + i);
  return v;
}

class MemoryDevice : public IStorageDevice {
 public:
  // `sectors` sectors of the pattern bytes.
  MemoryDevice(uint64_t sectors, int sectorSize)
      : MemoryDevice(PatternBytes(0, static_cast<size_t>(sectors * static_cast<uint64_t>(sectorSize))), sectorSize) {}
  explicit MemoryDevice(std::vector<uint8_t> bytes, int sectorSize = 512) : m_bytes(std::move(bytes)) {
    m_sectorSize = sectorSize;
  }
  explicit MemoryDevice(const std::string& bytes, int sectorSize = 512)
      : MemoryDevice(std::vector<uint8_t>(bytes.begin(), bytes.end()), sectorSize) {}

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    ++reads;
    readLog.emplace_back(first, count);
    const uint64_t n = GetSectorCount();
    if (!buffer || first > n || count > n - first) return 0;
    const uint64_t ss = static_cast<uint64_t>(m_sectorSize);
    if (count) memcpy(buffer, m_bytes.data() + first * ss, static_cast<size_t>(count * ss));
    return failSector >= first && failSector - first < count ? 0 : 1;
  }
  uint64_t GetSectorCount() override {
    return m_sectorSize > 0 ? m_bytes.size() / static_cast<uint64_t>(m_sectorSize) : 0;
  }
  int GetSectorSize() override { return m_sectorSize > 0 ? m_sectorSize : 512; }
  int Open() override { return 1; }
  int Close() override { return 1; }
  std::vector<uint8_t>& Bytes() { return m_bytes; }

  int reads = 0;                                        // ReadSectors calls
  std::vector<std::pair<uint64_t, uint64_t>> readLog;  // (first, count) of each call
  uint64_t failSector = ~0ull;                          // a read touching this sector fails

 private:
  std::vector<uint8_t> m_bytes;
};

}  // namespace testutil
