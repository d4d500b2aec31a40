#include "CRaid5VolumeDevice.h"

#include <cstring>
#include <vector>

bool CRaid5VolumeDevice::ReadColumn(size_t column, uint64_t at, uint64_t piece, unsigned char* out, bool& bounds) {
  const LdmExtentRecord& e = m_extents[column];
  if (at < e.volumeOffset || at - e.volumeOffset > e.sectorCount || piece > e.sectorCount - (at - e.volumeOffset)) {
    bounds = false;
    return false;
  }
  return ReadExtent(e, at - e.volumeOffset, piece, out);
}

int CRaid5VolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!PrepareRead(buffer, first, count)) return 0;
  const uint64_t n = m_extents.size();
  if (n < 3) return 0;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const size_t sectorSize = size_t(GetSectorSize());
  const uint64_t S = uint64_t(m_stripeSize), D = (n - 1) * S;
  std::vector<unsigned char> other;
  uint64_t pos = first, remaining = count;
  while (remaining > 0) {
    const uint64_t row = pos / D;
    const uint64_t parity = n - 1 - row % n;
    const uint64_t dataIndex = (pos / S) % (n - 1);
    const size_t column = size_t((parity + 1 + dataIndex) % n);
    const uint64_t within = pos % S;
    const uint64_t piece = remaining < S - within ? remaining : S - within;
    const uint64_t at = row * S + within;
    const size_t bytes = size_t(piece) * sectorSize;
    bool bounds = true;
    if (!ReadColumn(column, at, piece, out, bounds)) {
      if (!bounds) return 0;
      // Rebuild: the XOR of the same piece of every other column.
      memset(out, 0, bytes);
      other.resize(bytes);
      for (size_t c = 0; c < n; ++c) {
        if (c == column) continue;
        if (!ReadColumn(c, at, piece, other.data(), bounds)) {
          memset(out, 0, bytes);
          return 0;
        }
        for (size_t b = 0; b < bytes; ++b) out[b] ^= other[b];
      }
    }
    out += bytes;
    pos += piece;
    remaining -= piece;
  }
  return 1;
}
