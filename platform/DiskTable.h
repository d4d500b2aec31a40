// The process-wide disk table: disk number N (0 to 19) stands for one whole
// disk, a block device or an image file.
//
// With VANTOREL_DISKS set (colon-separated paths of block devices or image
// files), the table holds exactly those entries, numbered in that order;
// otherwise the whole-disk block devices of /sys/block, sorted by name.
// Numbers are sticky for the life of the process: an entry keeps its number
// across rescans (keyed by its identity), also while it is absent, and a new
// disk takes the lowest number no other disk holds or held. Setting
// VANTOREL_DISKS to another value starts a fresh table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RawDisk.h"

namespace platform {

constexpr int kMaxDisks = 20;

// What tells one disk from another across rescans and replugs: st_rdev and
// size for block devices, st_dev and st_ino for image files.
struct DiskIdentity {
  enum class Kind { None, BlockDevice, ImageFile };
  Kind kind = Kind::None;
  uint64_t first = 0;   // st_rdev or st_dev
  uint64_t second = 0;  // size in bytes or st_ino
  bool operator==(const DiskIdentity& o) const { return kind == o.kind && first == o.first && second == o.second; }
  bool operator!=(const DiskIdentity& o) const { return !(*this == o); }
  // "dev 7:3 size 8388608" or "file 254:1 ino 1234".
  std::string ToString() const;
};

struct DiskEntry {
  int number = -1;
  std::string path;  // /dev/sdb, /dev/loop3 or the image file
  bool isImageFile = false;
  std::string model;  // vendor and model, a loop device's backing file, or the image's file name
  DiskIdentity identity;
  int sectorSize = 512;  // bytes per logical sector
  uint64_t sectorCount = 0;
};

// Scans again and returns the disks present now, by number.
std::vector<DiskEntry> RefreshDiskTable();
// The disks present at the last scan (scans once when never scanned).
std::vector<DiskEntry> ListDisks();
// The entry of disk `number` when it is present.
bool GetDiskEntry(int number, DiskEntry* out);
// Opens disk `number` read-only. Fails (null, errno in *error) when the
// number is out of range or free, or when the node now holds another disk
// than the table says (ENXIO): a swapped disk is never read by its old number.
std::unique_ptr<RawDisk> OpenDisk(int number, int* error = nullptr);

// The identity and geometry of one path as the table would record them.
bool ProbeDiskPath(const std::string& path, DiskEntry* out);

}  // namespace platform
