// The questions the partition and free-space page asks of a lettered volume
// before it offers a wipe. None of them writes anything. (Whether a volume
// is read-only is platform::IsVolumeReadOnly, which the runs ask too.)
#pragma once

#include "FileSystemTypes.h"

namespace wipecheck {

// The file systems whose free space the free-space wipe fills.
bool FreeSpaceWipeSupports(EFileSystemType type);

}  // namespace wipecheck
