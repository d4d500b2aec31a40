// Reads a whole device chunk by chunk through every complete search, lets
// the tree builder choose among the partitions found, and has the matching
// searches build the trees of the chosen ones. The searches and the builder
// come from the engine registry (ScanEngineRegistry.h).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "IRecoveryController.h"

class CFoundFileStore;
class CSearchedPartitionInfo;
class CStorageDeviceWithCache;
class ICompleteFileSystemSearchController;
class IDirecotryTreeBuilder;

class CCompleteRecoveryController : public IRecoveryController {
 public:
  // Chunk size of the scan: 4 MiB.
  static constexpr uint32_t kChunkBytes = 4194304;

  CCompleteRecoveryController();
  ~CCompleteRecoveryController() override;

  ERecoveryKind GetKind() const override { return ERecoveryKind::Complete; }
  // Also makes the found-file store.
  int SetFilter(INodeFilter* filter) override;
  int Recover(IStorageDevice* device, IScanProgressSink* sink, IRecoveryResultSink* results, const char* volumeName,
              int parameter) override;
  // Complete recoveries have no quick search: 0.
  int RunQuickSearch(IStorageDevice*, int, uint64_t) override { return 0; }
  using IRecoveryController::RunQuickSearch;
  void SetFileSystem(EFileSystemType type, const char* volumeName) override;
  int GetNodePartition(CFileNode* node, uint64_t& startSector, int& sectorsPerCluster) override;
  // Stops the device scan before its next chunk; a cancelled recovery builds
  // no trees. May be called from another thread.
  void Cancel() override { m_cancel = 1; }

  // 1 when the only search is the RAW search.
  int HasOnlyRawController() const;
  // Chunk size in sectors for a sector size (512 when 0): 4 MiB / size,
  // 8192 when that is 0.
  static uint32_t ChunkSectors(int sectorSize);
  // Scans sectors first..last in chunks: engine_error::kScanNoSink,
  // engine_error::kScanBadRange (also for a device without sectors), or 0.
  int ScanDevice(int64_t first, int64_t last);

  CFoundFileStore* GetFoundFileStore() const { return m_store.get(); }
  const std::vector<ICompleteFileSystemSearchController*>& GetSearches() const { return m_searches; }
  // The builder of the last recovery (with its trees) and the partitions it
  // chose, in the order their trees were built; both stay until the next
  // recovery or the controller's end.
  IDirecotryTreeBuilder* GetTreeBuilder() const { return m_builder; }
  const std::vector<CSearchedPartitionInfo*>& GetChosenPartitions() const { return m_chosen; }

 private:
  void Finish();
  void ReleaseAll();
  ICompleteFileSystemSearchController* SearchForPartition(CSearchedPartitionInfo* partition) const;
  void GatherPartitions(std::vector<CSearchedPartitionInfo*>& out) const;

  IDirecotryTreeBuilder* m_builder = nullptr;  // owned, released
  INodeFilter* m_filter = nullptr;
  IStorageDevice* m_device = nullptr;
  std::vector<ICompleteFileSystemSearchController*> m_searches;  // owned
  std::vector<CSearchedPartitionInfo*> m_chosen;                 // the searches'
  EFileSystemType m_type = EFileSystemType::Unknown;
  std::string m_volumeName;
  std::unique_ptr<CFoundFileStore> m_store;
  IScanProgressSink* m_sink = nullptr;
  std::atomic<int> m_cancel{0};
  std::unique_ptr<CStorageDeviceWithCache> m_cached;
};

// Whether a node plausibly belongs to a partition: same type, its record
// inside the partition, every run inside it and a cluster size that fits
// the file's size.
int IsNodeInPartitionRange(CSearchedPartitionInfo* partition, CFileNode* node);
