// The exFAT volume analyser of the disk list: made only where an exFAT boot
// sector lies; reports the volume length and the root directory's label.
#pragma once

#include <cstdint>

#include "IVolume.h"

class IStorageDevice;

class CExFatVolumeAnalyer : public IVolume {
 public:
  CExFatVolumeAnalyer(uint64_t sectors, const char16_t* label);
  EFileSystemType GetFileSystemType() override { return EFileSystemType::exFAT; }
  uint64_t GetSectorCount() override { return m_sectors; }
  // Writes nothing when the label with its terminator does not fit in `size`.
  void GetVolumeLabel(char* buffer, unsigned size) override;

 private:
  uint64_t m_sectors;
  char16_t m_label[260] = {};
};

// Null unless an exFAT boot sector is found at `start`.
IVolume* CreateExFatVolumeAnalyer(IStorageDevice* device, uint64_t start);
