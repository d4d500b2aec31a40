// The low-level sector reader under the disk and volume devices: one raw
// read per request, with the bad-sector handling of recovery scans.
#pragma once

#include <cstdint>

#include "CBadSectorMap.h"
#include "RawDisk.h"

class CSectorReader {
 public:
  // Reads `count` sectors at `first`. `skip` nonzero (recovery scans only):
  // a read over a recorded bad range, or one that meets a media error,
  // answers zeros and 1, and a new bad range is recorded. `skip` 0: any
  // failure answers 0. Reads past the end of the disk, a missing disk and
  // errors other than media errors answer 0 in both modes. *error gets the
  // errno of a failed read (0 otherwise).
  int ReadSector(platform::IRawDisk* disk, void* buffer, uint64_t first, uint64_t count, int skip, int* error);
  // Probes how far a bad area reaches from `start` and records it.
  void UpdateBadSector(platform::IRawDisk* disk, uint64_t start, uint32_t unitSectors, uint32_t minimumUnits,
                       uint32_t probeUnits);

  void SetSectorSize(int bytes) { m_sectorSize = bytes > 0 ? bytes : 512; }
  int GetSectorSize() const { return m_sectorSize; }
  CBadSectorMap& GetBadSectorMap() { return m_badSectors; }

 private:
  CBadSectorMap m_badSectors;
  int m_sectorSize = 512;
};
