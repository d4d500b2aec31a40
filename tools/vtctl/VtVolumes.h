// The volumes of the disk table with their letters, for the vtctl commands
// that take a drive letter: the volume collection the pages use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DriveLetters.h"
#include "FileSystemTypes.h"

struct VtVolume {
  char letter = 0;
  int diskNumber = -1;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  std::string label;  // the file system's label, empty when it has none
};

// Collects the volumes of every disk of the table (letters included) and
// returns those a run can take: lettered, one extent.
std::vector<VtVolume> RegisterDiskTableVolumes();
// The registered volume of `letter`; false when there is none.
bool FindVtVolume(char letter, VtVolume* out);
