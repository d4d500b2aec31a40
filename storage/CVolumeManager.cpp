#include "CVolumeManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "DriveLetters.h"
#include "WinError.h"

namespace {

// "\\.\X:" names the volume of letter X.
char LetterOfVolumePath(const std::string& path) {
  if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':' &&
      CVolumeManager::IsDriveLetter(path[4]))
    return path[4];
  return 0;
}

}  // namespace

CVolumeManager::~CVolumeManager() {
  if (m_lock.IsLocked()) m_lock.Release();
  if (m_fd >= 0) close(m_fd);
}

bool CVolumeManager::IsDriveLetter(char letter) {
  return letter >= 'A' && letter <= 'Z';
}

bool CVolumeManager::SetError(uint32_t code) {
  m_lastError = code;
  platform::SetLastWinError(code);
  return code == 0;
}

bool CVolumeManager::OpenVolume(char letter, const char* path) {
  if (m_fd >= 0) CloseVolume();
  char target = 0;
  if (IsDriveLetter(letter)) {
    target = letter;
  } else if (path && *path) {
    if (strlen(path) > 99) return SetError(platform::kWinInvalidParameter);
    target = LetterOfVolumePath(path);
    if (!target) {
      platform::VolumeLocation where;
      where.devicePath = path;
      target = platform::FindLetterOfLocation(where);
    }
  }
  platform::VolumeLocation where;
  if (!target || !platform::ResolveDriveLetter(target, &where)) return SetError(platform::kWinFileNotFound);
  const std::string node = where.devicePath.empty() ? where.imagePath : where.devicePath;
  m_fd = open(node.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return SetError(platform::WinErrorFromErrno(errno));
  m_letter = target;
  return SetError(0);
}

bool CVolumeManager::Flush() {
  if (m_fd < 0) return SetError(platform::kWinInvalidHandle);
  bool ok = true;
  platform::LetteredVolume v;
  if (platform::GetLetteredVolume(m_letter, &v))
    for (const auto& point : v.mountPoints) {
      int dir = open(point.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir < 0 || syncfs(dir) != 0) ok = false;
      if (dir >= 0) close(dir);
    }
  if (fsync(m_fd) != 0 && errno != EINVAL) ok = false;
  return SetError(ok ? 0 : platform::kWinWriteFault);
}

bool CVolumeManager::LockVolume() {
  if (m_fd < 0) return SetError(platform::kWinInvalidHandle);
  uint32_t error = 0;
  bool locked = false;
  for (int attempt = 0; attempt < 3 && !locked; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    locked = m_lock.Lock(m_letter, &error);
    if (error != platform::kWinAccessDenied) break;  // only "in use" may pass
  }
  if (locked) return SetError(0);
  close(m_fd);
  m_fd = -1;
  return SetError(error ? error : platform::kWinAccessDenied);
}

bool CVolumeManager::DismountVolume() {
  if (m_fd < 0) return SetError(platform::kWinInvalidHandle);
  if (!m_lock.IsLocked()) return Flush();
  return SetError(m_lock.Dismount() ? 0 : platform::kWinWriteFault);
}

bool CVolumeManager::UnlockVolume() {
  if (m_fd < 0) return SetError(platform::kWinInvalidHandle);
  bool wasLocked = m_lock.IsLocked();
  bool remounted = m_lock.Release();
  close(m_fd);
  m_fd = -1;
  if (!wasLocked) return SetError(platform::kWinInvalidParameter);
  return SetError(remounted ? 0 : platform::kWinGenFailure);
}

bool CVolumeManager::CloseVolume() {
  if (m_fd < 0) return SetError(platform::kWinInvalidHandle);
  bool remounted = m_lock.Release();
  close(m_fd);
  m_fd = -1;
  return SetError(remounted ? 0 : platform::kWinGenFailure);
}

bool CVolumeManager::SetMountPoint(char letter) {
  (void)letter;
  return SetError(platform::kWinInvalidParameter);
}

bool CVolumeManager::DeleteMountPoint(char letter) {
  (void)letter;
  return SetError(platform::kWinInvalidParameter);
}

void CVolumeManager::ExpectIdentity(const platform::VolumeExpectation& expect) {
  m_lock.Expect(expect);
}

platform::VolumeFsKind CVolumeManager::FsKindOf(EFileSystemType type) {
  switch (type) {
    case EFileSystemType::FAT12:
    case EFileSystemType::FAT16:
    case EFileSystemType::FAT32:
      return platform::VolumeFsKind::FAT;
    case EFileSystemType::NTFS:
      return platform::VolumeFsKind::NTFS;
    case EFileSystemType::Ext2:
    case EFileSystemType::Ext3:
      return platform::VolumeFsKind::Ext2;
    case EFileSystemType::exFAT:
      return platform::VolumeFsKind::exFAT;
    case EFileSystemType::HFSPlus:
      return platform::VolumeFsKind::HFSPlus;
    default:
      return platform::VolumeFsKind::Unknown;
  }
}
