// A RAID-5 dynamic volume: one stripe per row holds the parity of the
// others, rotating from the last column down; a missing or unreadable member
// is rebuilt from the other columns.
#pragma once

#include <cstddef>

#include "CStripedVolumeDevice.h"

class CRaid5VolumeDevice : public CStripedVolumeDevice {
 public:
  using CStripedVolumeDevice::CStripedVolumeDevice;
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;

 private:
  // Reads `piece` sectors at column position `at` of one column; false on a
  // missing member or a failed read. `bounds` is cleared when the piece does
  // not lie inside the column's extent.
  bool ReadColumn(size_t column, uint64_t at, uint64_t piece, unsigned char* out, bool& bounds);
};
