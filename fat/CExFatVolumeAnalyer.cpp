#include "CExFatVolumeAnalyer.h"

#include <cstring>
#include <unordered_set>
#include <vector>

#include "CExFatDBR.h"
#include "CExFatFATCache.h"
#include "ExFatDirEntry.h"
#include "IStorageDevice.h"
#include "Utf16.h"

namespace {
// A root directory longer than this many clusters is taken as damage.
constexpr size_t kMaxRootClusters = 65536;
}  // namespace

CExFatVolumeAnalyer::CExFatVolumeAnalyer(uint64_t sectors, const char16_t* label) : m_sectors(sectors) {
  for (size_t i = 0; label && i < 259 && label[i]; ++i) m_label[i] = label[i];
}

void CExFatVolumeAnalyer::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer) return;
  size_t units = 0;
  while (units < 259 && m_label[units]) ++units;
  const std::string text = CutUtf8(Utf16ToUtf8(m_label, units), 255);
  if (text.size() + 1 > size) return;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

IVolume* CreateExFatVolumeAnalyer(IStorageDevice* device, uint64_t start) {
  if (!device) return nullptr;
  const int sectorSize = device->GetSectorSize();
  const uint64_t deviceSectors = device->GetSectorCount();
  if (sectorSize < 512 || sectorSize > 4096 || start >= deviceSectors) return nullptr;
  std::vector<uint8_t> sector(4096, 0);
  if (!device->ReadSectors(sector.data(), start, 1)) return nullptr;
  CExFatDBR dbr(sector.data());
  if (!dbr.IsValid(static_cast<uint32_t>(sectorSize))) return nullptr;

  char16_t label[12] = {};
  CExFatFATCache fat;
  fat.Open(device, start + dbr.GetFatOffset(), dbr.GetFatLength(), dbr.GetClusterCount());
  ExFatGeometry geometry;
  geometry.sectorShift = FloorLog2(dbr.GetBytesPerSector());
  geometry.clusterShift = FloorLog2(dbr.GetBytesPerSector()) + dbr.GetSectorsPerClusterShift();
  geometry.volumeLength = dbr.GetVolumeLength();
  const uint64_t heap = start + dbr.GetClusterHeapOffset();
  const uint64_t perCluster = dbr.GetSectorsPerCluster();
  std::vector<uint8_t> cluster(static_cast<size_t>(perCluster) * static_cast<size_t>(sectorSize));
  std::unordered_set<uint32_t> visited;
  // Follow the root directory while its entries stay valid; stop at its end
  // marker, at a damaged entry, at a loop or outside the cluster heap.
  for (uint32_t c = dbr.GetRootDirectoryCluster();
       c >= 2 && c - 2u < dbr.GetClusterCount() && visited.size() < kMaxRootClusters && visited.insert(c).second;
       c = fat.GetEntry(c)) {
    const uint64_t first = heap + static_cast<uint64_t>(c - 2) * perCluster;
    if (first >= deviceSectors || perCluster > deviceSectors - first) break;
    if (!device->ReadSectors(cluster.data(), first, perCluster)) break;
    ExFatWalkEnd how = ExFatWalkEnd::AllRead;
    FindExFatVolumeLabel(cluster.data(), cluster.size(), label, geometry, &how);
    if (how != ExFatWalkEnd::AllRead) break;
  }
  return new CExFatVolumeAnalyer(dbr.GetVolumeLength(), label);
}
