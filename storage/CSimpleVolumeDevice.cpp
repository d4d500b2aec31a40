#include "CSimpleVolumeDevice.h"

int CSimpleVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!PrepareRead(buffer, first, count)) return 0;
  if (m_extents.empty() || !m_extents[0].device) return 0;
  if (count == 0) return 1;
  // Only inside the extent: sectors past it belong to something else.
  return ReadExtent(m_extents[0], first, count, static_cast<unsigned char*>(buffer)) ? 1 : 0;
}
