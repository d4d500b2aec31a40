// The FAT complete search. The complete recovery hands it the device block
// by block; it recognises FAT boot sectors (main and FAT32 backup), the
// first sectors of FATs and directory clusters, proposes FAT12, FAT16 and
// FAT32 partitions from them (also partitions whose boot sector is gone,
// inferred from the "." and ".." entries of their sub-directories), scores
// them, and later rebuilds the tree of a chosen partition with
// CFatCompleteSearchWorker.
//
// Read-only: the device is only read. Records stay the search's until it is
// destroyed; GetPartitions appends the same records on every call. The
// partition set holds at most kMaxPartitions records (tests lower the cap
// with SetPartitionCap); what the cap drops is noted on the tree builder.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CFileTypeEvidence.h"
#include "CFatCompleteSearchWorker.h"
#include "ICompleteFileSystemSearchController.h"

class CFATDirEntry;
class CFATSearchedPartitionInfo;
class CFileNode;
class CFileSystemNode;

class CFatFolderAnalyzer;

// The callback of the directory-cluster analyser: one call per reported
// entry.
class CFatFolderAnalyzeCB {
 public:
  virtual ~CFatFolderAnalyzeCB() = default;
  // `firstLongName` is the index of the first long-name entry of the run
  // before `index`, or -1. `bothDots`: the sector began with "." and "..".
  virtual void OnFolderEntry(CFatFolderAnalyzer& analyzer, const uint8_t* entries, int firstLongName, int index,
                             bool bothDots, std::vector<CFileNode*>& nodes) = 0;
};

// Walks the 32-byte entries of one sector and says what it is.
class CFatFolderAnalyzer {
 public:
  enum State : int {
    kNothing = 0,     // nothing usable
    kEntries = 1,     // directory entries
    kFirstCluster = 2 // a directory's first cluster: "." and ".." found
  };

  // `callback` may be null (then nothing is reported).
  CFatFolderAnalyzer(CFatFolderAnalyzeCB* callback, std::vector<CFileNode*>* nodes)
      : m_callback(callback), m_nodes(nodes) {}

  void Analyze(const uint8_t* buffer, uint32_t length);

  int GetState() const { return m_state; }
  uint32_t GetValidCount() const { return m_validCount; }
  uint32_t GetDotCluster() const { return m_dotCluster; }
  uint32_t GetDotDotCluster() const { return m_dotDotCluster; }
  uint32_t GetHighestCluster() const { return m_highestCluster; }
  uint32_t GetLength() const { return m_length; }

 private:
  CFatFolderAnalyzeCB* m_callback;
  std::vector<CFileNode*>* m_nodes;
  int m_state = kNothing;
  uint32_t m_validCount = 0;
  uint32_t m_dotCluster = 0;
  uint32_t m_dotDotCluster = 0;
  uint32_t m_highestCluster = 0;
  uint32_t m_length = 0;
};

class CFatCompleteSearch : public ICompleteFileSystemSearchController, public CFatFolderAnalyzeCB {
 public:
  static constexpr size_t kMaxPartitions = 500000;
  static constexpr const char* kPartitionCapName = "FAT partition candidates";

  // Flags of CFATSearchedPartitionInfo.
  static constexpr uint32_t kFlagFAT12Boot = 0x01;
  static constexpr uint32_t kFlagFAT16Boot = 0x02;
  static constexpr uint32_t kFlagFAT32Boot = 0x04;
  static constexpr uint32_t kFlagFAT32Backup = 0x08;
  static constexpr uint32_t kFlagInferred = 0x10;
  static constexpr uint32_t kFlagPrimaryFATSeen = 0x40;
  static constexpr uint32_t kFlagLoadPrimary = 0x80;
  static constexpr uint32_t kFlagSecondaryFATSeen = 0x100;
  static constexpr uint32_t kFlagLoadSecondary = 0x200;

