#include "VolumeState.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "MountTable.h"

namespace platform {

namespace {

// 1 read-only, 0 writable, -1 unknown (BLKROGET of a block device node).
int BlockDeviceReadOnly(const std::string& node) {
  const int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  int ro = 0;
  const int rc = ioctl(fd, BLKROGET, &ro);
  close(fd);
  return rc == 0 ? (ro ? 1 : 0) : -1;
}

// syncfs of the file system holding the folder `path`.
bool SyncFileSystemOf(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = syncfs(fd) == 0 || errno == ENOSYS || errno == EINVAL;
  close(fd);
  return ok;
}

bool HasOption(const std::string& options, const char* wanted) {
  std::istringstream in(options);
  std::string one;
  while (std::getline(in, one, ','))
    if (one == wanted) return true;
  return false;
}

}  // namespace

bool GetMountSpace(const std::string& mountPoint, MountSpace* space) {
  struct statvfs sv;
  if (statvfs(mountPoint.c_str(), &sv) != 0) return false;
  const uint64_t unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
  const uint64_t blocks = geteuid() == 0 ? sv.f_bfree : sv.f_bavail;
  space->fillableBytes = unit * blocks;
  space->known = sv.f_blocks != 0;
  space->readOnly = (sv.f_flag & ST_RDONLY) != 0;
  space->blockBytes = std::max<uint64_t>(512, std::max<uint64_t>(sv.f_bsize, unit));
  return true;
}

int VolumeNodeReadOnly(const VolumeLocation& where) {
  if (!where.devicePath.empty()) return BlockDeviceReadOnly(where.devicePath);
  if (where.imagePath.empty()) return -1;
  struct stat st;
  if (stat(where.imagePath.c_str(), &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) return BlockDeviceReadOnly(where.imagePath);
  return access(where.imagePath.c_str(), W_OK) == 0 ? 0 : 1;
}

bool IsReadOnlyFrom(const std::vector<std::string>& mountOptions, bool anyMountStatRdonly, int deviceReadOnly) {
  if (anyMountStatRdonly || deviceReadOnly == 1) return true;
  for (const auto& options : mountOptions)
    if (HasOption(options, "ro")) return true;
  return false;
}

std::string ReadOnlyUseOfVolume(const LetteredVolume& volume) {
  for (const MountEntry& m : MountsOfVolume(volume.location)) {
    MountSpace space;
    const bool statRdonly = GetMountSpace(m.mountPoint, &space) && space.readOnly;
    if (IsReadOnlyFrom({m.options, m.superOptions}, statRdonly, 0)) return "it is mounted read-only at " + m.mountPoint;
  }
  if (VolumeNodeReadOnly(volume.location) == 1) {
    const std::string& node =
        volume.location.devicePath.empty() ? volume.location.imagePath : volume.location.devicePath;
    return "its device " + node + " is read-only";
  }
  return std::string();
}

bool SyncVolume(const std::string& mountPoint, const LetteredVolume& volume) {
  bool ok = SyncFileSystemOf(mountPoint);
  if (volume.location.devicePath.empty()) {
    sync();
    return ok;
  }
  const int fd = open(volume.location.devicePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) ok = false;
  if (fd >= 0) close(fd);
  return ok;
}

}  // namespace platform
