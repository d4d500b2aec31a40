// The system-record anchor of the NTFS complete search: follows the first
// system records of each MFT met on the disk ($MFT, $MFTMirr, $Bitmap),
// pairs $MFT with $MFTMirr, and makes or confirms candidates from them.
// Distances are whole records of the size the $MFT record states, in device
// sectors (two per 1024-byte record on 512-byte sectors, one per 4096-byte
// record on 4096-byte sectors).
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "CNTFSFoundRecordItem.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CNTFSMFTRecordInfo.h"
#include "CSearchedNTFSPartitionInfo.h"

class CNTFSFileRecord;

struct NTFSMFTPair {
  CNTFSMFTRecordInfo* mft = nullptr;
  CNTFSFoundRecordItemEx* mirror = nullptr;
};

// What the search keeps of the system records it met; the tracker fills it.
struct NTFSSystemRecordLists {
  std::vector<std::unique_ptr<CNTFSMFTRecordInfo>> mfts;
  std::vector<std::unique_ptr<CNTFSFoundRecordItemEx>> mirrors;
  std::list<NTFSMFTPair> pairs;
  // One $LogFile analyser per $MFT found.
  std::list<std::pair<CNTFSMFTRecordInfo*, std::unique_ptr<CNTFSLogFileAnalyzer>>> analyzers;
};

class CNTFSSystemRecordTracker {
 public:
  static constexpr size_t kMaxItems = 500000;
  // Records followed behind the $MFT record: 0 to 8.
  static constexpr uint64_t kFollowedRecords = 8;

  CNTFSSystemRecordTracker(NTFSSystemRecordLists* lists, NTFSCandidateMap* map, CNTFSCandidateFlagUpdater* updater,
                           int sectorSize)
      : m_lists(lists), m_map(map), m_updater(updater), m_sectorSize(sectorSize > 0 ? sectorSize : 512) {}
  void SetDeviceSectors(uint64_t sectors) { m_deviceSectors = sectors; }
  // Reads $Bitmap records for the cluster count (on by default).
  void SetReadBitmap(bool on) { m_readBitmap = on; }

  // Called for every sector scanned with the record view of its bytes.
  int AddRecord(uint64_t sector, const CNTFSFileRecord& record);
  bool IsFull(const CNTFSFileRecord& record) const;

 private:
  bool ShouldFlush(uint64_t sector, const CNTFSFileRecord& record, int systemIndex) const;
  void Reset();
  void Flush();
  void AddCandidateFromMFT(const CNTFSMFTRecordInfo& mft, NTFSCandidateList& out) const;
  void InsertMFTCandidates(const CNTFSMFTRecordInfo& mft);
  void ApplyMFTInfo(CSearchedNTFSPartitionInfo& candidate) const;
  void ApplyMFTInfoToEqual(const CSearchedNTFSPartitionInfo& candidate);
  void PairMFTAndMirror(const NTFSMFTPair& pair);
  uint64_t SectorsPerRecordOf(uint32_t recordSize) const;

  NTFSSystemRecordLists* m_lists;
  NTFSCandidateMap* m_map;
  CNTFSCandidateFlagUpdater* m_updater;
  int m_sectorSize;
  uint64_t m_deviceSectors = 0;
  bool m_readBitmap = true;

  CNTFSMFTRecordInfo* m_mft = nullptr;
  CNTFSFoundRecordItemEx* m_mirror = nullptr;
  uint64_t m_mftSector = ~uint64_t(0);
  uint64_t m_recordSectors = 2;  // device sectors per record of the current $MFT
  int64_t m_bitmapClusters = -1;
};
