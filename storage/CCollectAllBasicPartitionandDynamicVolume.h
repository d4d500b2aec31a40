// Builds the list of volumes the disk pages show and wipe: the disks of the
// disk table, their basic partitions with drive letters, the dynamic volumes
// of their LDM database, sorted with the lettered volumes first.
//
// Drive letters come from the platform's letter registry (RegisterVolume),
// which also tells the lock layer where a letter's volume is. A dynamic
// volume of more than one extent (spanned, striped, mirrored, RAID-5) is
// never registered: its first extent is not the volume, so it has no letter
// and no lock through which anything could write it.
#pragma once

#include <list>
#include <memory>

#include "PartitionRecord.h"
#include "VolumeRecord.h"

class CDiskDevice;
struct DynamicVolumeEntry;

using DiskDeviceList = std::list<std::shared_ptr<CDiskDevice>>;

// Rescans the disk table and opens every disk present (numbers 0 to 19).
void CollectDisks(DiskDeviceList& disks);

// The disk text of a disk: "vendor  product  bus" ("product  bus" when the
// vendor is empty or starts with "("), cut to kDiskTextChars characters;
// empty when the disk tells nothing. `out` holds kDiskTextChars + 1 bytes.
void FormatDiskText(CDiskDevice* disk, char* out);

// Drive letters for the partitions of `disk` that hold a recognised file
// system; false when the disk is not open.
bool AssignDriveLetters(CDiskDevice* disk, PartitionRecordList& partitions);

// Basic volumes of every disk, appended to `volumes`. A partition that
// overlaps one of `dynamicVolumes` is left out (and gets no letter): the
// dynamic volume stands for it.
void CollectBasicVolumes(const DiskDeviceList& disks, VolumeRecordList& volumes,
                         const VolumeRecordList& dynamicVolumes = VolumeRecordList());
// Dynamic volumes of the disks' LDM databases, without drive letters yet.
void CollectDynamicVolumes(const DiskDeviceList& disks, VolumeRecordList& volumes);
// Extents and parent-disk text of a dynamic volume from its device. The
// extent disks are looked up in `disks`; an extent on a disk not in it (or
// absent) is left out.
void FillDynamicVolumeExtents(const DynamicVolumeEntry& entry, VolumeRecord& record, const DiskDeviceList& disks);
// Letters for the dynamic volumes that lie in one extent; the others get
// none (see above).
void AssignDynamicVolumeLetters(VolumeRecordList& volumes);

class CCollectAllBasicPartitionandDynamicVolume {
 public:
  // Nothing for an empty disk list; else the dynamic volumes, the basic
  // volumes, letters for the dynamic ones, then sort.
  static void CollectAllBasicPartitionandDynamicVolume(const DiskDeviceList& disks, VolumeRecordList& volumes);
  // Lettered volumes first in letter order, then the others in their
  // previous order (a stable sort).
  static void sort(VolumeRecordList& volumes);
};
