// The process-wide engine options. Every reader calls GetScanOptions() at
// the point of use; nothing in the program changes a value after
// construction, so every run sees the defaults.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct RawScanOptions {
  int enabled = 1;                     // the RAW search joins complete searches
  std::atomic<int> stopMatching{0};    // the RAW matcher stops when nonzero
  uint64_t maxCarvedSize = 200000000;  // bytes; analysers bound carved files by it
  std::vector<int> enabledFileTypes;   // RAW file-type ids 1 to 110
};

struct SearchedVolumeName {
  std::string label;
  uint8_t letter = 255;  // 255: none
  // The letter, with 0 taken as 255 (none).
  uint8_t GetLetter() const { return letter == 0 ? 255 : letter; }
};

class CScanOptions {
 public:
  CScanOptions();
  ~CScanOptions() = default;
  CScanOptions(const CScanOptions&) = delete;
  CScanOptions& operator=(const CScanOptions&) = delete;

  // The scalar defaults; the constructor's first step.
  void SetDefaults();

  int analyseBootSectors = 1;  // 0: complete searches skip boot sectors
  // Nonzero: a failed read of a recovery scan answers zeros and success and
  // records a bad range. Devices opened strict ignore it.
  int skipBadSectors = 1;
  void* resourceModule = nullptr;  // where the NTFS search takes its status texts
  std::atomic<int> stopFatWalks{0};
  int fatEntryChecks[5] = {1, 1, 1, 1, 1};
  int ntfsOptions[3] = {1, 1, 0};
  RawScanOptions raw;
  SearchedVolumeName searchedVolume;
};

// The single instance, made on the first call (safe against two first
// callers on different threads).
CScanOptions* GetScanOptions();
