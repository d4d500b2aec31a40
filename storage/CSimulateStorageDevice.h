// 512-byte sectors over a device whose sectors are larger (a multiple of 512).
#pragma once

#include <cstdint>
#include <vector>

#include "IStorageDevice.h"

class CSimulateStorageDevice : public IStorageDevice {
 public:
  explicit CSimulateStorageDevice(IStorageDevice* inner);

  // Reads 512-byte sectors. Refuses (0) when the inner sector size is not a
  // multiple of 512. Each inner sector is read once for a run of reads
  // inside it.
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override;
  int GetSectorSize() override { return 512; }
  int Open() override { return 1; }
  int Close() override { return 1; }
  IStorageDevice* GetInnerDevice() override { return m_inner; }

 private:
  // The inner sector holding 512-byte sector `sector`, read when not cached.
  const uint8_t* InnerSectorFor(uint64_t sector);
  uint32_t Ratio();

  std::vector<uint8_t> m_sector;  // one inner sector
  IStorageDevice* m_inner;        // not owned
  uint32_t m_ratio = 1;
  uint64_t m_cachedSector = 0;  // 1 + index of the inner sector held; 0 none
};
