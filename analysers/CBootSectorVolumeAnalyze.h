// What the NTFS and FAT volume analysers share: a boot sector read at the
// start, and the type, label and size they found there.
#pragma once

#include <cstdint>
#include <vector>

#include "IVolume.h"

class IStorageDevice;

class CBootSectorVolumeAnalyze : public IVolume {
 public:
  EFileSystemType GetFileSystemType() override { return m_type; }
  // In sectors of the device.
  uint64_t GetSectorCount() override { return m_sectorCount; }
  // Copies min(size, 100) bytes of the zero-filled label field and ends the
  // copy with a zero.
  void GetVolumeLabel(char* buffer, unsigned size) override;

  // Reads sector `start` of the device into `sector` (sized to the device's
  // sectors); false for an unusable device, a start past its end or a
  // failed read.
  static bool ReadBootSector(IStorageDevice* device, uint64_t start, std::vector<uint8_t>& sector);

 protected:
  EFileSystemType m_type = EFileSystemType::Unknown;
  char m_label[100] = {};
  uint64_t m_sectorCount = 0;
};
