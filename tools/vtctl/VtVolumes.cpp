#include "VtVolumes.h"

#include <cctype>
#include <cstring>

#include "CCollectAllBasicPartitionandDynamicVolume.h"
#include "CDiskDevice.h"
#include "VolumeProbeFlag.h"

// The same collection the disk list service runs for the pages: it gives the
// volumes of the disk table their letters.
std::vector<VtVolume> RegisterDiskTableVolumes() {
  DiskDeviceList disks;
  VolumeRecordList records;
  {
    CVolumeProbeScope probe;
    CollectDisks(disks);
    CCollectAllBasicPartitionandDynamicVolume::CollectAllBasicPartitionandDynamicVolume(disks, records);
  }
  std::vector<VtVolume> volumes;
  for (const VolumeRecord& r : records) {
    // Volumes of several extents get no letter for a run.
    if (!r.driveLetter || r.ExtentCount() != 1) continue;
    VtVolume v;
    v.letter = r.driveLetter;
    v.diskNumber = r.extents[0].disk->GetDiskNumber();
    v.startSector = r.extents[0].startSector;
    v.sectorCount = r.extents[0].sectorCount;
    v.fileSystem = r.fileSystem;
    v.label.assign(r.label, strnlen(r.label, sizeof r.label));
    volumes.push_back(v);
  }
  return volumes;
}

bool FindVtVolume(char letter, VtVolume* out) {
  const char upper = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
  for (const VtVolume& v : RegisterDiskTableVolumes())
    if (v.letter == upper) {
      *out = v;
      return true;
    }
  return false;
}
