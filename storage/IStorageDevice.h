// The sector device every part of the engine reads through: physical disks,
// volumes, windows onto a partition, cached and re-blocked views, dynamic
// volumes.
#pragma once

#include <cstddef>
#include <cstdint>

// One read of a batch: `count` sectors at `first` into `buffer`; `ok` tells
// whether the buffer holds them.
struct SectorRead {
  void* buffer = nullptr;
  uint64_t first = 0;
  uint64_t count = 0;
  bool ok = false;
};

class IStorageDevice {
 public:
  IStorageDevice() = default;
  IStorageDevice(const IStorageDevice&) = delete;
  IStorageDevice& operator=(const IStorageDevice&) = delete;
  // Destroys the 512-byte view if one was made.
  virtual ~IStorageDevice() {
    delete m_view512;
    m_view512 = nullptr;
  }

  // Reads `count` sectors from `first` into `buffer` (count x sector size
  // bytes). Nonzero when the buffer holds the data; 0 means the caller must
  // not use the buffer.
  virtual int ReadSectors(void* buffer, uint64_t first, uint64_t count) = 0;
  // Reads every piece as ReadSectors reads it; the pieces may be in flight
  // together. Returns how many pieces, in order, were read before the first
  // failure; no piece after a failed one counts as read. The default reads
  // them one after another and stops at the first failure.
  virtual size_t ReadSectorsBatch(SectorRead* pieces, size_t n) {
    size_t whole = 0;
    for (size_t i = 0; i < n; ++i) {
      SectorRead& p = pieces[i];
      p.ok = whole == i && ReadSectors(p.buffer, p.first, p.count) != 0;
      if (p.ok) ++whole;
    }
    return whole;
  }
  // Total sectors; 0 when the device is not open or its size is unknown.
  virtual uint64_t GetSectorCount() = 0;
  // Bytes per sector; never 0 (512 when the device cannot tell).
  virtual int GetSectorSize() = 0;
  // (Re)opens the underlying handle; nonzero when the device is usable.
  virtual int Open() = 0;
  virtual int Close() = 0;
  // `count` sectors from `first` where the device holds them in memory
  // already (a read-ahead block): a pointer valid until the device's next
  // block change; null otherwise, and the caller reads them with
  // ReadSectors.
  virtual const uint8_t* PeekSectors(uint64_t /*first*/, uint64_t /*count*/) { return nullptr; }
  // The device a re-blocking view reads through; null for every other device.
  virtual IStorageDevice* GetInnerDevice() { return nullptr; }

  // This device when its sectors are 512 bytes; otherwise a 512-byte view
  // over it, made on the first call and owned by this device.
  IStorageDevice* Get512ByteDevice();

 protected:
  int m_sectorSize = 0;  // 0: not known yet
  IStorageDevice* m_view512 = nullptr;
};
