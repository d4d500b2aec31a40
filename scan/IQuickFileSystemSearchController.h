// The interface of quick searches: one walk over the file system of a
// known volume.
#pragma once

#include <atomic>

#include "IFileSystemSearchController.h"
#include "WipeTarget.h"

class IQuickFileSystemSearchController : public IFileSystemSearchController {
 public:
  // Walks the volume; an engine error code (0 success). `sink` may be null.
  virtual int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) = 0;
  // The write target (WipeTarget). Searches that never write ignore it.
  virtual void SetOptions(int deviceNumber, uint64_t partitionStartSector) = 0;
  // A flag of the caller's that searches able to stop early poll (nonzero:
  // stop and answer an error); null or ignored: the search runs to its end.
  virtual void SetCancelFlag(const std::atomic<int>* cancel) { (void)cancel; }
};
