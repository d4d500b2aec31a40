#include "CNTFSTemplateMatcher.h"

#include "CSearchedNTFSPartitionInfo.h"
#include "NTFSRecordNumber.h"

uint64_t UnitsPerSector(uint32_t sectorSize) {
  return sectorSize > kNTFSTemplateUnit ? sectorSize / kNTFSTemplateUnit : 1;
}

bool CNTFSFoundRecordList::Add(std::unique_ptr<CNTFSFoundRecordItem> item, const uint8_t* bytes, int length,
                               uint64_t sector) {
  if (IsFull() || !item || !item->SetFromBuffer(bytes, length, sector)) return false;
  m_items.push_back(std::move(item));
  return true;
}

const CNTFSFoundRecordItem* CNTFSFoundRecordList::FindBySector(uint64_t sector) const {
  for (const auto& item : m_items) {
    if (item->GetSector() == sector) return item.get();
    if (item->GetSector() > sector) break;
  }
  return nullptr;
}

const CNTFSFoundRecordItem* CNTFSFoundRecordList::FindBySectorRange(uint64_t first, uint64_t count) const {
  for (const auto& item : m_items) {
    if (item->GetSector() >= first + count) break;
    if (item->GetSector() >= first) return item.get();
  }
  return nullptr;
}

const CNTFSFoundRecordItem* CNTFSFoundRecordList::FindRecordForCandidate(const CSearchedNTFSPartitionInfo& c,
                                                                         uint32_t recordNumber) const {
  const uint64_t mft = c.GetMFTSector();
  if (mft != CSearchedNTFSPartitionInfo::kUnknown) {
    // Each item at the distance its own record size gives.
    for (const auto& item : m_items) {
      const uint64_t distance = uint64_t(recordNumber) * SectorsPerRecord(item->GetRecordSize(), c.GetBytesPerSector());
      if (item->GetSector() == mft + distance) return item.get();
    }
  }
  return FindBySectorRange(c.GetStartSector(), c.GetSectorCount());
}

bool CNTFSTemplateMatcher::AddRecord(uint64_t sector, const uint8_t* bytes, int length) {
  return m_records.Add(std::make_unique<CNTFSFoundRecordItem>(), bytes, length, sector);
}

void CNTFSTemplateMatcher::Resolve(const CSearchedNTFSPartitionInfo& c, uint64_t& sector, uint64_t& count) const {
  const CNTFSFoundRecordItem* item = FindRecordForCandidate(c);
  sector = item ? item->GetSector() : CSearchedNTFSPartitionInfo::kUnknown;
  const uint64_t units = UnitsPerSector(c.GetBytesPerSector());
  count = item ? m_matches.CountMatches(item->GetRunList(), c.GetStartSector() * units,
                                        uint64_t(c.GetSectorsPerCluster()) * units)
               : 0;
}

bool CNTFSAttrDefMatcher::MatchSector(uint64_t unit, const uint8_t* bytes) {
  for (int k = 0; k < kNTFSTemplateSectors; ++k)
    if (CNTFSTemplateMatchList::IsSectorEqual(bytes, GetAttrDefTemplateSector(k))) {
      m_matches.AddMatch(unit);
      return true;
    }
  return false;
}

void CNTFSAttrDefMatcher::ResolveCandidate(CSearchedNTFSPartitionInfo& c) const {
  uint64_t sector = 0, count = 0;
  Resolve(c, sector, count);
  if (sector != CSearchedNTFSPartitionInfo::kUnknown) c.SetAttrDefSector(sector);
  c.SetAttrDefMatches(count);
}

bool CNTFSUpCaseMatcher::MatchSector(uint64_t unit, const uint8_t* bytes) {
  if (!bytes) return false;
  const int k = bytes[1];
  if (k >= kNTFSTemplateSectors || !CNTFSTemplateMatchList::IsSectorEqual(bytes, GetUpCaseTemplateSector(k)))
    return false;
  m_matches.AddMatch(unit);
  return true;
}

void CNTFSUpCaseMatcher::ResolveCandidate(CSearchedNTFSPartitionInfo& c) const {
  uint64_t sector = 0, count = 0;
  Resolve(c, sector, count);
  if (sector != CSearchedNTFSPartitionInfo::kUnknown) c.SetUpCaseSector(sector);
  c.SetUpCaseMatches(count);
}
