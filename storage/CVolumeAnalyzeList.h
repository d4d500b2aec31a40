// Every registered volume analyser (VolumeAnalyserRegistry.h) over one device
// and start sector, in the order NTFS, FAT, exFAT, HFS+, Ext2; the first that
// recognises a file system decides.
#pragma once

#include <cstdint>
#include <list>

#include "IVolume.h"

class IStorageDevice;

class CVolumeAnalyzeList {
 public:
  CVolumeAnalyzeList(IStorageDevice* device, uint64_t start);
  ~CVolumeAnalyzeList();
  CVolumeAnalyzeList(const CVolumeAnalyzeList&) = delete;
  CVolumeAnalyzeList& operator=(const CVolumeAnalyzeList&) = delete;

  // Appends the analysers of the file systems at `start` (each reads its
  // sectors now).
  void CreateAnalyzers(IStorageDevice* device, uint64_t start);
  // The first analyser whose type is not Unknown; else the last one (callers
  // test the type again); null for an empty list.
  IVolume* GetRecognizedVolume();

  const std::list<IVolume*>& Analyzers() const { return m_analyzers; }

 private:
  std::list<IVolume*> m_analyzers;
};
