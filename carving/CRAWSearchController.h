// The complete search that carves: every sector of every block is offered to
// the RAW analysers of the registry; each file they recognise becomes a
// record of the recovery's found-file store. Sizes the headers do not tell
// are worked out once the read-ahead ring holds the file's block and the
// blocks after it, so that most sizing reads come from memory; what is
// still unsized when the search ends is sized then, and what stays at size
// 0 is sized when the carved files are placed in the tree.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "CBufferStorageDevice.h"
#include "CRawFileInfo.h"
#include "ICompleteFileSystemSearchController.h"

class IRawFileAnalyser;

class CRAWSearchController : public ICompleteFileSystemSearchController {
 public:
  // Blocks the ring keeps.
  static constexpr int kRingBlocks = 20;
  // Zero bytes behind the block's last sector, so that an analyser may read
  // 4096 bytes from any sector of the block.
  static constexpr size_t kBlockTailBytes = 4096;

  static CRAWSearchController* Create() { return new CRAWSearchController; }
  CRAWSearchController() = default;
  ~CRAWSearchController() override;

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_treeBuilder = builder; }
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void SetDevice(IStorageDevice* device) override { m_device = device; }
  void SetSearchOption(int sectorsPerBlock) override { m_sectorsPerBlock = sectorsPerBlock; }
  void StartSearch() override;
  void EndSearch() override;
  void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) override;
  void SetFoundFileStore(CFoundFileStore* store) override { m_store = store; }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>&) override {}
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>&) override {}
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::RAW; }
  void SetProgressSink(IScanProgressSink* sink) override;

  // Tests: the ring and the records waiting for a size.
  CBufferStorageDevice& GetRing() { return m_ring; }
  size_t GetPendingCount() const { return m_pending.size(); }
  bool WasCancelled() const { return m_cancelled; }

 private:
  // One piece of at most a block.
  void AnalyzePiece(uint64_t first, uint64_t count);
  // Offers each sector of the block buffer; false when the search was told
  // to stop.
  bool MatchSectors(uint64_t first, uint64_t count);
  // Sizes the pending records that start before `limit`; false when told
  // to stop.
  bool SizePending(uint64_t limit);
  void SizeRecord(CRawFileInfo* record);
  // A size past the device's end, counted from the file's start, is cut there.
  void ClipAtDeviceEnd(CRawFileInfo* record);
  bool StopAsked();

  IStorageDevice* m_device = nullptr;
  int m_sectorsPerBlock = 0;
  int m_sectorSize = 512;
  CFoundFileStore* m_store = nullptr;
  IDirecotryTreeBuilder* m_treeBuilder = nullptr;
  CBufferStorageDevice m_ring;
  std::deque<CRawFileInfo*> m_pending;
  std::unique_ptr<CRawFileInfo> m_scratch;  // the record analysers fill in
  std::unique_ptr<uint8_t[]> m_block;
  size_t m_blockBytes = 0;
  bool m_cancelled = false;
};

// Registers the search under the RAW complete-search kind.
void RegisterRawCompleteSearch();
