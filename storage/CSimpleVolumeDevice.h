// A dynamic volume of one extent.
#pragma once

#include "CExtentVolumeDevice.h"

class CSimpleVolumeDevice : public CExtentVolumeDevice {
 public:
  using CExtentVolumeDevice::CExtentVolumeDevice;
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
};
