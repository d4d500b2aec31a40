// Turns the 32-byte entries of an exFAT directory, one cluster at a time,
// into entry-set records: a File entry, its Stream Extension and its File
// Name entries (benign secondary entries of the set counted in). A set may
// run across clusters; the parser keeps the one being assembled between
// calls. Every entry is checked before it is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "CExFatPartition.h"
#include "ExFatDirEntry.h"

class ExFatEntrySetParser {
 public:
  // Sets the geometry the stream entries are checked against; resets.
  void SetGeometry(uint32_t sectorShift, uint32_t clusterShift, uint64_t volumeSectors);
  // Drops the set being assembled.
  void Reset();
  // Parses `byteCount / 32` entries found at sector `position`. False when
  // the directory ends here: an end-of-directory entry, an entry that fails
  // its check, or a critical entry type this parser does not know.
  // `taken`, when given, receives the number of entries read before the
  // walk ended (all of them when it did not).
  bool ParseEntries(const uint8_t* entries, size_t byteCount, uint64_t position, size_t* taken = nullptr);
  // True while a set's secondary entries are still to come.
  bool Assembling() const { return m_set.remaining > 0 && m_set.count > 0; }

  std::vector<ExFatEntrySetRecord>& Records() { return m_records; }
  void ClearRecords() { m_records.clear(); }
  const ExFatGeometry& Geometry() const { return m_geometry; }

 private:
  bool OnLabelEntry(const uint8_t* e);
  bool OnFileEntry(const uint8_t* e, uint64_t sector);
  bool OnStreamEntry(const uint8_t* e);
  bool OnNameEntry(const uint8_t* e);
  bool OnBenignEntry(const uint8_t* e);
  // True when a secondary entry with in-use bit `inUse` continues the set.
  bool ContinuesSet(bool inUse) const;
  // One more secondary entry taken; the set is finished when none remain.
  void TakeSecondary();
  void FinishSet();

  struct Assembly {
    uint32_t count = 0;      // entries of the set taken so far
    uint32_t remaining = 0;  // secondary entries still to come
    ExFatEntrySetRecord record;
    bool inUse = false;
    std::vector<char16_t> units;  // the name as read so far
  };
  Assembly m_set;
  uint64_t m_seen = 0;  // entries since the set's File entry
  std::vector<ExFatEntrySetRecord> m_records;
  ExFatGeometry m_geometry{9, 9, 0};
};
