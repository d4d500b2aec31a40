// The directory-entry side of the exFAT sector scan: raw sectors are told
// apart (boot sector, FAT start, up-case table, directory entries), and runs
// of consecutive sectors holding valid entries are gathered, with the entry
// sets read from them, into directory groups. Entry sets that run on into
// the next sector are assembled across sectors (and so across the blocks
// the device is read in); the state lives in the scanner, and the walk over
// a sector allocates nothing but the sets it finishes and the groups it
// hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ExFatDirectoryGroup.h"
#include "ExFatEntrySetParser.h"

enum class ExFatSectorKind { Entries, UpcaseStart, Empty, BootSector, FatStart };

// What a raw sector of `sectorSize` bytes looks like to the scan.
ExFatSectorKind ClassifyExFatSector(const uint8_t* sector, uint32_t sectorSize);

class ExFatEntryScanner {
 public:
  // The largest exFAT cluster: 32 MiB.
  static constexpr uint32_t kClusterShift = 25;

  ExFatEntryScanner();
  void SetGeometry(uint64_t deviceSectors, uint32_t sectorSize);
  uint32_t SectorSize() const { return m_sectorSize; }

  // Walks the entries of the directory sector at `sector`. Returns the group
  // when this sector ends it and it is worth handing out, else null.
  // `available` bytes follow `bytes` in the caller's buffer (at least a
  // sector). Groups handed out must stay alive until Clear(): sets cut at a
  // group's end are joined later with the group that continues them.
  std::unique_ptr<ExFatDirectoryGroup> ScanSector(uint64_t sector, const uint8_t* bytes, size_t available);
  // Ends the open group (a sector that holds no entries); returns it when it
  // is worth handing out.
  std::unique_ptr<ExFatDirectoryGroup> EndGroup();
  // Drops the open group and the set under assembly.
  void Clear();

 private:
  // The group as it stands, or null when it has nothing worth keeping.
  std::unique_ptr<ExFatDirectoryGroup> HandOut();
  // Flags and fields from the label, bitmap and up-case entries; the number
  // of leading entries the walk may take (a second in-use label, bitmap or
  // up-case entry ends it).
  size_t ReadVolumeEntries(const uint8_t* bytes, bool* ends);

  // The longest entry set: a File, a Stream and 17 File Name entries.
  static constexpr size_t kLongestSet = 19 * 32;
  // The head of a set cut at the end of a group's last sector.
  struct CutHead {
    ExFatDirectoryGroup* group;
    uint64_t sector;
    uint32_t entries;  // entries of the head
    uint8_t bytes[kLongestSet];
  };
  // The first bytes of a group that begins with the continuation of a set.
  struct Continuation {
    ExFatDirectoryGroup* group;
    uint32_t length;
    uint8_t bytes[kLongestSet];
  };
  // The entry index where the walk of this sector must stop because a set
  // is cut at its end (its head kept in m_pendingHead), else `walk`.
  size_t FindCutSet(uint64_t sector, const uint8_t* bytes, size_t walk, size_t available);
  // Joins a cut head with a continuation when the set they make passes its
  // checksum and every check; the set joins the head's group.
  bool TryJoin(const CutHead& head, uint64_t continuationSector, const Continuation& tail);

  ExFatEntrySetParser m_parser;
  ExFatEntrySetParser m_joinParser;
  CutHead m_pendingHead{};
  bool m_hasPendingHead = false;
  std::map<uint64_t, CutHead> m_heads;
  std::map<uint64_t, Continuation> m_continuations;
  std::map<uint64_t, uint64_t> m_joins;
  uint8_t m_joinBuffer[kLongestSet];

 public:
  // Joins found: the sector of a cut set's head -> the first sector of the
  // group that continues it.
  const std::map<uint64_t, uint64_t>& Joins() const { return m_joins; }

 private:
  std::unique_ptr<ExFatDirectoryGroup> m_group;
  uint64_t m_deviceSectors = 0;
  uint32_t m_sectorSize = 512;
  uint32_t m_entriesPerSector = 16;
};
