#include "CVolumeAnalyzeList.h"

#include "CExFatVolumeAnalyer.h"
#include "CExt2Volume.h"
#include "CFatVolumeAnalyze.h"
#include "CNtfsVolumeAnalyze.h"
#include "HfsPlusVolumeAnalyer.h"

CVolumeAnalyzeList::CVolumeAnalyzeList(IStorageDevice* device, uint64_t start) { CreateAnalyzers(device, start); }

CVolumeAnalyzeList::~CVolumeAnalyzeList() {
  for (IVolume* v : m_analyzers) delete v;
}

void CVolumeAnalyzeList::CreateAnalyzers(IStorageDevice* device, uint64_t start) {
  m_analyzers.push_back(new CNtfsVolumeAnalyze(device, start));
  m_analyzers.push_back(new CFatVolumeAnalyze(device, start));
  if (IVolume* exfat = CreateExFatVolumeAnalyer(device, start)) m_analyzers.push_back(exfat);
  if (IVolume* hfs = CreateHfsPlusVolumeAnalyer(device, start)) m_analyzers.push_back(hfs);
  m_analyzers.push_back(new CExt2Volume(device, start));
}

IVolume* CVolumeAnalyzeList::GetRecognizedVolume() {
  for (IVolume* v : m_analyzers)
    if (v->GetFileSystemType() != EFileSystemType::Unknown) return v;
  return m_analyzers.empty() ? nullptr : m_analyzers.back();
}
