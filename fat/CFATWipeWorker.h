// Removes the traces of deleted files from the directories of a FAT16 or
// FAT32 volume before its free space is filled: every deleted directory
// entry becomes one fixed deleted entry, every entry inside a deleted
// directory too, and the first sector of each deleted file's first cluster
// is zeroed.
//
// Reads go through the volume device (strict: a failed read is a failure);
// writes go through the mount-driver writer of the disk, at disk sectors
// (volume sector x sectors-per-writer-sector + target start). What it may
// change:
//  - only blocks in which it changed a byte are written, whole aligned
//    blocks of the disk cut from the buffer it has just read (unchanged
//    bytes go back identical; CScrubBlockWriter), and only between the first
//    directory sector and the end of the volume (the smaller of the file
//    system and the device);
//  - nothing at all unless the disk sector at the target start holds the
//    boot sector read through the volume;
//  - a deleted entry's first cluster is zeroed, and a deleted directory is
//    walked, only when the validated FAT marks the cluster free, no chain
//    runs into it and no live entry names it; a directory cluster reached
//    through an entry is walked only when it starts with "." naming itself
//    and "..";
//  - directory scans end at the end marker; one visited-cluster set and a
//    depth limit bound every walk;
//  - after a failed read nothing more is written; a failed write is counted
//    and the scrub goes on; the stop flag ends it at the next cluster.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class IStorageDevice;
struct SectorRead;
class IFATTable;
class IMountDriverWriter;
class CScrubBlockWriter;

struct FATWipeCounters {
  uint64_t entriesReplaced = 0;       // directory entries overwritten with the template
  uint64_t sectorsZeroed = 0;         // first sectors of free clusters zeroed
  uint64_t sectorsWritten = 0;        // volume sectors written, all kinds
  uint64_t writesFailed = 0;          // writes the writer did not complete
  uint64_t clustersInUseSkipped = 0;  // deleted entries naming a cluster that is held: left alone
  uint64_t directoriesWalked = 0;     // live directories (the root included)
  uint64_t deletedDirectoriesWalked = 0;
  uint64_t depthLimitHits = 0;  // directories left unwalked at the depth limit
};

// Where the scrub works. Positions are sectors of the volume device.
struct FATWipeParams {
  int fatType = 0;              // CFATDBR::kTypeFAT16 or kTypeFAT32
  int driverDeviceNumber = -1;  // the disk the mount-driver writer opens
  uint64_t targetStart = 0;     // the volume's first sector on that disk
  uint64_t volumeStart = 0;     // the file system's first sector
  uint32_t sectorsPerCluster = 0;
  uint64_t rootStart = 0;       // FAT16: the fixed root folder
  uint32_t rootDirSectors = 0;  // FAT16: its length
  uint32_t rootCluster = 0;     // FAT32: the root folder's first cluster
  int rebuildFlag = 0;
  uint64_t dataStart = 0;     // cluster 2
  uint64_t totalSectors = 0;  // of the file system
};

class CFATWipeWorker {
 public:
  static constexpr int kMaxDepth = 128;
  static constexpr uint32_t kChainEndFAT32 = 0x0FFFFFFF;
  static constexpr uint32_t kChainEndFAT16 = 0x0FFFFFF8;

  // Positions are sectors of `device`. `fatTable` must be loaded and
  // validated (the caller refuses the scrub otherwise); both are borrowed.
  CFATWipeWorker(IStorageDevice* device, IFATTable* fatTable, const FATWipeParams& params);
  ~CFATWipeWorker();
  CFATWipeWorker(const CFATWipeWorker&) = delete;
  CFATWipeWorker& operator=(const CFATWipeWorker&) = delete;

  // Checked at every cluster besides the scan options' FAT stop flag.
  void SetStopFlag(const std::atomic<int>* stop) { m_stop = stop; }
  // The disk the target-start check reads; null (the default) opens disk
  // `driverDeviceNumber` of the disk table, strict.
  void SetDiskDevice(IStorageDevice* disk) { m_disk = disk; }

  // The whole scrub; returns a fatscrub:: code (FATScrubCodes.h).
  int WipeDeletedEntries();

  // The last write error (87 bad arguments, 644 outside the window, else
  // the writer's code).
  uint32_t GetLastError() const { return m_lastError; }
  const FATWipeCounters& GetCounters() const { return m_counters; }
  // Config.dat [register] bRevise (FAT32 runs; 0 for FAT16). Only the
  // directory rebuild reads it.
  int GetRevise() const { return m_revise; }
  int GetRebuildFlag() const { return m_rebuildFlag; }

