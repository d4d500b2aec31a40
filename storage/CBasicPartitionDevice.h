// A basic partition: a window (start, length) onto its disk.
#pragma once

#include <cstdint>

#include "IStorageDevice.h"

class CBasicPartitionDevice : public IStorageDevice {
 public:
  CBasicPartitionDevice(IStorageDevice* parent, uint64_t startSector, uint64_t sectorCount);

  // 0 unless IsRangeInside; sectors past the partition's end read as zeros.
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  bool IsRangeInside(uint64_t first, uint64_t count) const;
  uint64_t GetSectorCount() override { return m_sectorCount; }
  uint64_t GetStartSector() const { return m_startSector; }
  // The parent's, 512 without a parent.
  int GetSectorSize() override;
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  IStorageDevice* m_parent;  // not owned
  uint64_t m_startSector;
  uint64_t m_sectorCount;
};
