#include "HfsPlusVolumeAnalyer.h"

#include <cstring>
#include <vector>

#include "HFSPlusStructs.h"
#include "IStorageDevice.h"
#include "ProbeHFSPlusVolume.h"

HfsPlusVolumeAnalyer::HfsPlusVolumeAnalyer(uint64_t sectors, const char* label, uint64_t start)
    : m_sectors(sectors), m_start(start) {
  if (label) strncpy(m_label, label, sizeof m_label - 1);
}

void HfsPlusVolumeAnalyer::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer) return;
  const size_t length = strnlen(m_label, sizeof m_label);
  if (length + 1 >= size) return;
  memcpy(buffer, m_label, length + 1);
}

namespace {

// The volume header's signature at byte 1024 of the volume: a cheap look
// before the volume is opened (which reports every failure it meets).
bool HasVolumeHeader(IStorageDevice* device, uint64_t start) {
  const int ss = device->GetSectorSize();
  if (ss < 512 || ss > 65536) return false;
  const uint64_t first = start + 1024 / uint64_t(ss);
  const uint64_t count = (1024 % uint64_t(ss) + 512 + uint64_t(ss) - 1) / uint64_t(ss);
  const uint64_t n = device->GetSectorCount();
  if (first < start || (n != 0 && (first >= n || count > n - first))) return false;
  std::vector<uint8_t> buffer(size_t(count) * size_t(ss), 0);
  if (!device->ReadSectors(buffer.data(), first, count)) return false;
  return IsHFSPlusVolumeHeader(buffer.data() + 1024 % ss, 512);
}

}  // namespace

IVolume* CreateHfsPlusVolumeAnalyer(IStorageDevice* device, uint64_t start) {
  if (!device || device->GetSectorSize() <= 0) return nullptr;
  if (!HasVolumeHeader(device, start)) return nullptr;
  const HFSPlusProbeResult probe = ProbeHFSPlusVolume(device, start);
  if (!probe.recognised) return nullptr;
  return new HfsPlusVolumeAnalyer(probe.sectorCount, probe.label.c_str(), start);
}
