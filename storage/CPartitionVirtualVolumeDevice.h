// A window (start, length) onto a parent device that remembers why its last
// read failed.
#pragma once

#include <cstdint>

#include "IStorageDevice.h"

class CPartitionVirtualVolumeDevice : public IStorageDevice {
 public:
  // Last-error values.
  enum { kFine = 0, kRefused = -1, kNullBuffer = -2, kParentFailed = -3 };

  CPartitionVirtualVolumeDevice(IStorageDevice* parent, uint64_t startSector, uint64_t sectorCount);

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override { return m_sectorCount; }
  int GetSectorSize() override { return m_windowSectorSize; }
  // Takes the parent's sector size again.
  int Open() override;
  int Close() override;
  // Unsupported: last error -1, returns 0.
  virtual int WriteSectors(const void* buffer, uint64_t first, uint64_t count);
  virtual int GetLastError() const { return m_lastError; }
  virtual uint64_t GetStartSector() const { return m_startSector; }

 private:
  int m_lastError = kFine;
  IStorageDevice* m_parent;  // not owned
  int m_windowSectorSize = 512;
  uint64_t m_startSector;
  uint64_t m_sectorCount;
};
