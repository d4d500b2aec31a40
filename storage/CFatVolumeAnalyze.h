// The FAT volume analyser: a FAT16 or FAT32 boot sector at the start, its
// size and the label of its root directory. FAT12 is not recognised.
#pragma once

#include <cstdint>

#include "IVolume.h"

class IStorageDevice;

class CFatVolumeAnalyze : public IVolume {
 public:
  // `start` is in the device's sectors; the device stays the caller's.
  CFatVolumeAnalyze(IStorageDevice* device, uint64_t start);

  EFileSystemType GetFileSystemType() override { return m_type; }
  uint64_t GetSectorCount() override { return m_sectorCount; }
  // Copies min(size, 100) bytes of the zero-filled label field and ends the
  // copy with a zero.
  void GetVolumeLabel(char* buffer, unsigned size) override;

 private:
  EFileSystemType m_type = EFileSystemType::Unknown;
  char m_label[100] = {};
  uint64_t m_sectorCount = 0;
};
