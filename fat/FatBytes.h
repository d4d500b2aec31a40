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

// The first two FAT16 entries, read as one little-endian word: FAT[0] is the
// media byte F8 over ones; FAT[1] carries the clean-shutdown flag in bit 15.
// mkfs.fat writes 0xFFFF there, fusefat leaves 0x8000 after a mount (clean,
// the other bits clear); a FAT whose clean flag is clear is not taken.
inline bool IsCleanFAT16Head(uint32_t firstTwoEntries) {
  return (firstTwoEntries & 0xFFFFu) == 0xFFF8u && (firstTwoEntries & 0x80000000u) != 0;
}

}  // namespace fatbytes
