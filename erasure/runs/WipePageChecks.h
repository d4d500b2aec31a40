// The questions the partition and free-space page asks of a lettered volume
// before it offers a wipe. None of them writes anything.
#pragma once

#include <string>
#include <vector>

#include "DriveLetters.h"
#include "FileSystemTypes.h"

namespace wipecheck {

// True when the volume cannot be written: a mount of it is read-only
// (statvfs ST_RDONLY or an "ro" mount option), its block device is
// read-only (BLKROGET), or the image file holding it is not writable.
bool IsVolumeReadOnly(const platform::LetteredVolume& volume);
// The same decision from given facts, for tests.
bool IsReadOnlyFrom(const std::vector<std::string>& mountOptions, bool anyMountStatRdonly, int deviceReadOnly);

// The file systems whose free space the free-space wipe fills.
bool FreeSpaceWipeSupports(EFileSystemType type);

}  // namespace wipecheck
