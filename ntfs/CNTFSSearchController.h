// The NTFS member of the complete searches: reads a whole disk block by
// block, looks at every sector for traces of NTFS (boot sectors, $LogFile
// restart pages, "INDX" index blocks, FILE records, sectors of the standard
// $AttrDef and $UpCase), turns each trace into candidate partitions, keeps
// those that enough evidence supports, and rebuilds the folder trees of the
// partitions chosen from the FILE records found.
//
// Read-only: the device is only read. Every piece of state lives in the
// search object, so two searches may run side by side; the sector size is
// the device's throughout and FILE records are taken at the size they state
// (1024 bytes on 512-byte sectors, 4096 on 4096-byte sectors).
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "CFileTypeEvidence.h"
#include "CNTFSSystemRecordTracker.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "ICompleteFileSystemSearchController.h"

class CFileNode;
class CNTFSAttrDefMatcher;
class CNTFSFileRecord;
class CNTFSNodeFactory;
class CNTFSRestartPageCollection;
class CNTFSUpCaseMatcher;
class FolderRecordInfo;

// One valid "INDX" block found on the disk.
struct IndexRecordInfo {
  uint64_t sector = 0;
  uint64_t vcn = 0;
  uint64_t lsn = 0;
  int64_t parent = -1;  // low 32 bits of the parent reference
};

// FILE records found one after the other: record k lies at
// firstSector + k x spacing (device sectors per record).
struct NTFSRecordRun {
  uint64_t firstSector = ~uint64_t(0);
  uint64_t count = 0;
  uint32_t spacing = 2;
  uint64_t SectorOf(uint64_t k) const { return firstSector + k * spacing; }
};

// Points of a candidate: 10 per evidence flag (30 for a confirmed $MFT),
// 10 for each counter that reaches its threshold.
int64_t ScoreNTFSCandidate(const CSearchedNTFSPartitionInfo& candidate);

class CNTFSSearchController : public ICompleteFileSystemSearchController {
 public:
  // Every evidence list and map takes new items only below this.
  static constexpr size_t kMaxItems = 500000;
  // Settlement keeps the first candidates in map order; beyond them only
  // those with more than 10 points.
  static constexpr size_t kSettlementKeep = 1000;
  // Cap names (NoteCap).
  static constexpr const char* kFolderCapName = "NTFS folder records";
  static constexpr const char* kIndexBlockCapName = "NTFS index blocks";
  static constexpr const char* kEvidenceCapName = "NTFS file-type evidence";
  static constexpr const char* kSettlementCapName = "NTFS candidates beyond the first 1000";
  static constexpr const char* kRecordListCapName = "NTFS system records";

