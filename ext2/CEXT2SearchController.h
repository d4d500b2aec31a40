// The complete search for Ext2, Ext3 and Ext4 file systems: it looks at
// every 512-byte sector of the device as the possible start of a
// superblock, follows a valid one with the group-descriptor sectors behind
// it, and turns each confirmed file system into a CExt2SearchedPartitionInfo.
// During the scan only the volume node of each new file system goes to the
// tree builder; the trees are built once, for the partitions the framework
// chooses, and the carved files that start in blocks no file uses are placed
// in them. Everything is read; nothing is written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ICompleteFileSystemSearchController.h"

class CExt2SearchedPartitionInfo;
class CFoundFileStore;
class IDirecotryTreeBuilder;
class IScanProgressSink;
class IStorageDevice;

class CEXT2SearchController : public ICompleteFileSystemSearchController {
 public:
  // Sectors of 512 bytes held across blocks: a superblock at sector s is
  // looked at once sectors s..s+7 are read.
  static constexpr uint32_t kWindowSectors = 8;

  CEXT2SearchController();
  ~CEXT2SearchController() override;
  CEXT2SearchController(const CEXT2SearchController&) = delete;
  CEXT2SearchController& operator=(const CEXT2SearchController&) = delete;
  static CEXT2SearchController* Create();

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void SetDevice(IStorageDevice* device) override;
  void SetSearchOption(int option) override { m_option = option; }
  void StartSearch() override;
  void EndSearch() override;
  // `firstSector` and `sectorCount` in sectors of the device.
  void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) override;
  void SetFoundFileStore(CFoundFileStore* store) override { m_store = store; }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) override;
  // Whether the node's inode number lies among the partition's ordinary
  // inodes (s_first_ino to s_inodes_count).
  int IsNodeInPartition(CFileNode* node, CSearchedPartitionInfo* partition) override;
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::Ext2; }
  void SetProgressSink(IScanProgressSink* sink) override { m_sink = sink; }
  CSearchedPartitionInfo* FindPartitionOfNode(CFileNode* root) override;
  // True for Ext2 and Ext3 (the type of Ext4 too).
  static bool IsOwnFileSystemType(EFileSystemType type);

  // Looks at the superblock that may start at 512-byte sector `sector512`;
  // `window` holds kWindowSectors sectors from there.
  void AnalyzeSuperBlock(uint64_t sector512, const uint8_t* window);
  // Builds one partition's tree: 0, -1 for a null or foreign record, -2
  // when its descriptors cannot be read.
  int BuildPartitionTree(CExt2SearchedPartitionInfo* record);
  // Sets each listed partition's confidence from how often and where it
  // was found.
  void ScorePartitions();
  // The confidence of a partition found `timesFound` times.
  static uint64_t ScoreOf(uint32_t timesFound, bool atPrimary, bool superValid, bool recordValid);

  const std::vector<CExt2SearchedPartitionInfo*>& GetFound() const { return m_found; }
  CExt2SearchedPartitionInfo* GetCandidate() const { return m_candidate; }

 private:
  // Lists the record, or merges it into the listed record it is the same
  // partition as (and deletes it): the listed record, or null when merged.
  CExt2SearchedPartitionInfo* AddPartition(CExt2SearchedPartitionInfo* record);
  // Hands the volume node of a newly listed partition to the builder.
  void AnnouncePartition(CExt2SearchedPartitionInfo* record);
  // The window of kWindowSectors sectors from 512-byte sector `sector512`,
  // after the cheap tests.
  void VisitWindow(uint64_t sector512, const uint8_t* window);
  void ConfirmCandidate();
  bool IsListed(const CSearchedPartitionInfo* partition) const;
  bool LiesInListedPartition(uint64_t sector512) const;
  IStorageDevice* Device512() const;

  IStorageDevice* m_device = nullptr;         // not owned
  std::unique_ptr<IStorageDevice> m_wrapper;  // 512-byte view when the device's sectors are larger
  int m_sectorSize = 512;
  uint32_t m_ratio = 1;
  int m_option = 0;
  std::vector<CExt2SearchedPartitionInfo*> m_found;  // owned
  // Volume node handed to the builder -> its partition. The keys are only
  // compared, never followed: the builder owns and may free those nodes.
  std::map<const CFileNode*, CExt2SearchedPartitionInfo*> m_roots;
  CExt2SearchedPartitionInfo* m_candidate = nullptr;  // owned
  IDirecotryTreeBuilder* m_builder = nullptr;
  IScanProgressSink* m_sink = nullptr;
  CFoundFileStore* m_store = nullptr;
  // The sectors read so far that no window has covered whole yet, and the
  // 512-byte sector that follows them; while a block is looked at, those
  // sectors followed by the block's first.
  std::vector<uint8_t> m_work;
  std::vector<uint8_t> m_block;  // a block that had to be read
  uint64_t m_carrySectors = 0;
  uint64_t m_next512 = 0;
  bool m_buildStopped = false;
};

ICompleteFileSystemSearchController* CreateExt2CompleteSearch();
// Registers the Ext2 complete search with the scan framework.
void RegisterExt2CompleteSearch();
