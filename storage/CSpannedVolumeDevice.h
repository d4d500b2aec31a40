// A dynamic volume whose extents follow one another (ascending volume
// offset); a missing member leaves zeros in its range.
#pragma once

#include "CExtentVolumeDevice.h"

class CSpannedVolumeDevice : public CExtentVolumeDevice {
 public:
  using CExtentVolumeDevice::CExtentVolumeDevice;
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
};
