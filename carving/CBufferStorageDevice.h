// A read-ahead ring over another device: the RAW search appends every block
// it reads, and analysers sizing a file read through this device, so that
// the sectors of the last few blocks come from memory and everything else
// from the wrapped device.
//
// The ring holds a run of consecutive device sectors [window start, window
// start + held). A sector lives at ring slot (sector - attach start) mod
// capacity, so a range that runs past the ring's end is copied in two
// pieces. A block that could not be read keeps its place (the window stays
// aligned with the device) but is marked unreadable: reads that touch it go
// to the wrapped device, as do reads outside the window. A short block (the
// device's last) adds only the sectors it has, so the ring never answers
// past the device's end.
//
// GetSectorCount answers the wrapped device's size: analysers bound sizes
// by it, and the ring's own fill is told by GetHeldSectors.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>

#include "IStorageDevice.h"

class CBufferStorageDevice : public IStorageDevice {
 public:
  CBufferStorageDevice() = default;
  ~CBufferStorageDevice() override;

  // (Re)starts the ring at `windowStart` over `device` (not owned):
  // capacity = blockSectors x blockCount sectors, zeroed, nothing held.
  // `sectorSize` of 0 or below counts as 512.
  void Attach(IStorageDevice* device, uint64_t windowStart, int sectorSize, int blockSectors, int blockCount);
  // Appends `count` sectors of `block` (at most one block's worth) as the
  // sectors following those held. Nothing when not attached.
  void AppendBlock(const uint8_t* block, uint64_t count);
  // The next `count` sectors could not be read: they take their place in
  // the window but are never served from memory.
  void AppendUnreadableBlock(uint64_t count);
  bool IsRingFull() const { return m_attached && m_held == m_capacity; }
  bool IsAttached() const { return m_attached; }
  uint64_t GetWindowStart() const { return m_windowStart; }
  uint64_t GetHeldSectors() const { return m_held; }
  uint64_t GetCapacity() const { return m_capacity; }
  int GetBlockSectors() const { return m_blockSectors; }
  // Whether sectors [first, first + count) are served from memory.
  bool Holds(uint64_t first, uint64_t count) const;

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override;
  int GetSectorSize() override { return m_sectorSize > 0 ? m_sectorSize : 512; }
  int Open() override { return 1; }
  // Releases the ring storage (once); reads then go to the wrapped device.
  int Close() override;

 private:
  void Advance(uint64_t count);

  IStorageDevice* m_device = nullptr;
  std::unique_ptr<uint8_t[]> m_ring;
  uint64_t m_attachStart = 0;
  uint64_t m_windowStart = 0;
  uint64_t m_held = 0;
  uint64_t m_capacity = 0;
  int m_blockSectors = 0;
  bool m_attached = false;
  // Unreadable runs inside the window, oldest first: (first sector, count).
  std::deque<std::pair<uint64_t, uint64_t>> m_unreadable;
};
