// Takes one volume out of the file system's hands for a wipe: open it by
// drive letter, lock it (unmounted and held exclusively), let the runs
// write through the mount driver's writer, dismount (flush), unlock (mount
// it again as it was) and close. Each run keeps its own manager on the
// stack.
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"
#include "VolumeLock.h"

class CVolumeManager {
 public:
  CVolumeManager() = default;
  // Releases a lock still held (mounting the volume again) and closes.
  virtual ~CVolumeManager();
  CVolumeManager(const CVolumeManager&) = delete;
  CVolumeManager& operator=(const CVolumeManager&) = delete;

  // 'A' to 'Z' only.
  static bool IsDriveLetter(char letter);
  // The volume of `letter`; when it is not a drive letter, `path` names it
  // instead ("\\.\X:" or its block device, at most 99 characters).
  bool OpenVolume(char letter, const char* path);
  // Writes the volume's cached data out (syncfs of its mounts, fsync).
  bool Flush();
  // Up to three attempts, 100 ms apart. A failed lock closes the volume;
  // GetLastError() then says why (5: in use).
  bool LockVolume();
  // Locked: fsync and BLKFLSBUF on the held device. Not locked: a flush
  // (a volume in use is never unmounted here).
  bool DismountVolume();
  // False when no volume is open or it is not locked; otherwise releases
  // the lock, mounts again what the lock unmounted and closes. False when
  // a mount could not be put back.
  bool UnlockVolume();
  // Closes (releasing a lock first); false when nothing was open.
  bool CloseVolume();
  // Mount points are the layer's business; nothing calls these.
  bool SetMountPoint(char letter);
  bool DeleteMountPoint(char letter);

  // The identity the lock checks before opening the volume for writing.
  void ExpectIdentity(const platform::VolumeExpectation& expect);
  bool IsOpen() const { return m_fd >= 0; }
  bool IsLocked() const { return m_lock.IsLocked(); }
  char GetDriveLetter() const { return m_letter; }
  // The Windows error of the last failed operation (also the thread's).
  uint32_t GetLastError() const { return m_lastError; }

  // Which mounter a volume of this file-system type needs.
  static platform::VolumeFsKind FsKindOf(EFileSystemType type);

 private:
  bool SetError(uint32_t code);

  int m_fd = -1;
  char m_letter = 0;
  uint32_t m_lastError = 0;
  platform::VolumeLock m_lock;
};
