// The file-name evidence of one search, and the count of carved files that
// confirm it. When a directory entry says that x.jpg begins at run cluster c
// and the RAW search carved a JPEG that begins exactly at the sector of run
// cluster c of a candidate partition, the candidate gains one RAW match.
//
// The evidence owns its entries (by value); the store and the candidate are
// borrowed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "CFileTypeEvidenceEntry.h"

class CFoundFileStore;
class CRawFileInfo;
class CSearchedPartitionInfo;

// The carved file that starts at exactly `sector`, or null.
CRawFileInfo* FindRawFileAtSector(const CFoundFileStore* store, uint64_t sector);

class CFileTypeEvidence {
 public:
  void Add(const CFileTypeEvidenceEntry& entry);
  void Clear();
  // Appends an entry made by CFileTypeEvidenceEntry::InitFromNarrowName or
  // InitFromWideName (the wide length in UTF-16 units) when that fills it.
  bool AddNarrowName(const char* name, size_t length, int64_t firstCluster, int64_t recordSector);
  bool AddWideName(const char16_t* name, size_t length, int64_t firstCluster, int64_t recordSector);
  size_t GetCount() const { return m_entries.size(); }

  // For every entry whose record lies inside the candidate ([start sector,
  // start sector + sector count)) and whose data sector (cluster start sector
  // + first cluster x sectors per cluster) lies inside it too, adds one RAW
  // match to the candidate when the store holds a carved file of the entry's
  // type starting at that sector. The entries are taken in order of record
  // sector (in the order added among equal sectors), whatever order they
  // arrived in. Counting twice counts twice. Answers the matches added.
  uint64_t CountRawMatches(const CFoundFileStore* store, CSearchedPartitionInfo* candidate);

 private:
  std::vector<CFileTypeEvidenceEntry> m_entries;
  bool m_sorted = true;  // by record sector
};
