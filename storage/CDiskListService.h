// The process-wide owner of the disk and volume lists that the partition
// and free-space pages show. One enumeration pass per request runs on the
// service's worker thread, passes one after the other.
//
// Lists are handed out as copies (snapshots). A copied VolumeRecord shares
// ownership of its volume device and disks, so a run that holds a record
// can go on reading through it while a rescan rebuilds the lists.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "CCollectAllBasicPartitionandDynamicVolume.h"
#include "FileSystemTypes.h"
#include "VolumeRecord.h"

// 1 while a pass runs. Claimed with one atomic test-and-set.
extern std::atomic<int> DiskListBusy;
// 0 from a rescan request until the last requested pass has ended, then 1.
extern std::atomic<int> DiskListReady;

// One mounted volume on a disk of the lists, with its sizes from statvfs.
struct LogicalVolumeInfo {
  int diskNumber = -1;
  uint64_t startSector = 0;  // on the disk
  uint64_t sectorCount = 0;
  uint8_t flag = 0;
  int bytesPerSector = 512;
  int one = 1;
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;   // available to the caller
  std::string volumePath;   // the mount point
  std::string volumePath2;  // the same
  EFileSystemType fileSystem = EFileSystemType::Unknown;
};

class CDiskListService {
 public:
  // The single instance; the first call constructs it and starts the first
  // pass. Call Shutdown() before the process ends its other singletons.
  static CDiskListService* Instance();
  // Shutdown() of the instance when Instance() made one; else nothing.
  static void ShutdownInstance();

  // Called on the worker thread after every pass has ended and the flags
  // are set (the main window connects its "listing ended" here). Settable
  // before the instance exists.
  static void SetPassListener(std::function<void()> listener);
  // Whether a pass runs or is waiting to run (the main window's probe).
  static bool IsPassRunning();

  // With `startFirstPass` the constructor requests the first pass
  // (Instance does); tests may make their own service without.
  explicit CDiskListService(bool startFirstPass = true);
  ~CDiskListService();
  CDiskListService(const CDiskListService&) = delete;
  CDiskListService& operator=(const CDiskListService&) = delete;

  // Requests one more pass; returns 0. DiskListReady drops to 0 at once.
  int StartEnumThread();
  // Waits until every requested pass has ended and its listener returned.
  void WaitForPasses();
  // Lets the running pass end, drops the waiting ones and stops the worker.
  void Shutdown();

  // Snapshots: basic and dynamic volumes sorted (lettered first), the disks,
  // the letter-only records, the mounted volumes.
  VolumeRecordList GetVolumeList() const;
  DiskDeviceList GetDiskList() const;
  VolumeRecordList GetLetterOnlyVolumes() const;
  std::list<LogicalVolumeInfo> GetLogicalVolumes() const;

  // Drops the lists (devices go when no copy of their records is left).
  int ClearLists();
  // A volume record with reserved word 0 has that letter.
  bool IsLetterKnown(char letter) const;
  // The mounted volume at `startSector` of disk `diskNumber`.
  bool FindLogicalVolume(int diskNumber, uint64_t startSector, LogicalVolumeInfo* out) const;
  // "12.5 GB free of 30 GB" for a mounted volume, "30 GB" for another
  // (`usedPercent` is then not written); returns the total in bytes.
  // `unused` is never written.
  uint64_t FormatVolumeSpaceText(const VolumeMemberExtent* extents, std::string& text, float* usedPercent,
                                 uint8_t* unused) const;

  // Pass steps, public for tests.
  // Drops dynamic volumes whose letter no longer leads to their extent.
  static void MatchVolumeLetters(VolumeRecordList& volumes);
  // Letter-only records: lettered volumes the list lacks, opened by letter.
  static VolumeRecordList CollectLogicalVolumes(const VolumeRecordList& volumes);
  // The mounted volumes among the lettered records, with statvfs sizes.
  static std::list<LogicalVolumeInfo> EnumVolumes(const VolumeRecordList& volumes);

 private:
  void WorkerLoop();
  void EnumerateDisks();

  mutable std::mutex m_listLock;
  DiskDeviceList m_disks;
  VolumeRecordList m_volumes;
  std::list<LogicalVolumeInfo> m_logicalVolumes;
  VolumeRecordList m_letterOnlyVolumes;

  std::mutex m_requestLock;
  std::condition_variable m_requestChanged;
  int m_pending = 0;     // requested passes not ended yet
  bool m_active = false;  // a pass (or its listener) runs
  bool m_stop = false;
  std::thread m_worker;
};

// Total bytes of the volume of `letter`; -1 when it cannot be told or is
// 100 bytes or less.
int64_t GetDriveSpaceInfo(char letter);
// The free bytes of the volume of `letter` (stored in *freeBytes too); -1
// and *freeBytes untouched when the volume is not mounted (its free space
// is unknown) or cannot be told.
int64_t GetDriveFreeSpace(char letter, uint64_t* freeBytes);
// "NTFS" NTFS, "FAT32" FAT32, "FAT" FAT16, anything else Unknown.
EFileSystemType FileSystemTypeFromName(const char* name);
