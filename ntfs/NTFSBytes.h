// Little-endian field readers for NTFS structures. Callers check that the
// field lies inside their buffer before reading it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ntfsbytes {

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

// Reads `width` bytes (0 to 8) as an unsigned little-endian number.
inline uint64_t ReadUnsignedN(const uint8_t* p, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// Reads `width` bytes (0 to 8) as a two's-complement little-endian number.
inline int64_t ReadSignedN(const uint8_t* p, int width) {
  if (width <= 0) return 0;
  uint64_t value = ReadUnsignedN(p, width);
  if (width < 8 && (p[width - 1] & 0x80)) value |= ~uint64_t(0) << (8 * width);
  return static_cast<int64_t>(value);
}

inline void WriteU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace ntfsbytes
