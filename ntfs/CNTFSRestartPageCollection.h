// The $LogFile anchor of the NTFS complete search: restart pages ("RSTR")
// and $LogFile FILE records found on the disk make candidates from each
// pairing, and valid log-record pages ("RCRD") are counted on a candidate's
// $LogFile at the end. Pages are 4096 bytes: 4096 / sector size device
// sectors (8 of 512 bytes, 1 of 4096). Log pages are kept in 512-byte units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>

#include "CNTFSFoundRecordItem.h"
#include "CNTFSTemplateMatchList.h"
#include "CSearchedNTFSPartitionInfo.h"

class CNTFSFileRecord;

// A restart page: at least 4096 bytes, "RSTR", the client name "NTFS" at
// 0x90, and the update sequence number (offset 30) at the end of each of the
// eight 512-byte strides.
bool IsRestartPage(const uint8_t* bytes, int length);

// The first sectors of a log page that a block cut off, joined with the
// start of the next block.
class LogRecordStitchBuffer {
 public:
  static constexpr uint32_t kPageUnits = 8;
  LogRecordStitchBuffer() { Clear(); }
  void Clear();
  // Keeps `count` (below 8) units from `unit` on.
  void Hold(const uint8_t* bytes, uint64_t unit, uint32_t count);
  // When the block continues what is held and completes a page: fills it and
  // reports the units of the block it took.
  bool Join(const uint8_t* block, uint64_t firstUnit, uint64_t unitCount, uint32_t& used);
  // The joined page and its first unit; empties the buffer.
  const uint8_t* Take(uint64_t& unit);

 private:
  std::array<uint8_t, kPageUnits * kNTFSTemplateUnit> m_data;
  uint32_t m_count = 0;
  uint64_t m_unit = ~uint64_t(0);
  std::array<uint8_t, kPageUnits * kNTFSTemplateUnit> m_taken;
};

class CNTFSRestartPageCollection {
 public:
  static constexpr size_t kMaxEntries = 500000;

  CNTFSRestartPageCollection(NTFSCandidateMap* map, CNTFSCandidateFlagUpdater* updater, int sectorSize)
      : m_map(map), m_updater(updater), m_sectorSize(sectorSize > 0 ? sectorSize : 512) {}
  void SetDeviceSectors(uint64_t sectors) { m_deviceSectors = sectors; }

  void AnalyzeRSTRRecord(uint64_t sector, const uint8_t* bytes, int length);
  void AddLogFileRecord(uint64_t sector, const uint8_t* bytes, int length);
  // After each block of `sectorCount` device sectors from `firstSector`.
  void EndBlock(const uint8_t* block, uint64_t firstSector, uint64_t sectorCount);
  bool IsFull() const { return m_items.size() > kMaxEntries - 1; }

  const CNTFSFoundRecordItemEx* FindRecordForCandidate(const CSearchedNTFSPartitionInfo& candidate) const;
  // The $LogFile sector and the log-page units on its clusters.
  void ResolveCandidate(CSearchedNTFSPartitionInfo& candidate) const;

  const std::list<uint64_t>& GetRestartPages() const { return m_pages; }
  const CNTFSTemplateMatchList& GetLogPages() const { return m_logPages; }
  size_t GetLogFileRecordCount() const { return m_items.size(); }

 private:
  uint64_t PageSectors() const { return m_sectorSize >= 4096 ? 1 : 4096 / m_sectorSize; }
  std::unique_ptr<CSearchedNTFSPartitionInfo> Candidate(uint64_t page, const CNTFSFoundRecordItemEx& item,
                                                        uint32_t flags) const;
  void AddCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item, uint32_t flags);
  void AddFirstPageCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item);
  void AddSecondPageCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item);
  void AddBothPagesCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item);
  void ConfirmSecondPage(uint64_t page, const CNTFSFoundRecordItemEx& item);
  void CountLogPage(const uint8_t* page, uint64_t unit);

  NTFSCandidateMap* m_map;
  CNTFSCandidateFlagUpdater* m_updater;
  int m_sectorSize;
  uint64_t m_deviceSectors = 0;
  std::list<std::unique_ptr<CNTFSFoundRecordItemEx>> m_items;
  std::list<uint64_t> m_pages;
  CNTFSTemplateMatchList m_logPages;
  LogRecordStitchBuffer m_stitch;
};
