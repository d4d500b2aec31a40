// The NTFS volume analyser: an NTFS boot sector at the start, its size and
// the $Volume name.
#pragma once

#include <cstdint>

#include "IVolume.h"

class IStorageDevice;

class CNtfsVolumeAnalyze : public IVolume {
 public:
  // `start` is in the device's sectors; the device stays the caller's.
  CNtfsVolumeAnalyze(IStorageDevice* device, uint64_t start);

  EFileSystemType GetFileSystemType() override { return m_type; }
  // In sectors of the device (the boot sector's count, rescaled when the
  // volume's sector size differs from the device's).
  uint64_t GetSectorCount() override { return m_sectorCount; }
  // Copies min(size, 100) bytes of the zero-filled label field and ends the
  // copy with a zero.
  void GetVolumeLabel(char* buffer, unsigned size) override;

 private:
  EFileSystemType m_type = EFileSystemType::Unknown;
  char m_label[100] = {};
  uint64_t m_sectorCount = 0;
};
