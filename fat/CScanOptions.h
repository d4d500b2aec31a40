// The scan options the FAT code reads. Stand-in until the storage layer's
// own scan options join the build: it holds only the fields used here.
#pragma once

#include <atomic>

class CScanOptions {
 public:
  // Plausibility checks of FAT directory entries (both on by default).
  int dateCheck = 1;
  int timeCheck = 1;
  // Directory walks end at their next cluster while this is non-zero.
  std::atomic<int> stopFlag{0};
  // Which FAT copies the complete search may use.
  int usePrimaryFAT = 1;
  int useSecondaryFAT = 1;
};

// The process-wide options, built with their defaults on first use.
CScanOptions& GetScanOptions();
