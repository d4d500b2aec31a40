#include "CFATVolumeLabelReader.h"

#include <cinttypes>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "CFATDBR.h"
#include "CFATDirEntry.h"
#include "FatBytes.h"
#include "IStorageDevice.h"
#include "RunLog.h"

CFATVolumeLabelReader::CFATVolumeLabelReader(IStorageDevice* device) : m_device(device), m_sectorSize(512) {
  if (device != nullptr && device->GetSectorSize() > 0) m_sectorSize = static_cast<uint32_t>(device->GetSectorSize());
}

bool CFATVolumeLabelReader::ReadRange(void* buffer, uint64_t first, uint64_t count) {
  if (m_device == nullptr || count == 0) return false;
  const uint64_t total = m_device->GetSectorCount();
  if (total != 0 && (first >= total || count > total - first)) return false;
  return m_device->ReadSectors(buffer, first, count) != 0;
}

bool CFATVolumeLabelReader::ReadLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label) {
  // The view's sector size must be the one this reader reads with.
  if (!fatbytes::IsSupportedSectorSize(m_sectorSize) || dbr.GetDeviceSectorSize() != m_sectorSize) return false;
  const int type = dbr.GetFATType();
  if (type == CFATDBR::kTypeFAT12 || type == CFATDBR::kTypeFAT16) return ReadFixedRootLabel(partitionStart, dbr, label);
  if (type == CFATDBR::kTypeFAT32) return ReadRootChainLabel(partitionStart, dbr, label);
  return false;
}

bool CFATVolumeLabelReader::ReadLabel(uint64_t partitionStart, const CFATDBR& dbr, char* out, size_t size) {
  std::string label;
  if (out == nullptr || size == 0 || !ReadLabel(partitionStart, dbr, label)) return false;
  const size_t n = label.size() < size - 1 ? label.size() : size - 1;
  std::memcpy(out, label.data(), n);
  out[n] = 0;
  return true;
}

uint64_t CFATVolumeLabelReader::GetClusterSector(uint64_t partitionStart, const CFATDBR& dbr, uint64_t cluster) const {
  const int type = dbr.GetFATType();
  if (type < CFATDBR::kTypeFAT12 || type > CFATDBR::kTypeFAT32 || m_sectorSize == 0) return ~0ull;
  uint64_t sector = partitionStart + dbr.GetReservedSectors() + static_cast<uint64_t>(dbr.GetFATCount()) * dbr.GetFATSize() +
                    (cluster - 2) * dbr.GetSectorsPerCluster();
  if (type != CFATDBR::kTypeFAT32) sector += static_cast<uint64_t>(dbr.GetRootEntryCount()) * 32 / m_sectorSize;
  return sector;
}

bool CFATVolumeLabelReader::FindLabelInCluster(uint64_t sector, const CFATDBR& dbr, std::string& label) {
  const uint32_t spc = dbr.GetSectorsPerCluster();
  if (spc == 0) return false;
  std::vector<uint8_t> buffer(static_cast<size_t>(spc) * m_sectorSize);
  if (!ReadRange(buffer.data(), sector, spc)) return false;
  for (size_t off = 0; off + CFATDirEntry::kSize <= buffer.size(); off += CFATDirEntry::kSize) {
    CFATDirEntry entry(buffer.data() + off);
    if (!entry.IsValid(0)) return false;
    if (entry.IsDeleted() || !entry.IsVolumeLabel()) continue;
    if (entry.IsEndMarker()) return false;
    entry.GetShortName(label, 1);
    return true;
  }
  return false;
}

bool CFATVolumeLabelReader::ReadFixedRootLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label) {
  const uint64_t spc = dbr.GetSectorsPerCluster();
  const uint64_t rootSectors = static_cast<uint64_t>(dbr.GetRootEntryCount()) * 32 / m_sectorSize;
  if (spc == 0 || rootSectors == 0) return false;
  const uint64_t steps = (rootSectors - 1) / spc + 1;
  const uint64_t rootStart =
      partitionStart + dbr.GetReservedSectors() + static_cast<uint64_t>(dbr.GetFATCount()) * dbr.GetFATSize();
  for (uint64_t i = 0; i < steps; ++i) {
    if (FindLabelInCluster(rootStart + i * spc, dbr, label)) return true;
  }
  return false;
}

bool CFATVolumeLabelReader::ReadRootChainLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label) {
  const uint32_t spc = dbr.GetSectorsPerCluster();
  if (spc == 0) return false;
  std::vector<uint8_t> fat(static_cast<size_t>(spc) * m_sectorSize);
  const uint64_t entriesPerBlock = fat.size() / 4;
  const uint64_t fatSectors = dbr.GetFATSize();
  const uint64_t fatStart = partitionStart + dbr.GetReservedSectors();
  // A damaged FAT may loop the root chain: every cluster is visited once,
  // and the walk ends after the largest directory FAT allows (65536
  // entries) or the volume's cluster count, whichever is less.
  const uint64_t clusters = dbr.GetClusterCount();
  const uint64_t maxDirClusters = (65536ull * 32) / fat.size() + 1;
  const uint64_t maxSteps = clusters < maxDirClusters ? clusters : maxDirClusters;
  std::unordered_set<uint64_t> visited;
  uint64_t cachedBlock = ~0ull;
  uint64_t cluster = dbr.GetRootCluster();
  for (uint64_t step = 0; step < maxSteps; ++step) {
    if (!IsValidFAT32Cluster(cluster) || cluster >= clusters + 2) return false;
    if (!visited.insert(cluster).second) {
      DebugTrace("FAT32 root chain loops at cluster %" PRIu64, cluster);
      return false;
    }
    if (FindLabelInCluster(GetClusterSector(partitionStart, dbr, cluster), dbr, label)) return true;
    const uint64_t block = cluster / entriesPerBlock;
    if (block != cachedBlock) {
      // The block must lie inside the first FAT.
      if (block * spc >= fatSectors) return false;
      const uint64_t count = fatSectors - block * spc < spc ? fatSectors - block * spc : spc;
      std::fill(fat.begin(), fat.end(), 0);
      if (!ReadRange(fat.data(), fatStart + block * spc, count)) return false;
      cachedBlock = block;
    }
    cluster = ReadLE32(fat.data() + (cluster % entriesPerBlock) * 4);
  }
  return false;
}
