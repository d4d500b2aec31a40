// The interface of quick searches: one walk over the file system of a
// known volume.
#pragma once

#include "IFileSystemSearchController.h"
#include "WipeTarget.h"

class IQuickFileSystemSearchController : public IFileSystemSearchController {
 public:
  // Walks the volume; an engine error code (0 success). `sink` may be null.
  virtual int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) = 0;
  // The write target (WipeTarget). Searches that never write ignore it.
  virtual void SetOptions(int deviceNumber, uint64_t partitionStartSector) = 0;
};
