// A mirrored dynamic volume: two halves holding the same data; each chunk
// comes from the first half that reads it.
#pragma once

#include <vector>

#include "IDynamicDevice.h"

class CMirrorVolumeDevice : public IDynamicDevice {
 public:
  // Takes ownership of the halves that are not null.
  CMirrorVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info, IDynamicDevice* first,
                      IDynamicDevice* second);
  ~CMirrorVolumeDevice() override;

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  int GetSectorSize() override;
  void CopyExtents(std::vector<LdmExtentRecord*>& out) override;

  const std::vector<IDynamicDevice*>& Halves() const { return m_halves; }

 private:
  bool ReadFromAnyHalf(unsigned char* out, uint64_t first, uint64_t count, std::vector<unsigned char>& scratch);

  std::vector<IDynamicDevice*> m_halves;
  int m_chunkSize = 63;  // sectors
};
