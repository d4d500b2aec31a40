#include "VolumeMount.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "OwnerRecords.h"
#include "RunCommand.h"
#include "RunLog.h"

namespace platform {

namespace {

std::mutex g_loopLock;
std::set<std::string>& OwnLoops() {
  static std::set<std::string> loops;
  return loops;
}

std::vector<std::string> SplitOptions(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string word;
  while (std::getline(in, word, ','))
    if (!word.empty()) out.push_back(word);
  return out;
}

bool Has(const std::vector<std::string>& words, const std::string& w) {
  return std::find(words.begin(), words.end(), w) != words.end();
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : ",") + w;
  return out;
}

// Mount flags of the per-mount options that mount(2) takes as flags.
unsigned long FlagsOf(const std::vector<std::string>& options) {
  unsigned long flags = 0;
  for (const auto& o : options) {
    if (o == "ro")
      flags |= MS_RDONLY;
    else if (o == "nosuid")
      flags |= MS_NOSUID;
    else if (o == "nodev")
      flags |= MS_NODEV;
    else if (o == "noexec")
      flags |= MS_NOEXEC;
    else if (o == "sync")
      flags |= MS_SYNCHRONOUS;
    else if (o == "dirsync")
      flags |= MS_DIRSYNC;
    else if (o == "noatime")
      flags |= MS_NOATIME;
    else if (o == "nodiratime")
      flags |= MS_NODIRATIME;
    else if (o == "relatime")
      flags |= MS_RELATIME;
    else if (o == "strictatime")
      flags |= MS_STRICTATIME;
    else if (o == "lazytime")
      flags |= MS_LAZYTIME;
  }
  return flags;
}

// The per-mount options a FUSE mounter takes back with -o.
std::vector<std::string> FuseFlagOptions(const std::vector<std::string>& options) {
  std::vector<std::string> out;
  for (const char* o : {"ro", "nosuid", "nodev", "noexec", "noatime"})
    if (Has(options, o)) out.push_back(o);
  return out;
}

std::string KernelTypeOf(VolumeFsKind kind) {
  switch (kind) {
    case VolumeFsKind::FAT:
      return "vfat";
    case VolumeFsKind::NTFS:
      return "ntfs3";
    case VolumeFsKind::exFAT:
      return "exfat";
    case VolumeFsKind::Ext2:
      return "ext2";
    case VolumeFsKind::HFSPlus:
      return "hfsplus";
    default:
      return std::string();
  }
}

std::string FusermountProgram() {
  std::string p = FindProgram("fusermount");
  return p.empty() ? FindProgram("fusermount3") : p;
}

std::string ExfatFuseProgram() {
  std::string p = FindProgram("mount.exfat-fuse");
  return p.empty() ? FindProgram("exfat-fuse") : p;
}

// Waits until no FUSE daemon serves connection `minor` any longer.
void WaitForFuseDaemon(unsigned minor) {
  for (int i = 0; i < 100; ++i) {
    if (FuseDaemonDevices().count(minor) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  LogInfo("Unmount: the FUSE daemon of connection %u is still running", minor);
}

// The mount of the volume at `target` now, if any.
bool FindMountAt(const LetteredVolume& v, const std::string& target, MountEntry* out) {
  for (const auto& m : MountsOfVolume(v.location))
    if (m.mountPoint == target) {
      if (out) *out = m;
      return true;
    }
  return false;
}

bool WaitForMountAt(const LetteredVolume& v, const std::string& target) {
  for (int i = 0; i < 40; ++i) {
    if (FindMountAt(v, target, nullptr)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool RunMounter(const std::vector<std::string>& argv, int* error) {
  std::string output;
  int rc = RunCommand(argv, &output);
  if (rc == 0) return true;
  LogInfo("Mount: %s failed (%d): %s", argv[0].c_str(), rc, output.c_str());
  *error = output.find("busy") != std::string::npos ? EBUSY : EIO;
  return false;
}

bool MountFuse(VolumeFsKind kind, const std::string& fsType, const std::string& device, const std::string& target,
               const std::vector<std::string>& options, int* error) {
  std::vector<std::string> flags = FuseFlagOptions(options);
  bool fat = kind == VolumeFsKind::FAT || fsType == "fuse.fusefat";
  bool exfat = kind == VolumeFsKind::exFAT || fsType == "fuse.exfat";
  if (fat) {
    // fusefat mounts read-only unless told rw+.
    return RunMounter({"fusefat", "-o", Has(flags, "ro") ? "ro" : "rw+", device, target}, error);
  }
  if (exfat) {
    std::string program = ExfatFuseProgram();
    if (program.empty()) {
      *error = ENOENT;
      return false;
    }
    std::vector<std::string> argv = {program};
    if (!flags.empty()) argv.insert(argv.end(), {"-o", Join(flags)});
    argv.insert(argv.end(), {device, target});
    return RunMounter(argv, error);
  }
  if (kind == VolumeFsKind::NTFS || fsType == "fuseblk") {
    std::vector<std::string> argv = {"ntfs-3g"};
    if (!flags.empty()) argv.insert(argv.end(), {"-o", Join(flags)});
    argv.insert(argv.end(), {device, target});
    return RunMounter(argv, error);
  }
  *error = ENODEV;
  return false;
}

bool MountKernel(const std::string& type, const std::string& device, const std::string& target,
                 const std::vector<std::string>& options, const std::string& superOptions, int* error) {
  unsigned long flags = FlagsOf(options);
  std::vector<std::string> data;
  for (const auto& o : SplitOptions(superOptions))
    if (o != "rw" && o != "ro" && o != "sync" && o != "dirsync" && o != "lazytime") data.push_back(o);
  std::string text = Join(data);
  if (mount(device.c_str(), target.c_str(), type.c_str(), flags, text.empty() ? nullptr : text.c_str()) == 0)
    return true;
  int first = errno;
  // Options the driver shows but does not take back: mount with the flags alone.
  if (!text.empty() && mount(device.c_str(), target.c_str(), type.c_str(), flags, nullptr) == 0) return true;
  LogInfo("Mount: %s on %s as %s failed: errno %d", device.c_str(), target.c_str(), type.c_str(), first);
  *error = first;
  return false;
}

// A block node that presents a window volume by itself: the node it was
// mounted from (when it still does), or the disk node of a file system
// that fills the whole disk. Empty when a loop device must be made.
std::string NodeOfWindow(const LetteredVolume& v, const MountRecord* like) {
  std::set<dev_t> nodes = VolumeNodes(v.location);
  struct stat st;
  if (like && !like->source.empty() && like->source[0] == '/' && stat(like->source.c_str(), &st) == 0 &&
      S_ISBLK(st.st_mode) && nodes.count(st.st_rdev) && !IsOwnLoop(like->source))
    return like->source;
  if (stat(v.location.imagePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && nodes.count(st.st_rdev))
    return v.location.imagePath;
  return std::string();
}

}  // namespace

bool MountRecord::IsFuse() const {
  return IsFuseType(fsType);
}

MountRecord RecordOf(const MountEntry& m) {
  MountRecord r;
  r.mountPoint = m.mountPoint;
  r.fsType = m.fsType;
  r.options = m.options;
  r.superOptions = m.superOptions;
  r.source = m.source;
  return r;
}

bool UnmountEntry(const MountEntry& m, int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  if (m.IsFuse()) {
    std::string program = FusermountProgram();
    if (program.empty()) {
      *error = ENOENT;
      return false;
    }
    std::string output;
    int rc = RunCommand({program, "-u", m.mountPoint}, &output);
    if (rc != 0) {
      LogInfo("Unmount: fusermount -u %s failed (%d): %s", m.mountPoint.c_str(), rc, output.c_str());
      *error = output.find("busy") != std::string::npos || output.find("Busy") != std::string::npos ? EBUSY : EIO;
      return false;
    }
    WaitForFuseDaemon(m.minor);
    return true;
  }
  if (umount2(m.mountPoint.c_str(), 0) != 0) {
    *error = errno;
    LogInfo("Unmount: %s failed: errno %d", m.mountPoint.c_str(), *error);
    return false;
  }
  return true;
}

bool KernelHasFileSystem(const std::string& type) {
  if (type.empty()) return false;
  std::ifstream in("/proc/filesystems");
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.rfind('\t');
    std::string name = tab == std::string::npos ? line : line.substr(tab + 1);
    if (name == type) return true;
  }
  return false;
}

bool AttachLoop(const std::string& file, uint64_t offset, uint64_t length, int sectorSize, std::string* loopPath) {
  std::vector<std::string> argv = {
      "losetup", "-f", "--show", "--offset", std::to_string(offset), "--sizelimit", std::to_string(length)};
  if (sectorSize > 0) argv.insert(argv.end(), {"-b", std::to_string(sectorSize)});
  argv.push_back(file);
  std::lock_guard<std::mutex> guard(g_loopLock);
  std::string output;
  if (RunCommand(argv, &output) != 0) {
    LogInfo("losetup of %s failed: %s", file.c_str(), output.c_str());
    return false;
  }
  std::string path = output.substr(0, output.find('\n'));
  if (path.compare(0, 9, "/dev/loop") != 0) return false;
  OwnLoops().insert(path);
  // Written down so that a later start detaches it should this process
  // end without doing so.
  for (const auto& loop : ListLoopDevices())
    if (loop.path == path) RecordOwnLoop(loop);
  *loopPath = path;
  return true;
}

bool IsOwnLoop(const std::string& loopPath) {
  std::lock_guard<std::mutex> guard(g_loopLock);
  return OwnLoops().count(loopPath) != 0;
}

namespace {

// losetup -d, retried a while; true once the kernel has let the device go
// (or marked it to go when its last holder closes it).
bool DetachLoopNode(const std::string& loopPath) {
  for (int i = 0; i < 20; ++i) {
    if (RunCommand({"losetup", "-d", loopPath}) == 0) {
      // While anyone (udev's probe, a closing mount) still holds the
      // device open, the kernel only marks it for release; wait until it
      // lets go, or a lock that follows still finds a loop over the window.
      const std::string name = loopPath.substr(loopPath.rfind('/') + 1);
      const std::string backing = "/sys/block/" + name + "/loop/backing_file";
      for (int wait = 0; wait < 100 && access(backing.c_str(), F_OK) == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  LogInfo("losetup -d %s failed", loopPath.c_str());
  return false;
}

}  // namespace

bool DetachOwnLoop(const std::string& loopPath) {
  std::lock_guard<std::mutex> guard(g_loopLock);
  if (!OwnLoops().count(loopPath)) return false;
  if (!DetachLoopNode(loopPath)) return false;
  OwnLoops().erase(loopPath);
  ForgetOwnLoop(loopPath);
  return true;
}

bool MountVolumeAt(const LetteredVolume& v, const std::string& target, const MountRecord* like, int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  mkdir(target.c_str(), 0755);
  std::string device = v.location.devicePath;
  std::string ownLoop;
  if (device.empty()) device = NodeOfWindow(v, like);
  if (device.empty()) {
    if (!AttachLoop(v.location.imagePath, v.location.byteOffset, v.location.byteLength, v.location.sectorSize,
                    &ownLoop)) {
      *error = ENXIO;
      return false;
    }
    device = ownLoop;
  }
  bool ok = false;
  std::vector<std::string> options = like ? SplitOptions(like->options) : std::vector<std::string>{};
  if (like && !like->IsFuse()) {
    ok = MountKernel(like->fsType, device, target, options, like->superOptions, error);
  } else if (like) {
    ok = MountFuse(v.fsKind, like->fsType, device, target, options, error);
  } else {
    std::string type = KernelTypeOf(v.fsKind);
    if (v.fsKind == VolumeFsKind::Ext2 && !KernelHasFileSystem(type) && KernelHasFileSystem("ext4")) type = "ext4";
    if (KernelHasFileSystem(type))
      ok = MountKernel(type, device, target, {}, std::string(), error);
    else
      ok = MountFuse(v.fsKind, std::string(), device, target, {}, error);
  }
  if (ok && !WaitForMountAt(v, target)) {
    LogInfo("Mount: %s does not show at %s", device.c_str(), target.c_str());
    *error = EIO;
    ok = false;
  }
  if (!ok && !ownLoop.empty()) DetachOwnLoop(ownLoop);
  return ok;
}

std::string OnDemandMountPoint(char letter) {
  return std::string("/run/vantorel/") + static_cast<char>(toupper(static_cast<unsigned char>(letter)));
}

namespace {

// Claiming a folder and mounting on it, and unmounting and removing it,
// happen under one lock shared by every process of ours, so no two take the
// same folder and none removes a folder another has just claimed.
class OnDemandFolderLock {
 public:
  OnDemandFolderLock() {
    mkdir("/run/vantorel", 0755);
    m_fd = open("/run/vantorel/.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0) flock(m_fd, LOCK_EX);
  }
  ~OnDemandFolderLock() {
    if (m_fd >= 0) close(m_fd);
  }
  OnDemandFolderLock(const OnDemandFolderLock&) = delete;
  OnDemandFolderLock& operator=(const OnDemandFolderLock&) = delete;

 private:
  int m_fd = -1;
};

bool IsMountPoint(const std::string& folder) {
  for (const auto& m : ReadMountTable())
    if (m.mountPoint == folder) return true;
  return false;
}

}  // namespace

std::string ClaimMountFolder(const std::string& base) {
  for (const std::string& folder : {base, base + "-" + std::to_string(getpid())}) {
    if (mkdir(folder.c_str(), 0755) == 0) return folder;
    if (errno != EEXIST) return std::string();
    struct stat st;
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !IsMountPoint(folder) && rmdir(folder.c_str()) == 0 &&
        mkdir(folder.c_str(), 0755) == 0)
      return folder;
  }
  errno = EBUSY;
  return std::string();
}

OnDemandMount::~OnDemandMount() {
  Unmount();
}

bool OnDemandMount::Mount(char letter, int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  Unmount();
  LetteredVolume v;
  if (!GetLetteredVolume(letter, &v)) {
    *error = ENOENT;
    return false;
  }
  m_letter = v.letter;
  if (!v.mountPoints.empty()) {
    m_mountPoint = v.mountPoints.front();
    m_ours = false;
    return true;
  }
  OnDemandFolderLock lock;
  const std::string target = ClaimMountFolder(OnDemandMountPoint(v.letter));
  bool mounted = false;
  if (target.empty()) {
    *error = errno ? errno : EBUSY;
  } else {
    // Written before the mount is made: a process killed at any point
    // after it leaves a record of what to release.
    RecordOnDemandMount(target, v.location);
    if (!(mounted = MountVolumeAt(v, target, nullptr, error))) {
      rmdir(target.c_str());
      ForgetOnDemandMount(target);
    }
  }
  if (!mounted) return false;
  m_mountPoint = target;
  m_ours = true;
  return true;
}

bool OnDemandMount::Unmount() {
  if (!m_ours) {
    m_mountPoint.clear();
    return true;
  }
  OnDemandFolderLock lock;
  LetteredVolume v;
  bool ok = true;
  if (GetLetteredVolume(m_letter, &v)) {
    // Whatever is mounted at our folder now (a lock may have mounted it
    // again through another loop device).
    for (const auto& m : MountsOfVolume(v.location)) {
      if (m.mountPoint != m_mountPoint) continue;
      int error = 0;
      if (!UnmountEntry(m, &error)) {
        ok = false;
        continue;
      }
      if (IsOwnLoop(m.source)) DetachOwnLoop(m.source);
    }
  }
  // A FUSE mount's source does not name its loop device: detach every loop
  // of ours over this volume that nothing mounts any longer.
  if (ok && v.location.devicePath.empty())
    for (const auto& loop : LoopsOverWindow(v.location))
      if (IsOwnLoop(loop.path)) DetachOwnLoop(loop.path);
  if (ok) {
    rmdir(m_mountPoint.c_str());
    ForgetOnDemandMount(m_mountPoint);
    m_ours = false;
    m_mountPoint.clear();
  }
  return ok;
}

namespace {

bool SameLoop(const LoopInfo& now, const OwnerRecord& r) {
  return now.path == r.Field("path") && now.backingDev == r.Number("backingdev") &&
         now.backingIno == r.Number("backingino") && now.offset == r.Number("offset") &&
         now.sizeLimit == r.Number("sizelimit");
}

// A folder this program mounts on: /run/vantorel/<name>, nothing deeper.
bool IsOnDemandFolder(const std::string& path) {
  const std::string base = "/run/vantorel/";
  return path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
         path.find('/', base.size()) == std::string::npos && path.find("..") == std::string::npos;
}

// Releases one recorded on-demand mount; false when it must be tried again.
bool ReleaseLeftoverMount(const OwnerRecord& r, const LeftoverHandlers& handlers, std::vector<std::string>* log) {
  const std::string point = r.Field("mountpoint");
  if (!IsOnDemandFolder(point)) {
    log->push_back("left alone: the record names " + point + ", not a folder of ours");
    return true;
  }
  const VolumeLocation where = LocationOfRecord(r);
  const std::vector<MountEntry> table = ReadMountTable();
  std::vector<MountEntry> ours;
  for (const auto& m : MountsOfVolume(where, table))
    if (m.mountPoint == point) ours.push_back(m);
  for (const auto& m : table)
    if (m.mountPoint == point &&
        std::none_of(ours.begin(), ours.end(), [&](const MountEntry& o) { return o.id == m.id; })) {
      log->push_back("left alone: " + point + " holds a mount (" + m.source + ", " + m.fsType +
                     ") that is not the volume recorded");
      return true;
    }
  bool ok = true;
  // The last mount first: a mount stacked on another goes before it.
  for (auto it = ours.rbegin(); it != ours.rend(); ++it) {
    if (handlers.beforeUnmount) handlers.beforeUnmount(point, log);
    int error = 0;
    if (UnmountEntry(*it, &error)) {
      log->push_back("unmounted " + point + " (" + it->fsType + "), left mounted by process " + std::to_string(r.pid));
    } else {
      log->push_back("could not unmount " + point + ": " + strerror(error));
      ok = false;
    }
  }
  if (ok && rmdir(point.c_str()) == 0) log->push_back("removed the folder " + point);
  return ok;
}

}  // namespace

std::vector<std::string> ReleaseLeftovers(const LeftoverHandlers& handlers) {
  std::vector<std::string> log;
  std::vector<OwnerRecord> gone;
  for (auto& r : ReadOwnerRecords())
    if (OwnerGone(r)) gone.push_back(r);
  if (gone.empty()) return log;
  OnDemandFolderLock lock;
  // Folders first, while the volumes holding them are still mounted; then
  // the mounts; then the loop devices the mounts held.
  for (const auto& r : gone) {
    if (r.kind != "folder") continue;
    const std::string folder = r.Field("path");
    struct stat st;
    if (!folder.empty() && lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && handlers.leftFolder)
      handlers.leftFolder(folder, &log);
    RemoveOwnerRecord(r);
  }
  for (const auto& r : gone)
    if (r.kind == "mount" && ReleaseLeftoverMount(r, handlers, &log)) RemoveOwnerRecord(r);
  for (const auto& r : gone) {
    if (r.kind != "loop") continue;
    const std::string path = r.Field("path");
    bool stays = false;
    for (const auto& loop : ListLoopDevices()) {
      if (loop.path != path) continue;
      if (!SameLoop(loop, r)) {
        log.push_back("left alone: " + path + " is attached over another file or window now");
      } else if (DetachLoopNode(path)) {
        log.push_back("detached " + path + ", left attached by process " + std::to_string(r.pid));
      } else {
        log.push_back("could not detach " + path);
        stays = true;
      }
    }
    if (!stays) RemoveOwnerRecord(r);
  }
  return log;
}

bool GetVolumeSpace(char letter, uint64_t* totalBytes, uint64_t* freeBytes, bool* freeKnown) {
  LetteredVolume v;
  if (!GetLetteredVolume(letter, &v)) return false;
  *totalBytes = v.sectorCount * static_cast<uint64_t>(v.diskSectorSize);
  *freeBytes = 0;
  *freeKnown = false;
  for (const auto& point : v.mountPoints) {
    struct statvfs sv;
    if (statvfs(point.c_str(), &sv) != 0) continue;
    *totalBytes = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
    *freeBytes = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
    *freeKnown = true;
    break;
  }
  return true;
}

bool IsPathOnVolume(char letter, const std::string& path) {
  LetteredVolume v;
  struct stat st;
  if (!GetLetteredVolume(letter, &v) || stat(path.c_str(), &st) != 0) return false;
  for (const auto& m : MountsOfVolume(v.location))
    if (makedev(m.major, m.minor) == st.st_dev) return true;
  return false;
}

std::vector<std::string> EnumNetworkResources() {
  return {};
}

}  // namespace platform
