// Rebuilds the directory tree of one FAT partition, live and deleted, for the
// complete search: from the root directory when the boot sector is known and
// from every directory start the sector scan found. Each directory's cluster
// chain is followed through the FAT, its entries become CFileNodes with
// CFATFileProperties and data runs (clusters counted from cluster 2: run
// start = cluster - 2), duplicate directories are merged, orphans go under
// their parent's node or under "Other lost files", and directory clusters no
// chain reaches become numbered "DIR%d" folders there.
//
// Read-only: the device is only read. Every chain walk stops at a cluster it
// has visited or past the FAT's last cluster; the cluster arithmetic is
// 64-bit and checked against the data area of the partition.
//
// Deleted files: their runs follow the FAT where an entry is set and take the
// next cluster where it is free. Once a deleted file's clusters have been
// reused, a set entry belongs to another file, whose data is then spliced in:
// the runs of a deleted file are a best guess, never a promise.
//
// Ownership: the worker owns every node it makes until TakeNodes; the root
// Run returns stays valid as long as the worker (or, after TakeNodes, the
// caller) keeps the nodes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

#include "RecycleBinNames.h"

class CFATFileProperties;
class CFileNode;
class CFileSystemNode;
class IDataRunList;
class IFATTable;
class IRawFileAnalyser;
class IStorageDevice;

// A directory cluster the sector scan met: its sector, and for a directory's
// first cluster the clusters its "." and ".." entries name (-1 for a cluster
// that is not a directory's first).
struct FatDirectoryStart {
  uint64_t sector = 0;
  int32_t dotCluster = -1;
  int32_t dotDotCluster = -1;
};

// Where the partition lies, in sectors of the device.
struct FatRebuildGeometry {
  int fatType = 2;  // 0 FAT12, 1 FAT16, 2 FAT32
  uint64_t partitionStart = 0;
  uint32_t sectorsPerCluster = 1;
  uint64_t rootStart = 0;       // FAT12/16: the fixed root directory
  uint32_t rootDirSectors = 0;  // FAT12/16: its length
  uint32_t rootCluster = 0;     // FAT32
  bool rebuildRoot = false;     // the boot sector is known: walk the root
  uint64_t dataStart = 0;       // the sector of cluster 2
  uint64_t partitionSize = 0;   // sectors
};

// What the high-word guess knows of one file or folder of the same directory.
struct FatSiblingInfo {
  uint64_t firstCluster = 0;
  uint64_t size = 0;
  int64_t creationSeconds = 0;  // calendar seconds
  bool deleted = false;
  bool directory = false;
};

class CFatCompleteSearchWorker {
 public:
  static constexpr uint8_t kDeleted = 1;
  static constexpr uint8_t kMadeUp = 9;  // deleted, plus 8: a folder the rebuild invents
  static constexpr uint32_t kNoCluster = 0xFFFFFFFFu;
  static constexpr int64_t kLostFilesId = -14;
  static constexpr size_t kMaxCarry = 1023;

  // The device and the FAT table are borrowed; the table may be null or
  // unloaded (every entry then reads 0).
  CFatCompleteSearchWorker(IStorageDevice* device, IFATTable* fat, const FatRebuildGeometry& geometry);
  ~CFatCompleteSearchWorker();
  CFatCompleteSearchWorker(const CFatCompleteSearchWorker&) = delete;
  CFatCompleteSearchWorker& operator=(const CFatCompleteSearchWorker&) = delete;

  // The analysers IsKnownFileStart offers a cluster's first sector to (the
  // full list of the RAW analyser registry); the worker owns them.
  void SetRawAnalysers(std::vector<std::unique_ptr<IRawFileAnalyser>> analysers);
  // The same with analysers the caller keeps (the registry's full list).
  void SetRawAnalysers(std::vector<IRawFileAnalyser*> borrowed) { m_borrowedAnalysers = std::move(borrowed); }
  // Config.dat's bRevise for FAT32 (read by the constructor), 0 otherwise.
  int GetRevise() const { return m_revise; }
  void SetRevise(int revise) { m_revise = revise; }
  // A non-zero value stops the rebuild at the next directory.
  void SetStopFlag(const std::atomic<int>* stop) { m_stop = stop; }

  // The whole rebuild over the directory starts (any order); the root node.
  CFileSystemNode* Run(const std::vector<FatDirectoryStart>& starts);
  // Every node made and kept; the caller owns them afterwards.
  std::vector<CFileNode*> TakeNodes();
  // One bit per cluster (index cluster - 2), set where a live file's runs lie.
  const std::vector<bool>& GetClusterUseBits() const { return m_used; }
  int GetProgress() const { return m_progress; }

