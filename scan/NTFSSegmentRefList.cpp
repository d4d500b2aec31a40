#include "NTFSSegmentRefList.h"

#include <algorithm>

NTFSSegmentRefList::NTFSSegmentRefList(std::initializer_list<NTFSSegmentRef> refs) {
  for (const NTFSSegmentRef& r : refs) Add(r.recordNumber, r.sector);
}

void NTFSSegmentRefList::Add(uint64_t recordNumber, int64_t sector) {
  if (Contains(recordNumber)) return;
  NTFSSegmentRef ref;
  ref.sector = sector;
  ref.recordNumber = recordNumber;
  m_refs.push_back(ref);
}

bool NTFSSegmentRefList::Contains(uint64_t recordNumber) const {
  return std::any_of(m_refs.begin(), m_refs.end(),
                     [recordNumber](const NTFSSegmentRef& r) { return r.recordNumber == recordNumber; });
}

void NTFSSegmentRefList::Remove(uint64_t recordNumber) {
  m_refs.erase(std::remove_if(m_refs.begin(), m_refs.end(),
                              [recordNumber](const NTFSSegmentRef& r) { return r.recordNumber == recordNumber; }),
               m_refs.end());
}

void NTFSSegmentRefList::RemoveUnresolved(int64_t sector) {
  m_refs.erase(std::remove_if(m_refs.begin(), m_refs.end(),
                              [sector](const NTFSSegmentRef& r) { return r.sector < 0 || r.sector == sector; }),
               m_refs.end());
}

bool SegmentRefListContains(const NTFSSegmentRefList* list, uint64_t recordNumber) {
  return list && list->Contains(recordNumber);
}
