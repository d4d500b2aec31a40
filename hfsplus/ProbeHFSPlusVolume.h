// The HFS+ volume probe of the volume list: whether an HFS+ volume begins at
// a sector of a device, its label and its size. The HFS+ volume analyser
// answers with it.
#pragma once

#include <cstdint>
#include <string>

class IStorageDevice;

struct HFSPlusProbeResult {
  bool recognised = false;
  std::string label;         // the volume name followed by " (HFS+)"
  uint64_t sectorCount = 0;  // the file system's size in device sectors
};

HFSPlusProbeResult ProbeHFSPlusVolume(IStorageDevice* device, uint64_t startSector);
