#include "WipePageChecks.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <sstream>

#include "MountTable.h"

namespace wipecheck {

namespace {

bool HasOption(const std::string& options, const char* wanted) {
  std::istringstream in(options);
  std::string one;
  while (std::getline(in, one, ','))
    if (one == wanted) return true;
  return false;
}

// 1 read-only, 0 writable, -1 unknown.
int DeviceReadOnly(const platform::VolumeLocation& where) {
  if (!where.devicePath.empty()) {
    int fd = open(where.devicePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int ro = 0;
    int rc = ioctl(fd, BLKROGET, &ro);
    close(fd);
    return rc == 0 ? (ro ? 1 : 0) : -1;
  }
  if (where.imagePath.empty()) return -1;
  struct stat st;
  if (stat(where.imagePath.c_str(), &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) {
    int fd = open(where.imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int ro = 0;
    int rc = ioctl(fd, BLKROGET, &ro);
    close(fd);
    return rc == 0 ? (ro ? 1 : 0) : -1;
  }
  return access(where.imagePath.c_str(), W_OK) == 0 ? 0 : 1;
}

}  // namespace

bool IsReadOnlyFrom(const std::vector<std::string>& mountOptions, bool anyMountStatRdonly, int deviceReadOnly) {
  if (anyMountStatRdonly || deviceReadOnly == 1) return true;
  for (const auto& options : mountOptions)
    if (HasOption(options, "ro")) return true;
  return false;
}

bool IsVolumeReadOnly(const platform::LetteredVolume& volume) {
  std::vector<std::string> options;
  bool statRdonly = false;
  for (const auto& m : platform::MountsOfVolume(volume.location)) {
    options.push_back(m.options);
    options.push_back(m.superOptions);
    struct statvfs vfs;
    if (statvfs(m.mountPoint.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)) statRdonly = true;
  }
  return IsReadOnlyFrom(options, statRdonly, DeviceReadOnly(volume.location));
}

bool FreeSpaceWipeSupports(EFileSystemType type) {
  switch (type) {
    case EFileSystemType::FAT12:
    case EFileSystemType::FAT16:
    case EFileSystemType::FAT32:
    case EFileSystemType::NTFS:
    case EFileSystemType::exFAT:
    case EFileSystemType::Ext2:
    case EFileSystemType::Ext3:
      return true;
    default:
      return false;
  }
}

}  // namespace wipecheck
