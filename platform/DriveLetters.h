// Drive letters for volumes. The program names volumes by letter everywhere
// (lists, history rows, the lock, "X:\\norvanta"); here every recognised
// volume gets one: C for the volume that holds "/", then D, E, ... in the
// order the volumes are registered (the volume collection registers them in
// disk and partition order). A and B are never given. Letters are sticky for
// the life of the process, keyed by (disk identity, start sector), and given
// to unmounted volumes too. When all letters are taken, a letter whose disk
// is absent from the disk table gives way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DiskTable.h"
#include "VolumeLocation.h"

namespace platform {

// The file system of a volume as our own analysers found it (mountinfo
// cannot tell: ntfs-3g shows as fuseblk). Chooses the mounter.
enum class VolumeFsKind { Unknown, FAT, NTFS, exFAT, Ext2, HFSPlus };

struct VolumeRegistration {
  DiskIdentity disk;         // the identity of the disk (DiskEntry::identity)
  uint64_t startSector = 0;  // on the disk, in disk sectors
  uint64_t sectorCount = 0;  // the partition-table extent, in disk sectors
  VolumeLocation location;   // own block device, or a window of the disk's file or node
  VolumeFsKind fsKind = VolumeFsKind::Unknown;
};

// A lettered volume as it stands now.
struct LetteredVolume {
  char letter = 0;
  DiskIdentity disk;
  int diskNumber = -1;  // in the disk table now; -1 when the disk is absent
  std::string diskPath;
  int diskSectorSize = 512;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
  VolumeLocation location;
  VolumeFsKind fsKind = VolumeFsKind::Unknown;
  std::vector<std::string> mountPoints;  // current mounts, from /proc/self/mountinfo
};

// Gives the volume its letter (the one it had, when registered before) and
// records where it is; 0 when no letter is free.
char AssignDriveLetter(const VolumeRegistration& volume);
// The same with the extent taken from the location's window (or the own
// block device's size) and an unknown file system.
char AssignDriveLetter(const DiskIdentity& disk, uint64_t startSector, const VolumeLocation& where);
// Registers several volumes in disk-number, then start-sector order; the
// letters in the order of the input.
std::vector<char> AssignDriveLetters(const std::vector<VolumeRegistration>& volumes);

// The location of the volume at `startSector` (`sectorCount` sectors) of
// disk `diskNumber`: its own partition node when the kernel has one with
// that start and size (sysfs counts 512-byte units), otherwise a window of
// the disk's file or node. False when the disk is not in the table or the
// extent does not fit it.
bool LocateVolume(int diskNumber, uint64_t startSector, uint64_t sectorCount, VolumeLocation* out);
// LocateVolume and AssignDriveLetter together: what the volume collection
// calls for each partition it finds. 0 when the volume cannot be located
// or no letter is free.
char RegisterVolume(int diskNumber, uint64_t startSector, uint64_t sectorCount, VolumeFsKind fsKind);

// The volume of a letter with its disk number and mount points now.
bool GetLetteredVolume(char letter, LetteredVolume* out);
// Every lettered volume whose disk is present, in letter order.
std::vector<LetteredVolume> ListLetteredVolumes();
// The letter of the volume whose own block device or window is `where`.
char FindLetterOfLocation(const VolumeLocation& where);

// What the interface shows beside a letter so that a person can tell the
// volume: "D: /dev/loop3p1 at /mnt/usb", "E: disk.img at byte 1048576 (not
// mounted)".
std::string DescribeVolume(const LetteredVolume& v);

// Drops every letter (tests only: a process normally keeps its letters).
void ForgetDriveLettersForTest();

}  // namespace platform
