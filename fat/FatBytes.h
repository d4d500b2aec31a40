// Little-endian field readers for FAT on-disk structures. Callers check
// that the field lies inside their buffer before reading it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fatbytes {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A device or boot-sector sector size the FAT code accepts.
inline bool IsSupportedSectorSize(uint64_t bytes) { return bytes >= 512 && bytes <= 4096 && IsPowerOfTwo(bytes); }

}  // namespace fatbytes
