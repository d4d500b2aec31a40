#include "CFileTypeEvidence.h"

#include <algorithm>
#include <limits>

#include "CFoundFileStore.h"
#include "CRawFileInfo.h"
#include "CSearchedPartitionInfo.h"

CRawFileInfo* FindRawFileAtSector(const CFoundFileStore* store, uint64_t sector) {
  return store ? store->FindFile(sector) : nullptr;
}

void CFileTypeEvidence::Add(const CFileTypeEvidenceEntry& entry) {
  if (!m_entries.empty() && entry.GetRecordSector() < m_entries.back().GetRecordSector()) m_sorted = false;
  m_entries.push_back(entry);
}

void CFileTypeEvidence::Clear() {
  m_entries.clear();
  m_sorted = true;
}

bool CFileTypeEvidence::AddNarrowName(const char* name, size_t length, int64_t firstCluster, int64_t recordSector) {
  CFileTypeEvidenceEntry entry;
  if (!entry.InitFromNarrowName(name, length, firstCluster, recordSector)) return false;
  Add(entry);
  return true;
}

bool CFileTypeEvidence::AddWideName(const char16_t* name, size_t length, int64_t firstCluster, int64_t recordSector) {
  CFileTypeEvidenceEntry entry;
  if (!entry.InitFromWideName(name, length, firstCluster, recordSector)) return false;
  Add(entry);
  return true;
}

uint64_t CFileTypeEvidence::CountRawMatches(const CFoundFileStore* store, CSearchedPartitionInfo* candidate) {
  if (!store || !candidate || candidate->GetSectorsPerCluster() == 0) return 0;
  if (!m_sorted) {
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const CFileTypeEvidenceEntry& a, const CFileTypeEvidenceEntry& b) {
                       return a.GetRecordSector() < b.GetRecordSector();
                     });
    m_sorted = true;
  }
  const uint64_t start = candidate->GetStartSector();
  uint64_t end = 0;
  if (__builtin_add_overflow(start, candidate->GetSectorCount(), &end)) end = std::numeric_limits<uint64_t>::max();
  const uint64_t origin = candidate->GetClusterStartSector();
  const uint64_t spc = candidate->GetSectorsPerCluster();
  // Every entry holds a record sector and a first cluster of 0 or more.
  auto it = std::lower_bound(
      m_entries.begin(), m_entries.end(), start,
      [](const CFileTypeEvidenceEntry& e, uint64_t s) { return static_cast<uint64_t>(e.GetRecordSector()) < s; });
  uint64_t added = 0;
  for (; it != m_entries.end() && static_cast<uint64_t>(it->GetRecordSector()) < end; ++it) {
    uint64_t offset = 0, data = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(it->GetFirstCluster()), spc, &offset) ||
        __builtin_add_overflow(origin, offset, &data) || data < start || data >= end)
      continue;
    const CRawFileInfo* file = FindRawFileAtSector(store, data);
    if (file && file->GetRawFileTypeId() == it->GetTypeId()) ++added;
  }
  candidate->AddRawMatch(added);
  return added;
}
