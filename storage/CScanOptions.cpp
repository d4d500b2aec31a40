#include "CScanOptions.h"

CScanOptions::CScanOptions() {
  SetDefaults();
  for (int& w : fatEntryChecks) w = 1;
  ntfsOptions[0] = 1;
  ntfsOptions[1] = 1;
  ntfsOptions[2] = 0;
  raw.enabled = 1;
  raw.stopMatching = 0;
  raw.maxCarvedSize = 200000000;
  raw.enabledFileTypes.clear();
  for (int id = 1; id <= 110; ++id) raw.enabledFileTypes.push_back(id);
  searchedVolume.label.clear();
  searchedVolume.letter = 255;
}

void CScanOptions::SetDefaults() {
  analyseBootSectors = 1;
  skipBadSectors = 1;
  resourceModule = nullptr;
  stopFatWalks = 0;
}

CScanOptions* GetScanOptions() {
  static CScanOptions options;
  return &options;
}
