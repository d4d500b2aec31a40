// The extension records of one NTFS file: the records its $ATTRIBUTE_LIST
// names, each with its sector on the device once that is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// One extension record: its sector on the device (-1 until resolved) and its
// record number (the low 48 bits of the segment reference).
struct NTFSSegmentRef {
  int64_t sector = -1;
  uint64_t recordNumber = 0;
};

// The records of one $ATTRIBUTE_LIST, in list order, each number at most once.
class NTFSSegmentRefList {
 public:
  NTFSSegmentRefList() = default;
  // Keeps the first entry of each record number.
  NTFSSegmentRefList(std::initializer_list<NTFSSegmentRef> refs);

  bool IsEmpty() const { return m_refs.empty(); }
  size_t GetCount() const { return m_refs.size(); }
  // Adds the record unless the list holds it already.
  void Add(uint64_t recordNumber, int64_t sector = -1);
  bool Contains(uint64_t recordNumber) const;
  // Drops the entries naming `recordNumber` (a base record's own entries).
  void Remove(uint64_t recordNumber);
  // Drops the entries whose sector is -1 or `sector`.
  void RemoveUnresolved(int64_t sector);
  void Clear() { m_refs.clear(); }

  std::vector<NTFSSegmentRef>& Refs() { return m_refs; }
  const std::vector<NTFSSegmentRef>& Refs() const { return m_refs; }

 private:
  std::vector<NTFSSegmentRef> m_refs;
};

bool SegmentRefListContains(const NTFSSegmentRefList* list, uint64_t recordNumber);
