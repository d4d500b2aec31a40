// The HFS+ volume analyser: made only where an HFS+ volume opens.
#pragma once

#include <cstdint>

#include "IVolume.h"

class IStorageDevice;

class HfsPlusVolumeAnalyer : public IVolume {
 public:
  HfsPlusVolumeAnalyer(uint64_t sectors, const char* label, uint64_t start);
  EFileSystemType GetFileSystemType() override { return EFileSystemType::HFSPlus; }
  // The file system's own size in device sectors.
  uint64_t GetSectorCount() override { return m_sectors; }
  // The volume name followed by " (HFS+)"; writes nothing when it does not
  // fit in `size` with its terminator.
  void GetVolumeLabel(char* buffer, unsigned size) override;
  uint64_t GetStartSector() const { return m_start; }

 private:
  uint64_t m_sectors;
  char m_label[260] = {};
  uint64_t m_start;
};

// Null unless an HFS+ volume opens at `start` of `device`.
IVolume* CreateHfsPlusVolumeAnalyer(IStorageDevice* device, uint64_t start);