  // The 32-byte entry written over every wiped entry: TALLOW~1.TLM, marked
  // deleted, archive, 1 January 1980 08:00:00, no cluster, size 0.
  static const uint8_t* DeletedEntryTemplate();

 private:
  struct PendingDir {
    uint32_t cluster;
    int depth;
  };

  bool Stopped() const;
  bool ClusterInVolume(uint64_t cluster) const;
  uint64_t ClusterSector(uint64_t cluster) const;
  // Free in the FAT, no chain runs into it, no live entry names it.
  bool ClusterFree(uint32_t cluster) const;
  bool ReadStrict(uint8_t* buffer, uint64_t sector, uint32_t count);
  // The same for several reads in flight together: all of them read, or a
  // failure (and nothing more is written).
  bool ReadStrictBatch(SectorRead* reads, size_t n);
  // Reads `count` sectors at `sector` together with the rest of the disk
  // blocks they lie in (inside the write window) into `buffer`; *skip
  // receives the byte offset of `sector` in it, *first the first sector read.
  bool ReadBlocks(std::vector<uint8_t>& buffer, uint64_t sector, uint32_t count, size_t* skip, uint64_t* first);
  bool CheckTargetStart();
  uint32_t NextCluster(uint32_t cluster) const;
  // How many clusters from `cluster` on (at most maxRun) follow each other
  // both in its chain and on the disk, none walked yet: one read's worth.
  uint32_t RunFrom(uint32_t cluster, uint32_t maxRun) const;
  // Reads the runs the next directories on the stack will need, together,
  // when clusters share no disk block.
  void PrefetchDirectories();
  void BuildPredecessorMap();
  // Hands the sectors of `now` that differ from `before` to the block writer.
  void WriteChangedSectors(const std::vector<uint8_t>& before, const std::vector<uint8_t>& now, uint64_t sector);
  void ReplaceEntry(uint8_t* entry);
  // Acts on one valid entry of a live directory.
  void ExamineLiveEntry(uint8_t* entry, int depth, bool* changed);
  void WipeFixedRoot();
  // A live directory's chain (root: `isRoot`, no "." check).
  void WipeLiveDirectory(uint32_t firstCluster, int depth, bool isRoot);
  void WipeDeletedDirectory(uint32_t cluster, int depth);
  bool StartsWithDots(const uint8_t* cluster, uint32_t self) const;
  // The first sectors of the free clusters deleted files named.
  void ZeroFirstSectors();
  void ReadRevise();

  IStorageDevice* m_device;
  int m_fatType;
  int m_driverDeviceNumber;
  uint64_t m_targetStart;
  uint64_t m_volumeStart;
  uint32_t m_sectorsPerCluster;
  uint64_t m_rootStart;
  uint32_t m_rootDirSectors;
  uint32_t m_rootCluster;
  int m_rebuildFlag;
  uint64_t m_dataStart;
  uint64_t m_totalSectors;
  IFATTable* m_fat;
  uint32_t m_sectorSize;
  int m_revise = 0;
  uint8_t m_template[32];

  std::unique_ptr<IMountDriverWriter> m_writer;
  std::unique_ptr<CScrubBlockWriter> m_out;
  uint32_t m_writerRatio = 1;  // writer sectors per device sector
  uint64_t m_writeBegin = 0;   // first device sector a write may touch
  uint64_t m_writeEnd = 0;     // first device sector a write may not touch
  uint32_t m_lastError = 0;
  int m_fat32 = 0;

  IStorageDevice* m_disk = nullptr;
  const std::atomic<int>* m_stop = nullptr;
  bool m_readFailed = false;
  bool m_cancelled = false;

  uint64_t m_clusterLimit = 0;  // clusters 2 .. m_clusterLimit - 1 exist
  std::vector<uint8_t> m_clusterState;
  std::vector<PendingDir> m_liveDirs;
  std::vector<PendingDir> m_deletedDirs;
  std::vector<uint32_t> m_zeroCandidates;
  bool m_prefetch = false;
  std::map<uint64_t, std::vector<uint8_t>> m_prefetched;  // by first sector: the bytes read ahead
  FATWipeCounters m_counters;
};
