// The mount table (/proc/self/mountinfo) and which of its mounts belong to
// a volume.
//
// A mount belongs to a volume when its source device (major:minor) is one
// of the nodes that present the volume's bytes (its own block device, or a
// loop device or loop partition laid exactly over its image window), or
// when it is a FUSE mount whose daemon holds one of those nodes open (FUSE
// mounts such as fusefat name neither the device nor its number; the
// daemon's /dev/fuse descriptor tells its connection, which is the mount's
// minor number).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "VolumeLocation.h"

namespace platform {

struct MountEntry {
  int id = 0;
  int parentId = 0;
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;          // the mounted folder of the file system
  std::string mountPoint;    // escapes decoded
  std::string options;       // per-mount options: rw,nosuid,relatime
  std::string fsType;        // ext2, fuseblk, fuse.fusefat
  std::string source;        // /dev/loop3p1, fusefat
  std::string superOptions;  // rw,errors=continue
  bool IsFuse() const;       // fuse, fuseblk, fuse.*
};

// fuse, fuseblk and fuse.* mounts.
bool IsFuseType(const std::string& fsType);

// Undoes the octal escapes (\040 and the like) of a mountinfo field.
std::string DecodeMountField(const std::string& field);
// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const std::string& text);
// The mounts of this process now.
std::vector<MountEntry> ReadMountTable();

// A loop device: its node, backing file (st_dev, st_ino), offset and limit.
struct LoopInfo {
  std::string path;  // /dev/loop3
  dev_t rdev = 0;
  uint64_t backingDev = 0;
  uint64_t backingIno = 0;
  uint64_t offset = 0;
  uint64_t sizeLimit = 0;  // 0: to the end of the backing file
  uint64_t byteSize = 0;   // the loop device's size now
};
std::vector<LoopInfo> ListLoopDevices();

// The partition nodes the kernel has for a whole-disk node, from sysfs
// (whose start and size count 512-byte units whatever the sector size).
struct PartitionNode {
  std::string path;  // /dev/loop3p1
  dev_t rdev = 0;
  uint64_t startByte = 0;
  uint64_t byteLength = 0;
};
std::vector<PartitionNode> PartitionNodesOf(const std::string& diskNodePath);

// The device numbers of every block node that presents exactly the
// volume's bytes now.
std::set<dev_t> VolumeNodes(const VolumeLocation& where);
// Loop devices (whole or by a partition) whose bytes overlap the image
// window of `where`; empty for a volume with its own block device.
std::vector<LoopInfo> LoopsOverWindow(const VolumeLocation& where);

// FUSE connections (the minor number of their mounts) mapped to the device
// numbers of the block nodes their daemons hold open.
std::map<unsigned, std::set<dev_t>> FuseDaemonDevices();
// Whether a FUSE daemon holds one of the volume's nodes open, or, for an
// image window, the image file itself (a FUSE mount of the file).
bool FuseDaemonHoldsVolume(const VolumeLocation& where);

// The mounts of `table` that belong to the volume.
std::vector<MountEntry> MountsOfVolume(const VolumeLocation& where, const std::vector<MountEntry>& table);
std::vector<MountEntry> MountsOfVolume(const VolumeLocation& where);

}  // namespace platform
