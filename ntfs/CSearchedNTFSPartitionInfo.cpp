#include "CSearchedNTFSPartitionInfo.h"

#include <vector>

#include "CMemoryScanStream.h"
#include "ScanStreamIO.h"

CSearchedNTFSPartitionInfo::CSearchedNTFSPartitionInfo(int bytesPerSector) : CSearchedPartitionInfo(bytesPerSector) {
  SetType(EFileSystemType::NTFS);
}

bool CSearchedNTFSPartitionInfo::Save(IScanStream* s) {
  return SaveBase(s) && StreamWriteU64(s, m_serialNumber) && StreamWriteU32(s, m_reserved) &&
         StreamWriteU32(s, m_flags) && StreamWriteU32(s, m_mftGroup) && StreamWriteU32(s, m_groupOnly) &&
         StreamWriteU64(s, m_clusterCount) && StreamWriteU64(s, m_logPageMatches) &&
         StreamWriteU64(s, m_attrDefMatches) && StreamWriteU64(s, m_upCaseMatches) && StreamWriteU64(s, m_mftSector) &&
         StreamWriteU64(s, m_logFileSector) && StreamWriteU64(s, m_attrDefSector) &&
         StreamWriteU64(s, m_upCaseSector) && StreamWriteU64(s, m_bitmapSize);
}

bool CSearchedNTFSPartitionInfo::Load(IScanStream* s) {
  // Everything is read before anything changes: a short stream changes nothing.
  std::vector<uint8_t> base;
  if (!StreamReadBytes(s, kSavedBaseSize, base)) return false;
  CSearchedNTFSPartitionInfo t;
  if (!(StreamReadU64(s, t.m_serialNumber) && StreamReadU32(s, t.m_reserved) && StreamReadU32(s, t.m_flags) &&
        StreamReadU32(s, t.m_mftGroup) && StreamReadU32(s, t.m_groupOnly) && StreamReadU64(s, t.m_clusterCount) &&
        StreamReadU64(s, t.m_logPageMatches) && StreamReadU64(s, t.m_attrDefMatches) &&
        StreamReadU64(s, t.m_upCaseMatches) && StreamReadU64(s, t.m_mftSector) && StreamReadU64(s, t.m_logFileSector) &&
        StreamReadU64(s, t.m_attrDefSector) && StreamReadU64(s, t.m_upCaseSector) && StreamReadU64(s, t.m_bitmapSize)))
    return false;
  CMemoryScanStream baseStream(base.data(), base.size());
  if (!LoadBase(&baseStream)) return false;
  m_serialNumber = t.m_serialNumber;
  m_reserved = t.m_reserved;
  m_flags = t.m_flags;
  m_mftGroup = t.m_mftGroup;
  m_groupOnly = t.m_groupOnly;
  m_clusterCount = t.m_clusterCount;
  m_logPageMatches = t.m_logPageMatches;
  m_attrDefMatches = t.m_attrDefMatches;
  m_upCaseMatches = t.m_upCaseMatches;
  m_mftSector = t.m_mftSector;
  m_logFileSector = t.m_logFileSector;
  m_attrDefSector = t.m_attrDefSector;
  m_upCaseSector = t.m_upCaseSector;
  m_bitmapSize = t.m_bitmapSize;
  return true;
}

NTFSCandidateKey KeyOf(const CSearchedNTFSPartitionInfo& c) {
  return {static_cast<int64_t>(c.GetStartSector()), c.GetSectorsPerCluster()};
}

void InsertCandidate(NTFSCandidateMap& map, std::unique_ptr<CSearchedNTFSPartitionInfo> candidate) {
  if (!candidate) return;
  const NTFSCandidateKey key = KeyOf(*candidate);
  map.emplace(key, std::move(candidate));
}

std::unique_ptr<CSearchedNTFSPartitionInfo> CreatePartitionCandidate(uint64_t recordSector, int64_t cluster,
                                                                     uint32_t sectorsPerCluster, uint32_t flags,
                                                                     uint64_t deviceSectors, int sectorSize) {
  const uint64_t k = sectorsPerCluster;
  if (k == 0 || cluster < 0) return nullptr;
  const uint64_t n = static_cast<uint64_t>(cluster);
  // n x k must neither overflow nor pass the record: the start would wrap.
  if (n > recordSector / k) return nullptr;
  const uint64_t behind = n * k;
  if (behind < 8) return nullptr;
  const uint64_t start = recordSector - behind;
  if (start >= deviceSectors || static_cast<int64_t>(start) < 0) return nullptr;
  auto c = std::make_unique<CSearchedNTFSPartitionInfo>(sectorSize);
  c->SetStartSector(start);
  c->SetClusterStartSector(start);
  c->SetSectorsPerCluster(sectorsPerCluster);
  c->SetRecordMatchCount(0);
  c->SetClusterCount((deviceSectors - start) / k);
  c->SetSectorCount(c->GetClusterCount() * k);
  c->SetStateFlags(flags);
  return c;
}

void CreatePartitionCandidatesForAllClusterSizes(uint64_t recordSector, int64_t cluster, uint32_t flags,
                                                 uint64_t deviceSectors, NTFSCandidateList& out, int sectorSize) {
  for (uint32_t k = 1; k <= 128; k <<= 1) {
    auto c = CreatePartitionCandidate(recordSector, cluster, k, flags, deviceSectors, sectorSize);
    if (c) out.push_back(std::move(c));
  }
}

int CNTFSCandidateFlagUpdater::ForEachEqual(const CSearchedNTFSPartitionInfo& candidate,
                                            const std::function<void(CSearchedNTFSPartitionInfo&)>& visit) {
  if (!m_map) return 0;
  auto range = m_map->equal_range(KeyOf(candidate));
  int found = 0;
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.get() == &candidate) continue;
    found = 1;
    visit(*it->second);
  }
  return found;
}

int CNTFSCandidateFlagUpdater::UpdateCandidateFlags(const CSearchedNTFSPartitionInfo& candidate, uint32_t set,
                                                    uint32_t clear) {
  if (!m_map) return 0;
  auto range = m_map->equal_range(KeyOf(candidate));
  int found = 0;
  for (auto it = range.first; it != range.second;) {
    if (it->second.get() == &candidate) {
      ++it;
      continue;
    }
    found = 1;
    CSearchedNTFSPartitionInfo& c = *it->second;
    c.SetStateFlags((c.GetStateFlags() & ~clear) | set);
    if (c.GetStateFlags() == 0)
      it = m_map->erase(it);
    else
      ++it;
  }
  return found;
}
