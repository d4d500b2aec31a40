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
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ExFatCandidateSet.h"
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

using ExFatGroupSink = std::function<void(std::unique_ptr<ExFatDirectoryGroup>)>;

// Scans `count` sectors that begin at device sector `first` and stand at
// `bytes`, which holds `available` bytes in all (at least the sectors):
// boot sectors and FAT starts go to `candidates`, up-case table starts are
// recorded there too, and every group handed out goes to `onGroup`.
void ScanExFatSectors(ExFatEntryScanner& scanner, ExFatCandidateSet& candidates, uint64_t first,
                      const uint8_t* bytes, uint64_t count, size_t available, const ExFatGroupSink& onGroup);

// The scan buffer of the complete search: each block is read behind the
// last two sectors of the one before, and the sectors are scanned from two
// before the block's start, so that a set that runs on past a block's end is
// read whole with its next sectors (the two carried sectors scale with the
// sector size). The first block's carried sectors are zeros and add nothing.
class ExFatScanBuffer {
 public:
  static constexpr uint32_t kCarried = 2;
  // A zeroed buffer for blocks of up to `blockSectors` sectors.
  void Reset(uint32_t sectorSize, uint64_t blockSectors);
  // Moves the carried sectors to the front; the block of `count` sectors is
  // to be read at the returned address. Null when `count` is too long.
  uint8_t* Prepare(uint64_t count);
  // Scans the carried sectors and the block without its last two sectors.
  // A block that failed to read is scanned as zeros, never as the bytes of
  // an earlier block.
  void Analyze(uint64_t first, uint64_t count, bool readOk, ExFatEntryScanner& scanner,
               ExFatCandidateSet& candidates, const ExFatGroupSink& onGroup);
  // Scans the sectors still carried (the device's last two) and ends the
  // open group.
  void Finish(ExFatEntryScanner& scanner, ExFatCandidateSet& candidates, const ExFatGroupSink& onGroup);

 private:
  std::vector<uint8_t> m_bytes;
  uint32_t m_sectorSize = 512;
  uint64_t m_blockSectors = 0;
  uint64_t m_lastCount = 0;   // sectors of the last block, 0 before the first
  uint64_t m_carriedAt = 0;   // device sector of the first carried sector
  bool m_started = false;
};
