// What the partition and free-space page hands to a wipe run once the user
// has confirmed a volume, and the two calls that run it (modal progress
// dialog, then the run's EraseResult). Tests put their own runner in place
// of the real dialogs.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "DiskTable.h"
#include "FileSystemTypes.h"
#include "VolumeRecord.h"

class QWidget;

struct VolumeWipeTarget {
  VolumeRecord record;  // the confirmed row's record (keeps its devices alive)
  char driveLetter = 0;
  int diskNumber = -1;
  uint64_t startSector = 0;  // on the disk
  uint64_t sectorCount = 0;  // the partition-table extent
  uint64_t endSector = 0;    // start + count
  int bytesPerSector = 0;
  int sectorsPerChunk = 0;  // 4 MiB in sectors
  int extentCount = 0;
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  // The disk the row showed, checked again by the run before it writes.
  platform::DiskIdentity disk;
  QString description;  // "D: /dev/loop3p1 at /mnt/usb"
};

// Runs the wipe modally over `parent` and returns its EraseResult
// (partition or free-space mode).
int StartPartitionWipe(const VolumeWipeTarget& target, QWidget* parent);
int StartFreeSpaceWipe(const VolumeWipeTarget& target, QWidget* parent);

// Replaces the run of one mode (ERASE_MODE_PARTITION, ERASE_MODE_FREESPACE);
// an empty function restores the real one.
using WipeRunner = std::function<int(const VolumeWipeTarget& target, QWidget* parent)>;
void SetWipeRunner(int mode, WipeRunner runner);
// The runner in force for `mode` called on `target`.
int RunWipe(int mode, const VolumeWipeTarget& target, QWidget* parent);
