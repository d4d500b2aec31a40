#include "CMirrorVolumeDevice.h"

#include <cstring>

CMirrorVolumeDevice::CMirrorVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info, IDynamicDevice* first,
                                         IDynamicDevice* second)
    : IDynamicDevice(type, info) {
  if (first) m_halves.push_back(first);
  if (second) m_halves.push_back(second);
}

CMirrorVolumeDevice::~CMirrorVolumeDevice() {
  for (IDynamicDevice* h : m_halves) delete h;
}

int CMirrorVolumeDevice::GetSectorSize() { return m_halves.empty() ? 512 : m_halves[0]->GetSectorSize(); }

void CMirrorVolumeDevice::CopyExtents(std::vector<LdmExtentRecord*>& out) {
  for (IDynamicDevice* h : m_halves) h->CopyExtents(out);
}

bool CMirrorVolumeDevice::ReadFromAnyHalf(unsigned char* out, uint64_t first, uint64_t count,
                                          std::vector<unsigned char>& scratch) {
  // A half that fails may have filled part of its buffer: read into scratch.
  const size_t bytes = size_t(count) * size_t(GetSectorSize());
  scratch.resize(bytes);
  for (IDynamicDevice* h : m_halves) {
    if (h->GetSectorSize() != GetSectorSize()) continue;
    if (h->ReadSectors(scratch.data(), first, count)) {
      memcpy(out, scratch.data(), bytes);
      return true;
    }
  }
  return false;
}

int CMirrorVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!PrepareRead(buffer, first, count)) return 0;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  const size_t sectorSize = size_t(GetSectorSize());
  std::vector<unsigned char> scratch;
  uint64_t pos = first, remaining = count;
  while (remaining > 0) {
    const uint64_t chunk = remaining < uint64_t(m_chunkSize) ? remaining : uint64_t(m_chunkSize);
    if (!ReadFromAnyHalf(out, pos, chunk, scratch)) {
      // Sector by sector; a sector no half can read stays zero.
      for (uint64_t s = 0; s < chunk; ++s) ReadFromAnyHalf(out + size_t(s) * sectorSize, pos + s, 1, scratch);
    }
    out += size_t(chunk) * sectorSize;
    pos += chunk;
    remaining -= chunk;
  }
  return 1;
}
