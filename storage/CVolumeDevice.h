// A volume: its own block device, or a byte window of an image file or
// disk node. A volume opened by drive letter asks the platform's letter
// layer where the letter's volume is.
#pragma once

#include <cstdint>
#include <string>

#include "CRawBackedDevice.h"

class CVolumeDevice : public CRawBackedDevice {
 public:
  // The volume of drive letter `letter` ('A' to 'Z', either case). Fails to
  // open ("not found" in the log) when no volume has that letter.
  explicit CVolumeDevice(char letter, bool strict = false);
  // The volume whose block device is `devicePath` (/dev/sdb1, /dev/loop3p1).
  explicit CVolumeDevice(const std::string& devicePath, bool strict = false);
  // The `length` bytes at `offset` of an image file or disk node, in sectors
  // of `sectorSize` bytes (0: the node's own, 512 for files).
  CVolumeDevice(const std::string& imagePath, uint64_t offset, uint64_t length, int sectorSize = 0,
                bool strict = false);
  // Reads through the raw disks `opener` makes (tests inject faults here).
  CVolumeDevice(RawDiskOpener opener, bool strict);
  ~CVolumeDevice() override = default;

  int Open() override;
  // One read under the lock, without retries.
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  // Strict: the pieces go to the raw disk as one batch, in flight together,
  // under the lock; lenient: one after another, as ReadSectors reads them.
  size_t ReadSectorsBatch(SectorRead* pieces, size_t n) override;
  // 0 unless open; not cached.
  uint64_t GetSectorCount() override;
  char GetDriveLetter() const { return m_letter; }

 private:
  char m_letter = 0;
};
