#include "ProbeHFSPlusVolume.h"

#include "CHFSPlusVolume.h"
#include "IStorageDevice.h"

HFSPlusProbeResult ProbeHFSPlusVolume(IStorageDevice* device, uint64_t startSector) {
  HFSPlusProbeResult result;
  if (!device || device->GetSectorSize() <= 0) return result;
  const uint64_t sectorSize = static_cast<uint64_t>(device->GetSectorSize());
  const uint64_t deviceSectors = device->GetSectorCount();
  if (deviceSectors != 0 && startSector >= deviceSectors) return result;

  CHFSPlusVolume volume(device, startSector);
  const HFSPlusVolumeHeader* h = volume.GetVolumeHeader();
  if (volume.GetState() != 0 || !h) return result;
  // An opened catalog alone does not make HFS+: the header must be one too.
  uint8_t raw[512];
  if (volume.Read(1024, raw, sizeof raw) < sizeof raw || !IsHFSPlusVolumeHeader(raw, sizeof raw) || h->blockSize == 0 ||
      h->totalBlocks == 0)
    return result;

  char name[260] = {};
  volume.GetVolumeName(name, sizeof name);
  result.label = name;
  // The file system's own size, never more than the device holds after start.
  uint64_t sectors = uint64_t(h->totalBlocks) * h->blockSize / sectorSize;
  if (deviceSectors != 0 && sectors > deviceSectors - startSector) sectors = deviceSectors - startSector;
  result.sectorCount = sectors;
  result.recognised = true;
  return result;
}
