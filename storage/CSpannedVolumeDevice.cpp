#include "CSpannedVolumeDevice.h"

int CSpannedVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!PrepareRead(buffer, first, count)) return 0;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const size_t sectorSize = size_t(GetSectorSize());
  uint64_t pos = first, remaining = count;
  for (const auto& e : m_extents) {
    if (remaining == 0) break;
    if (pos < e.volumeOffset || pos - e.volumeOffset >= e.sectorCount) continue;
    const uint64_t inside = pos - e.volumeOffset;
    const uint64_t piece = remaining < e.sectorCount - inside ? remaining : e.sectorCount - inside;
    // A member that is missing or cannot be read leaves zeros.
    if (e.device) ReadExtent(e, inside, piece, out);
    out += size_t(piece) * sectorSize;
    pos += piece;
    remaining -= piece;
  }
  return remaining == 0 ? 1 : 0;
}
