// Checks on FAT geometry values. Fields are read with the shared
// byte-order helpers (ByteOrder.h); callers check that a field lies inside
// their buffer before reading it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteOrder.h"

namespace fatbytes {

inline bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// A device or boot-sector sector size the FAT code accepts.
inline bool IsSupportedSectorSize(uint64_t bytes) { return bytes >= 512 && bytes <= 4096 && IsPowerOfTwo(bytes); }

}  // namespace fatbytes
