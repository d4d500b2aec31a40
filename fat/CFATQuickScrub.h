// The FAT step of the free-space wipe: checks the volume's boot sector,
// loads the primary FAT and runs the directory scrub (CFATWipeWorker) on
// the calling thread. The quick-search controller of the scan framework
// forwards SetOptions and QuickSearchFiles here and hands out the partition
// fields.
//
// Entry point: SetOptions (disk number of the writer, the partition's start
// sector on that disk), optionally SetStopFlag, then QuickSearchFiles
// (the volume device, opened strict) -> a fatscrub:: code.
#pragma once

#include <atomic>
#include <cstdint>

#include "CFATWipeWorker.h"
#include "FATPartitionFields.h"

class IStorageDevice;

class CFATQuickScrub {
 public:
  CFATQuickScrub() = default;
  CFATQuickScrub(const CFATQuickScrub&) = delete;
  CFATQuickScrub& operator=(const CFATQuickScrub&) = delete;

  // The wipe target: the mount-driver disk number and the partition's first
  // sector on that disk (in the disk's sectors).
  void SetOptions(int deviceNumber, uint64_t startSector) {
    m_deviceNumber = deviceNumber;
    m_startSector = startSector;
    m_targetSet = true;
  }
  void SetStopFlag(const std::atomic<int>* stop) { m_stop = stop; }
  // The disk the target-start check reads (tests); null: the disk table's.
  void SetDiskDevice(IStorageDevice* disk) { m_disk = disk; }

  // Scrubs the volume on `device`; returns a fatscrub:: code.
  int QuickSearchFiles(IStorageDevice* device);

  // Accepts a boot sector whose view is valid, whose total sectors cover its
  // FATs and whose first or second FAT (relative to `partitionStart`) starts
  // with a FAT signature; `fatSignatureType` receives 9, or 1 / 2 from the
  // signature found last.
  static bool CheckBootSector(const uint8_t* sector, uint64_t partitionStart, IStorageDevice* device,
                              int* fatSignatureType);

  const FATPartitionFields& GetPartition() const { return m_partition; }
  const FATWipeCounters& GetCounters() const { return m_counters; }
  // The worker's last write error (0, 87, 644 or the writer's code).
  uint32_t GetLastWriteError() const { return m_lastWriteError; }

 private:
  int m_deviceNumber = -1;
  uint64_t m_startSector = 0;
  bool m_targetSet = false;
  const std::atomic<int>* m_stop = nullptr;
  IStorageDevice* m_disk = nullptr;
  FATPartitionFields m_partition;
  FATWipeCounters m_counters;
  uint32_t m_lastWriteError = 0;
};

// One call: the scrub of the FAT16/FAT32 volume on `volume` (opened strict)
// whose first sector is `partitionStart` of disk `diskNumber`. `stop` may be
// null. Returns a fatscrub:: code; `counters` (may be null) receives what
// was done.
int ScrubFATVolume(IStorageDevice* volume, int diskNumber, uint64_t partitionStart, const std::atomic<int>* stop,
                   FATWipeCounters* counters = nullptr);
