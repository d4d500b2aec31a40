#include "DiskListSeam.h"

DiskListSeam* DiskListSeam::instance() {
  static DiskListSeam seam;
  return &seam;
}

void DiskListSeam::SetRunningProbe(std::function<bool()> probe) { m_probe = std::move(probe); }

bool DiskListSeam::IsListingRunning() const { return m_probe && m_probe(); }

void DiskListSeam::NotifyListingEnded() { Q_EMIT listingEnded(); }