  // Parses directory entries into nodes under `dir`: the bytes consumed, or
  // -1 when the bytes are not a directory. Directories found go to `dirs` and
  // `dirs2`, files to `files` (any may be null). `stopAtInvalid`: an invalid
  // entry ends the walk. `takeLive`: live files of live directories are kept.
  int64_t RebuildDirectories(const uint8_t* bytes, size_t length, CFileNode* dir, std::vector<CFileNode*>* dirs,
                             std::vector<CFileNode*>* dirs2, std::vector<CFileNode*>* files, bool stopAtInvalid,
                             bool takeLive);
  // Which of two directories with one first cluster stays: 0 or more keeps
  // the existing one (a), below 0 the new one (b) replaces it.
  static int CompareDirectoryCandidates(const CFATFileProperties& a, const CFATFileProperties& b);
  // Walks one directory's chain from `cluster` into `dir`; false when the
  // first cluster was visited already or does not hold a directory.
  bool ProcessPendingBuffers(CFileNode* dir, uint64_t cluster, std::vector<CFileNode*>& queue, bool isRoot,
                             bool takeLive);
  void RebuildRoot();

  // A new run list for a file, or null. `deletedFile`: the runs take the
  // FAT's word only where an entry is set (AppendFATRuns) and mark nothing.
  IDataRunList* BuildFileDataRuns(uint64_t firstCluster, uint64_t size, bool deletedFile);
  // Directory clusters no chain reached, as "DIR%d" folders under `lostFiles`.
  void BuildLostClusters(CFileNode* lostFiles, const std::vector<FatDirectoryStart>& starts);
  // Whether a known file starts at the cluster: any cluster from 65537 on,
  // else an analyser's or the PE test's word on its first sector.
  bool IsKnownFileStart(uint64_t cluster);
  // "MZ" at 0 and "PE" where the 32-bit value at 60 points, inside `length`.
  static bool IsPEImage(const uint8_t* bytes, uint64_t length);
  // A cluster number with the low 16 bits of `firstCluster` and a high word
  // taken from the siblings; `order` is the file's place among them (ties in
  // time go by directory order). A pure function of its arguments.
  static uint64_t GuessClusterHighWord(const std::vector<FatSiblingInfo>& siblings, uint64_t size,
                                       uint64_t firstCluster, int64_t creationSeconds, size_t order,
                                       uint64_t bytesPerCluster);

  bool IsClusterStart(uint64_t sector) const;
  uint64_t SectorToCluster(uint64_t sector) const;
  uint64_t ClusterToSector(uint64_t cluster) const;
  // The first cluster past the partition's data area.
  uint64_t ClusterEnd() const { return m_clusterEnd; }

 private:
  bool Stopped() const;
  bool InData(uint64_t cluster) const { return cluster >= 2 && cluster < m_clusterEnd; }
  uint32_t NextCluster(uint64_t cluster) const;
  CFileNode* NewNode(CFATFileProperties* props, int64_t id, int64_t parentId);
  // Unlinks and frees a node of the tree (its children must be gone).
  void DropNode(CFileNode* node);
  CFileNode* MakeFolder(const char* name, uint32_t firstCluster, uint32_t parentCluster, int64_t id, int64_t parentId);
  CFileNode* MakeNumberedFolder(uint32_t firstCluster, uint32_t parentCluster);
  CFileNode* LostFiles();
  bool DirectoryInRecycleBin(const CFileNode* dir) const;
  // Guessed high words and new runs for the deleted files of a FAT32
  // directory whose cluster lies below 0x10000.
  void ReviseDeletedFiles(CFileNode* dir, const std::vector<CFileNode*>& files);
  void PlaceOrphans();
  void ReplaceTempDirectory(CFileNode* node);
  bool ReadSectors(uint8_t* buffer, uint64_t sector, uint64_t count);
  // The sector's bytes from a window read ahead of IsKnownFileStart; null
  // when the window around it does not read.
  const uint8_t* ProbeWindow(uint64_t sector);

  IStorageDevice* m_device;
  IFATTable* m_fat;
  FatRebuildGeometry m_geo;
  uint32_t m_sectorSize;
  uint64_t m_dataSectors;  // from the data start to the partition end
  uint64_t m_clusterEnd;
  uint64_t m_bytesPerCluster;
  int m_revise = 0;
  const std::atomic<int>* m_stop = nullptr;
  int m_progress = 0;
  int m_folderCounter = 0;

  CFileSystemNode* m_root = nullptr;
  CFileNode* m_lostFiles = nullptr;
  std::map<uint64_t, CFileNode*> m_dirMap;
  std::unordered_set<uint64_t> m_visited;
  std::vector<bool> m_used;
  std::unordered_set<CFileNode*> m_nodes;
  // Nodes replaced while a recycle-bin pairing may still name them; freed
  // with the worker.
  std::vector<CFileNode*> m_retired;
  CRecyclePendingList m_recyclePending;
  std::vector<std::unique_ptr<IRawFileAnalyser>> m_analysers;
  std::vector<IRawFileAnalyser*> m_borrowedAnalysers;
  std::vector<uint8_t> m_probe;  // IsKnownFileStart's zero-padded sector
  struct FreeWindow {
    void operator()(uint8_t* p) const;
  };
  // Sectors read ahead for IsKnownFileStart, page-aligned so that direct
  // reads land in them without a bounce copy.
  std::unique_ptr<uint8_t[], FreeWindow> m_window;
  size_t m_windowBytes = 0;
  uint64_t m_windowFirst = 0;
  uint64_t m_windowSectors = 0;
  uint64_t m_failedFirst = 0;  // the last window that did not read
  uint64_t m_failedSectors = 0;
};
