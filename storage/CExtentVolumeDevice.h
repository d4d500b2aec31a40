// The part shared by the dynamic volumes made of extents (simple, spanned,
// striped, RAID-5): the owned extent copies, the sector size of the member
// disks and bounded reads inside one extent.
#pragma once

#include <cstddef>
#include <vector>

#include "IDynamicDevice.h"

class CExtentVolumeDevice : public IDynamicDevice {
 public:
  CExtentVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                      const std::vector<LdmExtentRecord*>& extents);

  // The sector size of the first member disk that is present; 512 when none.
  int GetSectorSize() override;
  void CopyExtents(std::vector<LdmExtentRecord*>& out) override;

  const std::vector<LdmExtentRecord>& Extents() const { return m_extents; }

 protected:
  // Reads `count` sectors at `offset` sectors into the extent. False when the
  // member is missing, the piece does not lie inside the extent, or the disk
  // read fails.
  bool ReadExtent(const LdmExtentRecord& e, uint64_t offset, uint64_t count, unsigned char* out);

  std::vector<LdmExtentRecord> m_extents;
};
