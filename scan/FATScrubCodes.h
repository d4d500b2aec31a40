// Result codes of the FAT scrub of deleted directory entries, in the
// engine's packed form: location number in the upper 16 bits, Windows error
// number in the lower. Every code but the "ran" ones means nothing was
// written. They sit beside the quick-search interface, below the engines,
// so that the scrub's callers (the free-space run) read them without linking
// the FAT engine.
#pragma once

#include <cstdint>

namespace fatscrub {

// No device given.
constexpr int kNoDevice = 0x00DB0005;
// No acceptable boot sector at sector 0 of the volume (a backup boot
// sector is never enough to write by).
constexpr int kNoBootSector = 0x01000015;

// The scrub ran to its end and every write landed.
constexpr int kDone = 0x015B000D;
// Ran to its end, but writes failed (counted in FATWipeCounters).
constexpr int kWriteFailed = 0x015B001D;
// A read failed; nothing was written after it and the scrub stopped there.
constexpr int kReadFailed = 0x015B001E;
// The stop flag ended the scrub; what was written before stays.
constexpr int kCancelled = 0x015B04C7;

// Refusals, all before the first write.
// The mount-driver writer of the disk could not be opened.
constexpr int kNoWriter = 0x015C0005;
// The disk sector at the target start is not the volume's boot sector (or
// could not be read): wrong disk or offset.
constexpr int kWrongTarget = 0x015D0011;
// The FAT is not loaded and valid, or the volume is marked dirty.
constexpr int kNotClean = 0x015E0570;
// The geometry disagrees with the device or the writer: a file system larger
// than its volume, a volume of unknown size, sector sizes that do not fit.
constexpr int kBadGeometry = 0x015F000D;
// The volume is read through a device that substitutes failed reads, or
// spans more than one extent.
constexpr int kUnsupportedDevice = 0x01600032;

// True for the codes after which something may have been written.
inline bool ScrubRan(int code) {
  return code == kDone || code == kWriteFailed || code == kReadFailed || code == kCancelled;
}

}  // namespace fatscrub