  CNTFSSearchController();
  ~CNTFSSearchController() override;
  CNTFSSearchController(const CNTFSSearchController&) = delete;
  CNTFSSearchController& operator=(const CNTFSSearchController&) = delete;

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void SetDevice(IStorageDevice* device) override;
  void SetSearchOption(int sectorsPerBlock) override;
  void StartSearch() override;
  void EndSearch() override;
  void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) override;
  void SetFoundFileStore(CFoundFileStore* store) override { m_store = store; }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) override;
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) override;
  void SaveSearchState(IScanStream* stream) override;
  void LoadSearchState(IScanStream* stream) override;
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::NTFS; }

  // Stops the tree building at its next step (another thread may call it).
  void Cancel() { m_cancel = 1; }

  // What the search found (tests, state).
  const NTFSCandidateMap& GetCandidates() const { return m_candidates; }
  const std::list<NTFSRecordRun>& GetRecordRuns() const { return m_runs; }
  const std::vector<std::unique_ptr<CNTFSMFTRecordInfo>>& GetMFTRecords() const { return m_lists.mfts; }
  size_t GetFolderCount() const { return m_folders.size(); }
  size_t GetIndexBlockCount() const { return m_indexBlocks.size(); }
  // Builds started by this search (the root of the n-th is "NTFS n").
  int GetBuildCount() const { return m_buildCount; }
  // Device sectors per block the scan reads.
  uint32_t GetBlockSectors() const { return m_blockSectors; }

  // Per-sector analysis (also used by the tests).
  void AnalyzeNTFSDBRSector(uint64_t sector, const uint8_t* bytes);
  int AnalyzeIndexRecordSector(uint64_t sector, const uint8_t* bytes, int available);
  int AnalyzeNTFSFileRecordSector(uint64_t sector, const uint8_t* bytes, int available);
  // 1 when `sector` continued the last run of records `spacing` apart.
  int ExtendLastRecordRun(uint64_t sector, uint32_t spacing);
  // The settlement after the last block, without the cleanup (tests).
  void SettleCandidates();

 private:
  struct PendingBytes {
    std::vector<uint8_t> bytes;
    uint64_t sector = ~uint64_t(0);
    uint32_t held = 0;  // bytes held
    uint32_t need = 0;  // bytes of the whole record
    bool active = false;
    void Clear() {
      active = false;
      sector = ~uint64_t(0);
      held = need = 0;
    }
  };

  enum class PendingState { None, Inside, Joined };
  struct View {
    const uint8_t* bytes;
    uint64_t sector;
    int length;
  };
  // Joins the held part of a record cut by the previous block with the
  // bytes at `sector` when they continue it (Joined: `view` is the whole
  // record); Inside when `sector` lies within the held part.
  PendingState JoinPending(PendingBytes& pending, uint64_t sector, const uint8_t* bytes, int available,
                           View& view) const;
  static void Hold(PendingBytes& pending, uint64_t sector, const uint8_t* bytes, int available, uint32_t need);
  int SectorSize() const;
  std::unique_ptr<CSearchedNTFSPartitionInfo> NewCandidateFromDBR(const uint8_t* sector, uint64_t start,
                                                                  uint32_t flags) const;
  int IsBackupDBR(const CSearchedNTFSPartitionInfo& candidate);
  int AdjustPartitionSizeAccordingtoDBR(const CSearchedNTFSPartitionInfo& candidate);
  int MarkFolderMatches(const CSearchedNTFSPartitionInfo& candidate);
  void OfferFolderCandidate(uint64_t blockSector, const FolderRecordInfo& folder, uint64_t vcn);
  void AnalyzeRecord(uint64_t sector, const uint8_t* bytes, int length);
  void AnalyzeFolderFileRecordHavingIndexAllocation(uint64_t sector, const uint8_t* bytes, int length,
                                                    uint32_t spacing);
  void AnalyzeOtherFileRecord(uint64_t sector, const CNTFSFileRecord& view, const uint8_t* bytes, int length,
                              uint32_t spacing);
  void AddNodeToBuilder(CFileNode* node);
  void NoteCap(const char* name, uint64_t& dropped);
  void FreeScanState();
  // The block's bytes: in place where the device holds them, else read into
  // m_block (what fails to read is zeros).
  const uint8_t* ReadBlock(uint64_t first, uint64_t count);

  IDirecotryTreeBuilder* m_builder = nullptr;
  IStorageDevice* m_device = nullptr;
  CFoundFileStore* m_store = nullptr;
  uint32_t m_blockSectors = 8192;
  int m_sectorSize = 512;
  bool m_buildNodes = true;
  bool m_scanning = false;
  std::vector<uint8_t> m_block;
  PendingBytes m_pendingRecord;
  PendingBytes m_pendingIndex;

  std::multimap<int64_t, IndexRecordInfo> m_indexBlocks;
  std::multimap<int64_t, std::unique_ptr<FolderRecordInfo>> m_folders;
  NTFSCandidateMap m_candidates;
  CNTFSCandidateFlagUpdater m_updater;
  NTFSSystemRecordLists m_lists;
  std::list<NTFSRecordRun> m_runs;
  std::unique_ptr<CNTFSSystemRecordTracker> m_tracker;
  std::unique_ptr<CNTFSAttrDefMatcher> m_attrDef;
  std::unique_ptr<CNTFSUpCaseMatcher> m_upCase;
  std::unique_ptr<CNTFSRestartPageCollection> m_restart;
  std::unique_ptr<CNTFSNodeFactory> m_factory;
  CFileTypeEvidence m_evidence;

  // Items each capped list dropped (noted once at the end of the search).
  uint64_t m_droppedFolders = 0;
  uint64_t m_droppedIndexBlocks = 0;
  uint64_t m_droppedEvidence = 0;
  uint64_t m_droppedCandidates = 0;
  uint64_t m_droppedRecords = 0;

  int m_buildCount = 0;
  volatile int m_cancel = 0;
  std::vector<uint8_t> m_work;
  std::vector<CNTFSMFTRecordInfo*> m_mftView;
};

// The volume label from the $Volume record (record 3) of the MFT that
// starts at `mftSector`, with records of `recordSize` bytes (1024 to 4096).
// False for a negative sector, a bad size, a failed read or no $Volume.
bool ReadVolumeLabelAtMFT(int64_t mftSector, IStorageDevice* device, char* out, int recordSize);

// Registers the search as the NTFS complete search (ScanEngineRegistry.h).
void RegisterNTFSCompleteSearch();
