// Whether a path lies on a disk of the disk table: a file written there
// would land on that disk's bytes. Recovery writes what it extracts only to
// files that lie elsewhere.
#pragma once

#include <string>

#include "DiskTable.h"

namespace platform {

// True when the file system holding `path` (which must exist) is read from
// the disk, whole or in part: mounted from the disk's own node or one of its
// partitions, from a loop device (or its partitions) over an image disk's
// bytes, from a device stacked on any of those (device mapper, md), or
// through a FUSE daemon that holds one of them (or the image file) open.
// Also true when that cannot be told (the path does not stat), so a caller
// that refuses on true never writes to the disk by mistake.
bool PathLiesOnDisk(const std::string& path, const DiskEntry& disk);

}  // namespace platform
