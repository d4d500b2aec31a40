// The deleted-file search of exFAT volumes: given a volume device whose
// sector 0 is the exFAT boot sector, it walks the directory tree breadth
// first from the root, read-only, and hands every file and folder, deleted
// ones included, to the directory-tree builder. The volume node comes first
// (id = the root directory's first sector); every other node has id = the
// first sector of its first cluster and parent id = the id of the folder
// whose entries name it. The children of a deleted folder are deleted too.
// Live folders are walked first, deleted ones after them.
//
// An unreadable cluster ends the listing of its folder only; a cluster is
// read at most once per search, which cuts loops in directory chains.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

#include "CExFatPartition.h"
#include "EngineError.h"
#include "ExFatEntrySetParser.h"
#include "IQuickFileSystemSearchController.h"

namespace exfat_search {
// A null volume device.
constexpr int kBadArgument = MakeEngineError(0x2F7, 0x05);
// Sector 0 of the volume cannot be read or is no exFAT boot sector.
constexpr int kNotExFat = MakeEngineError(0x2F7, 0x0D);
// The builder refused the volume node.
constexpr int kBuilderRefused = MakeEngineError(0x2F7, 0x14);
// The root directory's first cluster cannot be read.
constexpr int kRootUnreadable = MakeEngineError(0x2F7, 0x1E);
// Stopped by the caller's cancel flag.
constexpr int kCancelled = MakeEngineError(0x2F7, 0x4C7);
}  // namespace exfat_search

class CExFatQuickSearch : public IQuickFileSystemSearchController {
 public:
  CExFatQuickSearch();
  ~CExFatQuickSearch() override;
  CExFatQuickSearch(const CExFatQuickSearch&) = delete;
  CExFatQuickSearch& operator=(const CExFatQuickSearch&) = delete;

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  // Appends the searched volume's record (geometry of the last search).
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  // Searches the volume: 0 when it was walked (also when the sink stopped
  // it), else one of the exfat_search codes.
  int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) override;
  // The search writes nothing: the target is not used.
  void SetOptions(int, uint64_t) override {}
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_cancel = cancel; }

  const CExFatPartition& GetPartition() const { return *m_partition; }
  // Folders whose listing ended early at a cluster that could not be read.
  uint64_t GetUnreadableFolders() const { return m_unreadableFolders; }

 private:
  // A folder still to be read.
  struct Folder {
    uint32_t firstCluster = 0;
    uint64_t size = 0;
    bool contiguous = false;
    bool deleted = false;
  };

  int OpenVolume(IStorageDevice* device);
  int CreateRootNode();
  // Reads the folder's clusters and hands its entries' nodes to the
  // builder; false when a cluster could not be read (what was read before
  // it is handed over all the same).
  bool ReadDirectory(IStorageDevice* device, const Folder& folder);
  int WalkDirectories(IStorageDevice* device, IScanProgressSink* sink);
  bool IsCancelled() const { return m_cancel && m_cancel->load() != 0; }

  IDirecotryTreeBuilder* m_builder = nullptr;
  const std::atomic<int>* m_cancel = nullptr;
  std::unique_ptr<CExFatPartition> m_partition;
  ExFatEntrySetParser m_parser;
  std::vector<uint8_t> m_cluster;
  std::unordered_set<uint32_t> m_visited;
  // Live folders are read before deleted ones, so that a cluster a
  // deleted folder held and a live one holds now is read as the live one's.
  std::deque<Folder> m_queue;
  std::deque<Folder> m_deletedQueue;
  uint64_t m_unreadableFolders = 0;
};

IQuickFileSystemSearchController* CreateExFatQuickSearch();
// Registers CreateExFatQuickSearch for exFAT volumes, and the exFAT folder
// properties, with the scan framework; the composition root calls it before
// making controllers.
void RegisterExFatQuickSearch();
