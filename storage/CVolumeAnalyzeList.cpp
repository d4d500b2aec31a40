#include "CVolumeAnalyzeList.h"

#include "VolumeAnalyserRegistry.h"

CVolumeAnalyzeList::CVolumeAnalyzeList(IStorageDevice* device, uint64_t start) { CreateAnalyzers(device, start); }

CVolumeAnalyzeList::~CVolumeAnalyzeList() {
  for (IVolume* v : m_analyzers) delete v;
}

void CVolumeAnalyzeList::CreateAnalyzers(IStorageDevice* device, uint64_t start) {
  for (EVolumeAnalyserKind kind : kVolumeAnalyserOrder) {
    const VolumeAnalyser analyser = GetVolumeAnalyser(kind);
    if (!analyser.analyse) continue;
    if (IVolume* volume = analyser.analyse(device, start)) m_analyzers.push_back(volume);
  }
}

IVolume* CVolumeAnalyzeList::GetRecognizedVolume() {
  for (IVolume* v : m_analyzers)
    if (v->GetFileSystemType() != EFileSystemType::Unknown) return v;
  return m_analyzers.empty() ? nullptr : m_analyzers.back();
}
