// Set to 1 by the disk-list service while it collects partitions: readers
// then look at their superblocks only and skip their heavier tables.
#pragma once

#include <atomic>

extern std::atomic<int> VolumeProbeActive;

// Sets the flag for the life of the object and restores the old value.
class CVolumeProbeScope {
 public:
  CVolumeProbeScope() : m_old(VolumeProbeActive.exchange(1)) {}
  ~CVolumeProbeScope() { VolumeProbeActive = m_old; }
  CVolumeProbeScope(const CVolumeProbeScope&) = delete;
  CVolumeProbeScope& operator=(const CVolumeProbeScope&) = delete;

 private:
  int m_old;
};
