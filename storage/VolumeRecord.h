// One volume as the disk pages see it: a basic partition or a dynamic
// volume, with the disk extents it lies on. Records share ownership of their
// volume device and of the disks under it, so a record copied out of the
// disk list stays usable (its device readable) for as long as the copy
// lives, even while a rescan rebuilds the list.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "FileSystemTypes.h"

class CDiskDevice;
class IStorageDevice;

constexpr int kMaxVolumeExtents = 32;
constexpr int kVolumeLabelBytes = 100;
constexpr int kParentDiskTextBytes = 512;
// A disk text (vendor, product and bus) holds at most this many characters.
constexpr int kDiskTextChars = 49;

enum EVolumeKind : int { kVolumeKindBasic = 0, kVolumeKindDynamic = 1 };

// One extent of a volume on a disk; the first extent without a disk ends
// the list.
struct VolumeMemberExtent {
  uint64_t startSector = 0;  // on the disk
  uint64_t sectorCount = 0;
  std::shared_ptr<CDiskDevice> disk;
};

struct VolumeRecord {
  uint32_t reserved = 0;
  // The CBasicPartitionDevice window of a basic volume, the IDynamicDevice
  // of a dynamic one, the CVolumeDevice of a letter-only record. Keeps the
  // disks it reads through alive too.
  std::shared_ptr<IStorageDevice> volumeDevice;
  int kind = kVolumeKindBasic;
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  char driveLetter = 0;  // 'A' to 'Z', 0 when none
  char label[kVolumeLabelBytes] = {};
  int letterOnly = 0;  // made from a drive letter alone
  int usb = 0;         // the disk's bus is USB
  VolumeMemberExtent extents[kMaxVolumeExtents];
  char parentDiskText[kParentDiskTextBytes] = {};

  // The number of extents before the first one without a disk.
  int ExtentCount() const;
};

using VolumeRecordList = std::list<VolumeRecord>;

// The first record with that letter, or null.
const VolumeRecord* FindVolumeByLetter(char letter, const VolumeRecordList& volumes);
// Some extent of `a` and some extent of `b` lie on disks with the same disk
// number and their sector ranges intersect.
bool ExtentsOverlap(const VolumeRecord& a, const VolumeRecord& b);
// False for a record whose reserved word is set; true when it has the
// letter; false when it has another; else whether it overlaps the record
// that has the letter.
bool IsVolumeOfLetter(const VolumeRecord& record, char letter, const VolumeRecordList& volumes);

// vsnprintf into 256 and 260 bytes; the text is cut to fit and always
// terminated. The count of characters written, or -1 when cut or failed.
int FormatString256(char* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
int FormatMaxPath(char* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "\\?\Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\" of 16 GUID bytes in
// stored order; `out` holds 260 bytes.
void GetVolumeGuidPath(const uint8_t guid[16], char* out);
// The letter the system's mount manager gave a volume GUID. There is no
// mount manager here: letters come from the letter registry, so always 0.
char GetDriveLetterOfVolumeGuid(const uint8_t guid[16]);
// The letter of a device-mapper volume of a disk group: none here (0).
char GetDriveLetterOfDmVolume(const char* volumeName, const char* diskGroupName);
