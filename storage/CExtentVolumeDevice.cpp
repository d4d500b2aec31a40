#include "CExtentVolumeDevice.h"

CExtentVolumeDevice::CExtentVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                         const std::vector<LdmExtentRecord*>& extents)
    : IDynamicDevice(type, info) {
  m_extents.reserve(extents.size());
  for (const LdmExtentRecord* e : extents)
    if (e) m_extents.push_back(*e);
}

int CExtentVolumeDevice::GetSectorSize() {
  for (const auto& e : m_extents)
    if (e.device) return e.device->GetSectorSize();
  return 512;
}

void CExtentVolumeDevice::CopyExtents(std::vector<LdmExtentRecord*>& out) {
  for (auto& e : m_extents) out.push_back(&e);
}

bool CExtentVolumeDevice::ReadExtent(const LdmExtentRecord& e, uint64_t offset, uint64_t count,
                                     unsigned char* out) {
  if (!e.device || offset > e.sectorCount || count > e.sectorCount - offset) return false;
  if (e.startSector > UINT64_MAX - offset) return false;
  return e.device->ReadSectors(out, e.startSector + offset, count) != 0;
}