  CFatCompleteSearch();
  ~CFatCompleteSearch() override;
  CFatCompleteSearch(const CFatCompleteSearch&) = delete;
  CFatCompleteSearch& operator=(const CFatCompleteSearch&) = delete;

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void SetDevice(IStorageDevice* device) override;
  void SetSearchOption(int sectorsPerChunk) override { m_option = sectorsPerChunk; }
  void StartSearch() override;
  void EndSearch() override { m_finished = true; }
  void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) override;
  void SetFoundFileStore(CFoundFileStore* store) override { m_store = store; }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) override;
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) override;
  void SaveSearchState(IScanStream* stream) override;
  void LoadSearchState(IScanStream* stream) override;
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::FAT; }
  void SetProgressSink(IScanProgressSink* sink) override { m_sink = sink; }

  void OnFolderEntry(CFatFolderAnalyzer& analyzer, const uint8_t* entries, int firstLongName, int index,
                     bool bothDots, std::vector<CFileNode*>& nodes) override;

  static bool IsFATTypeCode(int code) { return code >= 0 && code <= 2; }
  // The root of the record's own tree, kept for the lost-file placement.
  CFileNode* SelectRootNode(CSearchedPartitionInfo* partition);

  // One sector, as AnalyzeBlock sees it (the sector size of the device).
  void AnalyzeSector(uint64_t sector, const uint8_t* bytes);
  // A record from a boot sector at `start`: null when the geometry does not
  // hold. `backup`: the view is a FAT32 backup copy.
  CFATSearchedPartitionInfo* CreatePartitionFromDBR(uint64_t start, const uint8_t* bootSector, bool backup);
  // A record inferred from a directory's first sector `sector` holding
  // cluster `cluster`, for `sectorsPerCluster`; null when none fits.
  CFATSearchedPartitionInfo* CreatePartitionFromDirEntry(uint64_t sector, uint32_t cluster,
                                                         uint32_t sectorsPerCluster);

  // What the scan found (tests).
  const std::vector<FatDirectoryStart>& GetDirectoryStarts() const { return m_dirStarts; }
  size_t GetPartitionCount() const { return m_partitions.size(); }
  uint64_t GetDroppedPartitions() const { return m_droppedPartitions; }
  // The most records the partition set holds (kMaxPartitions unless lowered).
  void SetPartitionCap(size_t cap) { m_partitionCap = cap; }
  // The score a record would get (points).
  static uint64_t ScoreOf(const CFATSearchedPartitionInfo& record);
  // The cluster-use bits the last tree build left (bit i: run cluster i).
  const std::vector<bool>& GetClusterUseBits() const { return m_clusterUse; }

 private:
  void HandleBootSector(uint64_t sector, const uint8_t* bytes);
  void HandleFATSector(uint64_t sector);
  void HandleDirectoryStart(uint64_t sector, uint32_t dotCluster);
  // Takes the record into the set (and its FAT starts into the map); false
  // (record deleted) past the cap.
  bool Insert(CFATSearchedPartitionInfo* record, bool mapFATs);
  CFATSearchedPartitionInfo* FindRecord(uint64_t dataStart, uint32_t sectorsPerCluster) const;
  void HandNodes(std::vector<CFileNode*>& nodes);
  void NoteDroppedPartitions();
  void DeletePendingNodes();

  int m_option = -1;
  IDirecotryTreeBuilder* m_builder = nullptr;
  IStorageDevice* m_device = nullptr;
  CFoundFileStore* m_store = nullptr;
  IScanProgressSink* m_sink = nullptr;
  CFATSearchedPartitionInfo* m_current = nullptr;
  std::vector<bool> m_clusterUse;
  bool m_handNodes = true;
  bool m_finished = false;
  std::vector<CFileNode*> m_pending;
  // Ordered by data start; several records may share one.
  std::multimap<uint64_t, std::unique_ptr<CFATSearchedPartitionInfo>> m_partitions;
  int64_t m_dotDot = -1;
  std::multimap<uint64_t, CFATSearchedPartitionInfo*> m_fatStarts;
  std::vector<FatDirectoryStart> m_dirStarts;  // ascending sectors
  CFileSystemNode* m_fsRoot = nullptr;         // the builder's once handed over
  bool m_started = false;
  CFileTypeEvidence m_evidence;
  CFileNode* m_selectedRoot = nullptr;
  size_t m_partitionCap = kMaxPartitions;
  uint64_t m_droppedPartitions = 0;
  uint64_t m_notedDropped = 0;
  std::vector<uint8_t> m_block;  // one block of the device
  uint32_t m_sectorSize = 512;
};

ICompleteFileSystemSearchController* CreateFatCompleteSearch();
// Registers CreateFatCompleteSearch as the complete search of FAT.
void RegisterFatCompleteSearch();
