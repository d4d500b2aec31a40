// The volumes of the disk table with their letters, for the vtctl commands
// that take a drive letter (until the volume collection does this).
#pragma once

#include <cstdint>
#include <vector>

#include "DriveLetters.h"
#include "FileSystemTypes.h"

struct VtVolume {
  char letter = 0;
  int diskNumber = -1;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
  EFileSystemType fileSystem = EFileSystemType::Unknown;
};

// Reads the partition table of every disk of the table and gives each
// basic partition its letter.
std::vector<VtVolume> RegisterDiskTableVolumes();
// The registered volume of `letter`; false when there is none.
bool FindVtVolume(char letter, VtVolume* out);
