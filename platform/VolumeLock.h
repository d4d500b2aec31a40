// Taking a volume out of the file systems' hands for raw writes, and the
// guarded raw writer that writes only inside a volume held that way.
//
// Lock: unmount every mount of the volume (never forced or lazy);
// open its own block device O_RDWR | O_EXCL (an image window: the file with
// flock(LOCK_EX), and no loop device over the window) and write out what
// the node's cache holds (fsync); then look at the
// mount table once more. A busy unmount, an EBUSY open, a mount still
// listed, or a FUSE daemon still holding the device fail the lock with
// Windows error 5, and every mount the attempt took away is put back.
// Release: close, then mount again what the lock unmounted, at the same
// mount point with the same type and options, and check it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DriveLetters.h"
#include "VolumeMount.h"

namespace platform {

// What a run expects its target to be (from the volume list it showed).
struct VolumeExpectation {
  DiskIdentity disk;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
};

// Checks, just before a volume is opened for writing, that the letter's
// volume still lies on the disk with that identity, at that start and with
// that size, and that the node it would be written through is that volume
// now. False with the reason in *why when anything differs.
bool VerifyVolumeIdentity(char letter, const VolumeExpectation& expect, std::string* why = nullptr);

struct LockedExtent;

class VolumeLock {
 public:
  VolumeLock() = default;
  ~VolumeLock();
  VolumeLock(const VolumeLock&) = delete;
  VolumeLock& operator=(const VolumeLock&) = delete;

  // The lock checks this identity before it opens the volume for writing.
  void Expect(const VolumeExpectation& expect);
  // Locks the volume of `letter`. False with the Windows error in *winError
  // (5 when the volume is in use, 2 when no such volume, 1110 when it is
  // not the expected one).
  bool Lock(char letter, uint32_t* winError);
  bool IsLocked() const;
  // fsync and BLKFLSBUF on the held descriptor.
  bool Dismount();
  // Releases the volume and mounts again what the lock unmounted. False
  // when a mount could not be put back (the volume is released anyway).
  bool Release();
  const LetteredVolume& Volume() const { return m_volume; }
  // The mount records the lock took away (to be mounted again).
  const std::vector<MountRecord>& Unmounted() const { return m_unmounted; }

 private:
  bool Remount();

  std::shared_ptr<LockedExtent> m_extent;
  std::vector<MountRecord> m_unmounted;
  LetteredVolume m_volume;
  VolumeExpectation m_expect;
  bool m_hasExpect = false;
};

// The guarded raw writer. Writes `length` bytes at byte `offset` of disk
// `diskNumber` (sector x the disk's sector size) when the bytes are whole
// sectors inside a volume of that disk that this process holds locked;
// anything else is refused with 644 and nothing is written. The write goes
// to the locked volume's own descriptor, looping on short writes and
// EINTR. Returns 0 or the Windows error; *written is what was written.
uint32_t WriteLockedDisk(int diskNumber, uint64_t offset, const void* buffer, size_t length, size_t* written);
// One piece of WriteLockedDiskBatch: `length` bytes at byte `offset` of the
// disk; `written` and `error` are set by the call.
struct LockedWrite {
  uint64_t offset = 0;
  const void* buffer = nullptr;
  size_t length = 0;
  size_t written = 0;
  uint32_t error = 0;
};
// Writes each piece as WriteLockedDisk would (a piece outside the locked
// volumes is refused with 644 and fails alone). Pieces of whole sectors
// from buffers aligned to the sector go past the page cache, all in flight
// together (asynchronous direct I/O); the call returns once every piece has
// landed or failed. Returns how many pieces were written whole.
size_t WriteLockedDiskBatch(int diskNumber, LockedWrite* writes, size_t count);
// Off: batches go one plain write at a time, as they do on a kernel that
// offers no write ring. On by default.
void AllowWriteRing(bool allowed);
// fdatasync and BLKFLSBUF on every locked volume of the disk that was
// written. False when one of them failed.
bool FlushLockedDisk(int diskNumber);
// The physical block size of the disk's locked volumes (BLKPBSZGET); 0 when
// none is locked or it cannot be told.
uint32_t LockedDiskBlockSize(int diskNumber);
// Whether this process holds a volume of the disk locked.
bool HasLockedVolume(int diskNumber);

}  // namespace platform
