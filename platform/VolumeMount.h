// Mounting and unmounting volumes: one mount at a time, the mount of a
// volume on demand at /run/vantorel/X, loop devices for image windows, and
// the sizes and free space shown for a volume.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DriveLetters.h"
#include "MountTable.h"

namespace platform {

// What it takes to mount a file system again as it was.
struct MountRecord {
  std::string mountPoint;
  std::string fsType;        // as mountinfo shows it: ext2, fuseblk, fuse.fusefat
  std::string options;       // per-mount options
  std::string superOptions;  // file-system options
  std::string source;        // the mounted node (kernel and fuseblk mounts)
  bool IsFuse() const;
};
MountRecord RecordOf(const MountEntry& m);

// Unmounts one mount: umount2(target, 0), or `fusermount -u` for a FUSE
// mount (then waits for its daemon to let go of the device). Never forced,
// never detached. False with the errno (EBUSY for a busy mount) in *error.
bool UnmountEntry(const MountEntry& m, int* error);

// Mounts volume `v` at `target` (created when missing): like `like` when
// given (same type and options), otherwise with the kernel's driver when
// /proc/filesystems lists it, else ntfs-3g (NTFS), fusefat -o rw+ (FAT) or
// exfat-fuse (exFAT). An image window is mounted through a loop device of
// our own. The mount is checked in the mount table before the result is
// true.
bool MountVolumeAt(const LetteredVolume& v, const std::string& target, const MountRecord* like, int* error);

// Loop devices attached by this process (windows of image files).
bool AttachLoop(const std::string& file, uint64_t offset, uint64_t length, int sectorSize, std::string* loopPath);
// Detaches a loop device only when this process attached it.
bool DetachOwnLoop(const std::string& loopPath);
bool IsOwnLoop(const std::string& loopPath);

// Whether /proc/filesystems lists a kernel driver.
bool KernelHasFileSystem(const std::string& type);

// Mounts a volume for one run when it is not mounted, and unmounts it
// afterwards (at the latest when it goes). A volume already mounted is
// used where it is and left mounted.
class OnDemandMount {
 public:
  OnDemandMount() = default;
  ~OnDemandMount();
  OnDemandMount(const OnDemandMount&) = delete;
  OnDemandMount& operator=(const OnDemandMount&) = delete;

  // The mount point of the volume of `letter`, mounting it at
  // /run/vantorel/X when needed. False (errno in *error) when it cannot.
  bool Mount(char letter, int* error = nullptr);
  const std::string& MountPoint() const { return m_mountPoint; }
  bool MountedHere() const { return m_ours; }
  // Unmounts what Mount mounted (nothing otherwise); true when nothing of
  // ours is left mounted.
  bool Unmount();

 private:
  std::string m_mountPoint;
  char m_letter = 0;
  bool m_ours = false;
};

// The folder where volumes are mounted on demand: /run/vantorel/X.
std::string OnDemandMountPoint(char letter);

// Creates the folder `base` to mount on and returns it. Letters are handed
// out per process, so another process of ours (vtctl beside the program)
// may hold /run/vantorel/X for a volume of its own: mounting over it would
// hide that mount. A folder in use (mounted on, or not empty) gives way to
// `base`-<pid>; a left-over empty folder nothing mounts is taken over.
// Empty, with errno set, when neither can be had.
std::string ClaimMountFolder(const std::string& base);

// Releases what processes of ours that have gone (killed, crashed) left
// behind, as their owner records say (OwnerRecords.h), under the lock of
// the on-demand folders:
// - each recorded folder that still exists goes to `leftFolder` (the
//   caller knows its own folders and removes only those);
// - each recorded on-demand mount that is still the recorded volume's mount
//   at its folder under /run/vantorel goes to `beforeUnmount`, then is
//   unmounted and its folder removed; a folder holding any other mount is
//   left alone;
// - each recorded loop device still attached over the recorded file, at
//   the recorded offset and limit, is detached; a loop device attached over
//   anything else now is left alone.
// Records of live processes are not touched. Returns lines for the run log
// saying what was released and what was left alone.
struct LeftoverHandlers {
  std::function<void(const std::string& folder, std::vector<std::string>* log)> leftFolder;
  std::function<void(const std::string& mountPoint, std::vector<std::string>* log)> beforeUnmount;
};
std::vector<std::string> ReleaseLeftovers(const LeftoverHandlers& handlers);

// Size and free space of a volume (GetDiskFreeSpaceEx): from statvfs of its
// mount point when mounted; otherwise its size and *freeKnown false.
bool GetVolumeSpace(char letter, uint64_t* totalBytes, uint64_t* freeBytes, bool* freeKnown);

// Whether `path` lies on the volume of `letter` (on one of its mounts),
// not on the file system beneath a mount point that is not there.
bool IsPathOnVolume(char letter, const std::string& path);

// Network resources (WNetOpenEnum): there are none to enumerate.
std::vector<std::string> EnumNetworkResources();

}  // namespace platform
