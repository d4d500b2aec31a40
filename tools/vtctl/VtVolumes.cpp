#include "VtVolumes.h"

#include <cctype>

#include "CDiskDevice.h"
#include "CPartitionTableAnalyze.h"
#include "CVolumeManager.h"
#include "DiskTable.h"

std::vector<VtVolume> RegisterDiskTableVolumes() {
  std::vector<VtVolume> volumes;
  for (const platform::DiskEntry& entry : platform::ListDisks()) {
    CDiskDevice disk{entry.number};
    if (disk.GetSectorCount() == 0) continue;
    PartitionRecordList list;
    AnalyzePartitionTable(&disk, list);
    for (const PartitionRecord* r : list) {
      VtVolume v;
      v.diskNumber = entry.number;
      v.startSector = r->startSector;
      v.sectorCount = r->sectorCount;
      v.fileSystem = r->fileSystem;
      v.letter = platform::RegisterVolume(entry.number, r->startSector, r->sectorCount,
                                          CVolumeManager::FsKindOf(r->fileSystem));
      if (v.letter) volumes.push_back(v);
    }
    DeletePartitionRecords(list);
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
