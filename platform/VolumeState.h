// What a volume's mounts and nodes say about writing to it: the space a run
// may fill, whether it is read-only, and flushing what was written through
// a mount down to the volume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DriveLetters.h"
#include "VolumeLocation.h"

namespace platform {

// The file system mounted at a folder, as statvfs reports it.
struct MountSpace {
  // Free bytes this process may fill: root fills the blocks reserved for it
  // too (deleted data lies there as well).
  uint64_t fillableBytes = 0;
  // False when the file system reports no block counts at all (fusefat).
  bool known = true;
  bool readOnly = false;  // ST_RDONLY
  // The file system's block (a FAT or NTFS cluster as the driver reports
  // it; fusefat reports 1024).
  uint64_t blockBytes = 512;
};
// False when the folder cannot be asked.
bool GetMountSpace(const std::string& mountPoint, MountSpace* space);

// Whether the node holding the volume refuses writes: 1 read-only (BLKROGET
// of its block device, or an image file this process may not write), 0
// writable, -1 unknown.
int VolumeNodeReadOnly(const VolumeLocation& where);

// Why the volume cannot be written, or empty when it can: a mount of it is
// read-only (statvfs ST_RDONLY or an "ro" mount option), its block device
// is read-only (BLKROGET), or the image file holding it is not writable.
// Every run that writes to a volume asks this before it locks or mounts it.
std::string ReadOnlyUseOfVolume(const LetteredVolume& volume);
inline bool IsVolumeReadOnly(const LetteredVolume& volume) {
  return !ReadOnlyUseOfVolume(volume).empty();
}
// The same decision from given facts: the options of every mount of the
// volume (per-mount and super-block), whether statvfs called one of them
// read-only, and VolumeNodeReadOnly's answer.
bool IsReadOnlyFrom(const std::vector<std::string>& mountOptions, bool anyMountStatRdonly, int deviceReadOnly);

// Flushes what was written through the mount at `mountPoint` down to the
// volume: syncfs of the file system (FUSE file systems that do not know the
// request have written through fsync already), then fsync of the volume's
// device node, where a FUSE file system's data sits until the node is
// flushed; without a device node (an image window behind a loop device of
// the mount's own) sync(). False when a flush failed.
bool SyncVolume(const std::string& mountPoint, const LetteredVolume& volume);

}  // namespace platform
