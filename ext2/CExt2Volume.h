// The volume analyser of the Ext2 engine: tells whether a partition holds
// an Ext2 or Ext3 file system and reports its type, size and label. It
// never fails its caller: anything wrong reads as "not recognised".
#pragma once

#include <cstdint>

#include "IVolume.h"

class IStorageDevice;

class CExt2Volume : public IVolume {
 public:
  // `start` is in the disk's own sectors.
  CExt2Volume(IStorageDevice* disk, uint64_t start);
  ~CExt2Volume() override;

  EFileSystemType GetFileSystemType() override { return m_type; }
  uint64_t GetSectorCount() override { return m_sectors; }
  void GetVolumeLabel(char* buffer, unsigned size) override;

 private:
  EFileSystemType m_type = EFileSystemType::Unknown;
  char m_label[40] = {};
  uint64_t m_sectors = 0;
};
