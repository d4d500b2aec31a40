#include "CStripedVolumeDevice.h"

int DynamicStripeSectors(int sectorSize) {
  if (sectorSize <= 0 || sectorSize > 65536) return 1;
  return 65536 / sectorSize;
}

CStripedVolumeDevice::CStripedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                           const std::vector<LdmExtentRecord*>& extents)
    : CExtentVolumeDevice(type, info, extents) {
  m_stripeSize = DynamicStripeSectors(GetSectorSize());
}

int CStripedVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!PrepareRead(buffer, first, count)) return 0;
  if (m_extents.empty()) return 0;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const size_t sectorSize = size_t(GetSectorSize());
  const uint64_t S = uint64_t(m_stripeSize), n = m_extents.size();
  uint64_t pos = first, remaining = count;
  while (remaining > 0) {
    const uint64_t row = pos / (S * n), column = (pos / S) % n, within = pos % S;
    const uint64_t piece = remaining < S - within ? remaining : S - within;
    const LdmExtentRecord& e = m_extents[size_t(column)];
    // The piece must lie inside its column's extent.
    const uint64_t at = row * S + within;
    if (at < e.volumeOffset || at - e.volumeOffset > e.sectorCount || piece > e.sectorCount - (at - e.volumeOffset))
      return 0;
    if (e.device) ReadExtent(e, at - e.volumeOffset, piece, out);
    out += size_t(piece) * sectorSize;
    pos += piece;
    remaining -= piece;
  }
  return 1;
}
