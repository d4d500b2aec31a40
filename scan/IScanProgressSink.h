// The progress sink a caller hands to a recovery.
#pragma once

#include "ScanStatusRecord.h"

class IScanProgressSink {
 public:
  virtual ~IScanProgressSink() = default;
  virtual void OnStatus(const ScanStatusRecord* status) = 0;
  // 0 stops a complete device scan.
  virtual int ShouldContinue() = 0;
  // 2 makes the complete controller locate result nodes among every found
  // partition.
  virtual int GetLocateMode() { return 0; }
};
