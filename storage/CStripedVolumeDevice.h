// A dynamic volume striped over its extents (one column each, 64 KiB
// stripes).
#pragma once

#include "CExtentVolumeDevice.h"

class CStripedVolumeDevice : public CExtentVolumeDevice {
 public:
  CStripedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                       const std::vector<LdmExtentRecord*>& extents);
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  int GetStripeSize() const { return m_stripeSize; }

 protected:
  int m_stripeSize = 128;  // sectors
};

// The stripe of the dynamic volumes: 64 KiB in sectors of the member disks.
int DynamicStripeSectors(int sectorSize);
