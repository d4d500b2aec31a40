// Whether a volume is one the running system lives on: it carries "/",
// /boot, /boot/efi, /usr or /home (as a mount or a bind mount of it), or an
// active swap area (a swap partition on it, or a swap file in a file system
// on it). Such a volume is never wiped or locked: a lock would unmount what
// the system needs (an idle /boot/efi unmounts without complaint).
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "MountTable.h"
#include "VolumeLocation.h"

namespace platform {

// The folders whose volume the system runs from.
const std::vector<std::string>& SystemMountPoints();

// Why the volume is in the system's use ("it holds /boot", "it holds the
// active swap area /dev/sda3"); empty when it is not. Reads
// /proc/self/mountinfo and /proc/swaps now.
std::string SystemUseOfVolume(const VolumeLocation& where);

// The same from given tables: `volumeMounts` are the mounts of the volume
// (MountsOfVolume), `nodes` the device numbers of the nodes that present its
// bytes (VolumeNodes), `swapsText` the contents of /proc/swaps. Swap
// partitions are matched by the device number of their node, swap files by
// the device of their file system or by lying under a mount of the volume.
std::string SystemUseOf(const std::vector<MountEntry>& volumeMounts, const std::set<dev_t>& nodes,
                        const std::string& swapsText);

}  // namespace platform
