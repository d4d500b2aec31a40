// The deleted-file search of Ext2, Ext3 and Ext4 volumes: one pass over the
// file system's inodes, read-only, building one node per inode with
// plausible block pointers or extents for the directory-tree builder. The
// volume node comes first (id 2, the root inode), then every node with id =
// its inode number and parent id = the id of the directory whose entry
// names it. Nodes met before their entry wait until the entry is read;
// entries met before their inode leave the name in the directory's
// properties. What no live entry names ends under the root, named by a
// deleted entry found in a directory's slack, else "Inode_<hex>"; nameless
// empty files are dropped.
//
// Each file's runs are in file-system blocks (cluster 0 at the volume's
// first sector); holes, unwritten extents and the unmapped tail up to the
// size are sparse runs, which CFileDataReader reads as zeros.
//
// Nodes the builder takes are the builder's; every other node is destroyed
// by the search, at once or when the next search starts or the search goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CExt2DeletedNames.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "IQuickFileSystemSearchController.h"

class CExt2DataRunList;
class CExt2FileProperties;
class CExt2FileSystem;
class CExt2Inode;
class CExt2InodeIterator;
class CFileNode;
class CFileSystemNode;

namespace ext2_search {
// A null device or progress sink.
constexpr int kBadArgument = MakeEngineError(0x2F3, 0x05);
// The volume holds no Ext2 file system this reader can open.
constexpr int kCannotOpen = MakeEngineError(0x2F3, 0x0D);
// The file system uses an incompatible feature this reader does not read.
constexpr int kUnsupportedFeature = MakeEngineError(0x2F3, 0x32);
}  // namespace ext2_search

class CExt2QuickSearch : public IQuickFileSystemSearchController {
 public:
  CExt2QuickSearch();
  ~CExt2QuickSearch() override;
  CExt2QuickSearch(const CExt2QuickSearch&) = delete;
  CExt2QuickSearch& operator=(const CExt2QuickSearch&) = delete;
  static CExt2QuickSearch* Create();

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  // Appends the searched volume's record.
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  // Searches the volume (read only): 0 when it was searched (also when
  // nothing was found or the sink stopped it), kBadArgument, kCannotOpen or
  // kUnsupportedFeature (GetLastError has the reader's text).
  int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) override;
  // The search writes nothing: the target is not used.
  void SetOptions(int, uint64_t) override {}
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_cancel = cancel; }
  // The sink RunOnPartition asks whether to go on.
  void SetProgressSink(IScanProgressSink* sink) { m_sink = sink; }

  // Runs the search over an open file system; the root node (given to the
  // builder when there is one, else the caller's), or null.
  CFileNode* SearchFileSystem(const CExt2FileSystem& fs);
  // The same search over one partition a complete search found: nodes go to
  // `partition`'s tree (IDirecotryTreeBuilder::AddPartitionNode), the
  // volume node is not handed over (the partition's tree has its root) and
  // is destroyed at the end, and every block a file's runs name is marked in
  // the block-use bitmap. False when the file system gave no root.
  bool RunOnPartition(const CExt2FileSystem& fs, CSearchedPartitionInfo* partition);
  // One bit per file-system block of the last RunOnPartition: set where a
  // file found by the search (live or deleted) has data.
  const std::vector<bool>& GetBlockUseBitmap() const { return m_blockUse; }
  std::vector<bool> TakeBlockUseBitmap() { return std::move(m_blockUse); }
  // The volume node of a file system (name, type, geometry in the caller's
  // sectors, id 2), not handed to any builder.
  static CFileSystemNode* MakeVolumeNode(const CExt2FileSystem& fs, uint64_t startSector, int sectorsPerCluster);

  const std::string& GetLastError() const { return m_lastError; }
  // Set when the builder refused a node.
  bool IsBuildStopped() const { return m_buildStopped; }
  const CExt2DeletedNames& GetDeletedNames() const { return m_names; }

  // The run list of a file: its blocks in logical order, holes and the
  // unmapped tail up to the size as sparse runs. Empty for directories,
  // fast symbolic links and devices.
  static std::unique_ptr<CExt2DataRunList> BuildDataRunList(const CExt2Inode& inode);
  // "Ext2", "Ext3" or "Ext?" for the file-system type.
  static const char* TypeText(EFileSystemType type);

 private:
  // The entry that named an inode not scanned yet: the naming directory's
  // properties (one reference held) and id.
  struct SeenEntry {
    CExt2FileProperties* directory = nullptr;
    int64_t directoryId = 0;
  };

  void ClearState();
  bool IsCancelled();
  CFileSystemNode* CreateVolumeNode(const CExt2FileSystem& fs);
  void ScanAllInodes(const CExt2FileSystem& fs);
  CExt2FileProperties* CreateFileProperties(const CExt2Inode& inode);
  void MarkBlocksUsed(const CExt2DataRunList& runs);
  void AddInodeNode(const CExt2Inode& inode);
  void WalkDirectory(const CExt2Inode& directory, CExt2FileProperties* properties, int64_t directoryId);
  // The inode a directory entry names, through a cached inode table.
  CExt2Inode LookUpInode(const CExt2FileSystem* fs, uint32_t number);
  // 0, or non-zero when the node gets no name and is dropped.
  int MakeInodeName(CFileNode* node, const std::string& name, uint32_t inode);
  // Names the node and hands it to the builder under `parentId`; destroys
  // it when it stays nameless, would close a loop of directories, or the
  // builder refuses it. False only when the builder refused it.
  bool PlaceNode(CFileNode* node, uint32_t inode, int64_t parentId, const std::string& name);
  // True when inode `inode` is the directory `parentId` or one of its
  // placed ancestors.
  bool IsSelfOrAncestor(uint32_t inode, int64_t parentId) const;
  void AddOrphanInodes();
  void RecordSeenEntry(uint32_t inode, CExt2FileProperties* directory, int64_t directoryId);

  IDirecotryTreeBuilder* m_builder = nullptr;
  IScanProgressSink* m_sink = nullptr;
  const std::atomic<int>* m_cancel = nullptr;
  std::unique_ptr<CSearchedPartitionInfo> m_partition;  // made for each volume's sector size
  std::map<uint32_t, CFileNode*> m_unplaced;
  std::map<uint32_t, SeenEntry> m_seen;
  // Placed directories: inode -> parent id, for the cycle check.
  std::map<uint32_t, int64_t> m_parents;
  CExt2DeletedNames m_names;
  // Reads the inodes directory entries name, one group's table at a time.
  std::unique_ptr<CExt2InodeIterator> m_lookup;
  std::string m_lastError;
  uint64_t m_scanTotal = 0;
  uint64_t m_scanDone = 0;
  bool m_buildStopped = false;
  bool m_stopped = false;
  // Complete mode: the partition whose tree the nodes join, and the blocks
  // its files use.
  CSearchedPartitionInfo* m_completePartition = nullptr;
  std::vector<bool> m_blockUse;
};

IQuickFileSystemSearchController* CreateExt2QuickSearch();
// Registers CreateExt2QuickSearch for Ext2 and Ext3 volumes (the volume
// probe lists Ext4 as Ext3) with the scan framework; the composition root
// calls it before making controllers.
void RegisterExt2QuickSearch();
