// Runs one quick search, chosen by the volume's type, over a volume whose
// file system is known. The quick searches come from the engine registry
// (ScanEngineRegistry.h).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "IQuickFileSystemSearchController.h"
#include "IRecoveryController.h"

class IDirecotryTreeBuilder;

class CDeletedRecoveryController : public IRecoveryController {
 public:
  CDeletedRecoveryController() = default;
  ~CDeletedRecoveryController() override;

  ERecoveryKind GetKind() const override { return ERecoveryKind::Deleted; }
  int SetFilter(INodeFilter* filter) override;
  // Builds the quick tree of deleted files. Never hands the quick search a
  // write target, so a recovery cannot scrub. FAT12/16/32 and NTFS volumes
  // are refused (engine_error::kDeletedScrubbingType) before any quick
  // search is made: their quick searches are the scrubs.
  int Recover(IStorageDevice* device, IScanProgressSink* sink, IRecoveryResultSink* results, const char* volumeName,
              int parameter) override;
  // Creates the quick search for the type (engine_error::kQuickNoController
  // when none is registered); for FAT16, FAT32 and NTFS hands it the write
  // target and runs it, answering its result; other types answer 0 without
  // searching.
  int RunQuickSearch(IStorageDevice* device, int deviceNumber, uint64_t partitionStartSector) override;
  using IRecoveryController::RunQuickSearch;
  void SetFileSystem(EFileSystemType type, const char* volumeName) override;
  int GetNodePartition(CFileNode* node, uint64_t& startSector, int& sectorsPerCluster) override;
  // Stops the quick search that runs (it polls this controller's flag).
  void Cancel() override { m_cancel = 1; }

  IQuickFileSystemSearchController* GetQuickController() const { return m_quick.get(); }
  // The builder of the last recovery, with its tree; null before one.
  IDirecotryTreeBuilder* GetTreeBuilder() const { return m_builder; }

 private:
  bool CreateQuickController();

  IDirecotryTreeBuilder* m_builder = nullptr;  // owned, released
  INodeFilter* m_filter = nullptr;
  IStorageDevice* m_device = nullptr;
  std::unique_ptr<IQuickFileSystemSearchController> m_quick;
  // Searches replaced while the builder still held their nodes (the nodes
  // may point into their search): kept until that builder goes.
  std::vector<std::unique_ptr<IQuickFileSystemSearchController>> m_retired;
  EFileSystemType m_type = EFileSystemType::Unknown;
  std::string m_volumeName;
  std::atomic<int> m_cancel{0};
};
