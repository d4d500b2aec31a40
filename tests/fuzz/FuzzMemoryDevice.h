// The device the fuzz targets read their input through: the tests' shared
// MemoryDevice from tests/support, and the input laid out in sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "MemoryDevice.h"

using testutil::MemoryDevice;

// A zeroed disk of whole `sectorSize` sectors, at least `minBytes` long,
// holding the `size` bytes of `data` from byte `offset` on.
inline std::vector<uint8_t> FuzzDiskBytes(const uint8_t* data, size_t size, int sectorSize = 512, size_t offset = 0,
                                          size_t minBytes = 0) {
  const size_t ss = static_cast<size_t>(sectorSize);
  size_t total = offset + size;
  if (total < minBytes) total = minBytes;
  std::vector<uint8_t> bytes((total + ss - 1) / ss * ss, 0);
  if (size) std::memcpy(bytes.data() + offset, data, size);
  return bytes;
}
