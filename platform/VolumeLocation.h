// Where a volume's bytes are: its own block device, or a byte window of an
// image file (or of a whole disk without partition nodes).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct VolumeLocation {
  std::string devicePath;  // /dev/sdb1, /dev/loop3p1; empty for a window
  std::string imagePath;   // the file or disk node holding the window
  uint64_t byteOffset = 0;
  uint64_t byteLength = 0;
  int sectorSize = 0;  // 0: the node's own
};

// Resolves a drive letter ('A' to 'Z', either case) to where its volume is
// now. The letters are given out by the letter registry (DriveLetters.h);
// a letter never given, or whose disk is absent from the disk table now,
// does not resolve and the result is false.
bool ResolveDriveLetter(char letter, VolumeLocation* out);

}  // namespace platform
