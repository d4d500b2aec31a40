#include "CEraseFilesRun.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

#include "EraseResult.h"
#include "RunLog.h"
#include "VolumeRoots.h"

namespace {

// Deeper folders are not walked; they stay, and so do the folders above them.
constexpr int kMaxDepth = 512;
// 1980-01-01 00:00:00 UTC.
constexpr time_t k1980 = 315532800;

// Closes a descriptor when it goes.
class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  int Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (m_fd >= 0) close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DisplayNameOf(const std::string& path) {
  return path == "/" ? path : NameOf(path);
}

// Why an item failed where no system call's error tells it.
const char* ReasonOfResult(int32_t result) {
  switch (result) {
    case ERASE_ITEM_FOLDER_NOT_REMOVED:
      return "the folder still holds items that were not erased";
    case ERASE_ITEM_NOT_FOUND:
      return "not found";
    case ERASE_ITEM_ACCESS_DENIED:
      return "access denied (a mount point, a file with names outside the selection, or a path that changed)";
    case ERASE_ITEM_VERIFY_FAILED:
      return "the last pass did not read back as written";
    case ERASE_ITEM_NOT_SUPPORTED:
      return "a device, FIFO or socket is never opened";
    case ERASE_ITEM_CANCELLED:
      return "cancelled";
    default:
      return "the overwrite failed";
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The path the kernel gives for an open descriptor.
std::string PathOfFd(int fd) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char buf[PATH_MAX + 1];
  ssize_t n = readlink(link, buf, PATH_MAX);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The names in a folder other than "." and "..", in the order read.
bool ReadNames(int dirFd, std::vector<std::pair<std::string, unsigned char>>* names) {
  int dupFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (dupFd < 0) return false;
  DIR* dir = fdopendir(dupFd);
  if (!dir) {
    close(dupFd);
    return false;
  }
  rewinddir(dir);
  while (struct dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    names->push_back({name, e->d_type});
  }
  closedir(dir);
  return true;
}

}  // namespace

CEraseFilesRun::CEraseFilesRun() : CEraseRun(ERASE_MODE_FILES) {}

CEraseFilesRun::~CEraseFilesRun() {
  Join();
}

void CEraseFilesRun::SetItems(const std::vector<EraseItem>& files, const std::vector<EraseItem>& folders) {
  m_files = files;
  m_folders = folders;
}

void CEraseFilesRun::SetPauses(int itemMs, int singleItemMs) {
  m_itemPauseMs = itemMs < 0 ? 0 : itemMs;
  m_singlePauseMs = singleItemMs < 0 ? 0 : singleItemMs;
}

void CEraseFilesRun::Pause(int ms) const {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CEraseFilesRun::AddChosen(const EraseItem& chosen, bool folder) {
  WorkItem work;
  work.item = chosen;
  work.item.algorithm = 0;
  work.item.result = 0;
  work.item.isFolder = folder ? 1 : 0;
  if (chosen.path.empty()) {
    work.refused = ERASE_ITEM_NOT_FOUND;
    m_work.push_back(work);
    return;
  }
  if (platform::IsVolumeRoot(work.item.path, m_mountPoints)) {
    LogError("erase: %s is the root of a volume; refused", work.item.path.c_str());
    work.refused = ERASE_ITEM_ACCESS_DENIED;
    m_work.push_back(work);
    return;
  }
  struct stat lst;
  if (lstat(work.item.path.c_str(), &lst) == 0) CountName(lst);
  m_work.push_back(work);
  if (!folder) return;
  Fd dirFd(open(work.item.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (dirFd.get() < 0 || fstat(dirFd.get(), &st) != 0) return;  // not a folder (a link, a file): erased as it is
  ListFolderFiles(dirFd.get(), work.item.path, st.st_dev, 0);
}

void CEraseFilesRun::ListFolderFiles(int dirFd, const std::string& path, dev_t dev, int depth) {
  if (IsCancelled()) return;
  if (depth >= kMaxDepth) {
    LogError("erase: %s lies too deep; not walked", path.c_str());
    return;
  }
  std::vector<std::pair<std::string, unsigned char>> names;
  if (!ReadNames(dirFd, &names)) {
    LogError("erase: cannot list %s: errno %d", path.c_str(), errno);
    return;
  }
  for (const auto& entry : names) {
    if (IsCancelled()) return;
    WorkItem work;
    work.item.path = JoinPath(path, entry.first);
    work.dev = dev;
    if (work.item.path.size() >= PATH_MAX) {
      LogError("erase: a name in %s is too long to reach; not walked", path.c_str());
      continue;
    }
    struct stat st;
    if (fstatat(dirFd, entry.first.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      m_work.push_back(work);  // fails when its turn comes
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      CountName(st);
      m_work.push_back(work);
      continue;
    }
    work.item.isFolder = 1;
    if (st.st_dev != dev || m_mountPoints.count(work.item.path)) {
      // Another file system is mounted here: it is not ours to erase.
      LogError("erase: %s is a mount point; not entered", work.item.path.c_str());
      work.refused = ERASE_ITEM_ACCESS_DENIED;
      m_work.push_back(work);
      continue;
    }
    m_work.push_back(work);
    Fd child(openat(dirFd, entry.first.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat cst;
    if (child.get() < 0 || fstat(child.get(), &cst) != 0 || !SameFile(st, cst)) continue;
    ListFolderFiles(child.get(), work.item.path, dev, depth + 1);
  }
}

void CEraseFilesRun::CountName(const struct stat& st) {
  if (S_ISREG(st.st_mode) && st.st_nlink > 1) ++m_namesInRun[{st.st_dev, st.st_ino}];
}

void CEraseFilesRun::BuildWorkList() {
  m_work.clear();
  m_done.clear();
  m_failedCount = 0;
  m_firstPath.clear();
  m_firstReason.clear();
  m_namesInRun.clear();
  // The chosen items with their folder parts resolved, files first.
  std::vector<std::pair<EraseItem, bool>> chosen;
  for (const EraseItem& f : m_files) chosen.push_back({f, false});
  for (const EraseItem& d : m_folders) chosen.push_back({d, true});
  std::set<std::string> walked;  // chosen folders whose content the walk lists
  for (auto& [item, folder] : chosen) {
    if (!item.path.empty()) item.path = platform::ResolveFolderPart(item.path);
    if (folder && !item.path.empty() && !platform::IsVolumeRoot(item.path, m_mountPoints)) walked.insert(item.path);
  }
  // An item chosen twice, or lying beneath a chosen folder, is left to the
  // walk: listed once, its folder still goes after it.
  std::set<std::string> seen;
  for (const auto& [item, folder] : chosen) {
    if (IsCancelled()) break;
    if (!item.path.empty()) {
      if (!seen.insert(item.path).second) continue;
      bool beneath = false;
      for (size_t slash = item.path.find('/', 1); slash != std::string::npos && !beneath;
           slash = item.path.find('/', slash + 1))
        beneath = walked.count(item.path.substr(0, slash)) != 0;
      if (beneath) continue;
    }
    AddChosen(item, folder);
  }
}

std::string CEraseFilesRun::RenameBeforeDelete(int parentFd, const std::string& name, const std::string& path,
                                               bool folder) {
  std::string target = folder ? "NORVANTAM" : "NORVANTA.NORVANTA";
  if (JoinPath(FolderOf(path), target).size() >= 260) target = "KD.TLM";
  if (name == target) return name;
  if (renameat2(parentFd, name.c_str(), parentFd, target.c_str(), RENAME_NOREPLACE) == 0) return target;
  if (errno == EINVAL || errno == ENOSYS) {
    // The file system knows no "rename unless taken": look first.
    struct stat st;
    if (fstatat(parentFd, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
        renameat(parentFd, name.c_str(), parentFd, target.c_str()) == 0)
      return target;
  }
  return name;
}

int32_t CEraseFilesRun::EraseFileAt(int parentFd, const std::string& name, const std::string& path,
                                    const struct stat& st) {
  Fd ro(openat(parentFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (ro.get() < 0) return ResultFromErrno(errno);
  struct stat ost;
  if (fstat(ro.get(), &ost) != 0) return ResultFromErrno(errno);
  if (!SameFile(st, ost) || !S_ISREG(ost.st_mode)) return ERASE_ITEM_ACCESS_DENIED;
  if (ost.st_nlink > 1) {
    auto names = m_namesInRun.find({ost.st_dev, ost.st_ino});
    const nlink_t inRun = names == m_namesInRun.end() ? 0 : names->second;
    if (names != m_namesInRun.end() && names->second > 0) --names->second;
    if (inRun < ost.st_nlink) {
      LogError("erase: %s has names outside the selection; kept", path.c_str());
      return ERASE_ITEM_ACCESS_DENIED;
    }
  }

  // Make it writable: the immutable and append-only flags, then the
  // read-only permission. A file system without flags has none to clear.
  int flags = 0;
  if (ioctl(ro.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL))) {
    flags &= ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
    if (ioctl(ro.get(), FS_IOC_SETFLAGS, &flags) != 0) {
      int e = errno;
      LogError("erase: cannot clear the immutable flags of %s: errno %d", path.c_str(), e);
      return ResultFromErrno(e);
    }
  }
  if (!(ost.st_mode & S_IWUSR)) fchmod(ro.get(), (ost.st_mode & 07777) | S_IWUSR);

  Fd fd(openat(parentFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    int e = errno;
    LogError("FillFileWithZero failed with %d.", e);
    return ResultFromErrno(e);
  }
  struct stat wst;
  if (fstat(fd.get(), &wst) != 0 || !SameFile(ost, wst)) return ERASE_ITEM_ACCESS_DENIED;
  ro.Reset();

  int32_t result = m_overwriter.Overwrite(fd.get(), Passes(), Verifies(), &CancelFlag());
  if (result != ERASE_ITEM_ERASED) {
    LogError("FillFileWithZero failed with %d.", result);
    return result;  // the file stays where it is, under its own name
  }
  // The overwrite reached the disk with each pass's own flush; the size and
  // times set here are metadata the file system writes with the unlink that
  // follows, so flushing them again would erase nothing more.
  if (ftruncate(fd.get(), 0) != 0) LogError("erase: truncating %s failed: errno %d", path.c_str(), errno);
  const struct timespec times[2] = {{k1980, 0}, {k1980, 0}};
  if (futimens(fd.get(), times) != 0) LogError("erase: set time ERROR on %s: errno %d", path.c_str(), errno);
  if (close(fd.Release()) != 0) LogError("erase: closing %s failed: errno %d", path.c_str(), errno);

  std::string now = RenameBeforeDelete(parentFd, name, path, false);
  if (unlinkat(parentFd, now.c_str(), 0) != 0) {
    int e = errno;
    LogError("erase: deleting %s failed: errno %d", path.c_str(), e);
    return ResultFromErrno(e);
  }
  return ERASE_ITEM_ERASED;
}

int32_t CEraseFilesRun::EraseFolderAt(int parentFd, const std::string& name, const std::string& path) {
  {
    Fd dirFd(openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::vector<std::pair<std::string, unsigned char>> names;
    if (dirFd.get() < 0 || !ReadNames(dirFd.get(), &names) || !names.empty()) {
      LogError("erase: folder %s is not empty or cannot be read; kept", path.c_str());
      return ERASE_ITEM_FOLDER_NOT_REMOVED;
    }
  }
  std::string now = RenameBeforeDelete(parentFd, name, path, true);
  if (unlinkat(parentFd, now.c_str(), AT_REMOVEDIR) != 0) {
    LogError("erase: removing folder %s failed: errno %d", path.c_str(), errno);
    if (now != name) renameat2(parentFd, now.c_str(), parentFd, name.c_str(), RENAME_NOREPLACE);
    return ERASE_ITEM_FOLDER_NOT_REMOVED;
  }
  return ERASE_ITEM_ERASED;
}

int32_t CEraseFilesRun::ResultFromErrno(int err) {
  m_itemErrno = err;
  return EraseItemResultFromErrno(err);
}

int32_t CEraseFilesRun::EraseWorkItem(const WorkItem& work) {
  if (work.refused) return work.refused;
  const std::string& path = work.item.path;
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..") return ERASE_ITEM_ACCESS_DENIED;

  // Every later call works relative to this folder; it must still be the
  // folder the path names (no link swapped in since the walk).
  Fd parent(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) return ResultFromErrno(errno);
  if (PathOfFd(parent.get()) != folder) {
    LogError("erase: the folder of %s changed; item refused", path.c_str());
    return ERASE_ITEM_ACCESS_DENIED;
  }
  struct stat st;
  if (fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return ResultFromErrno(errno);
  if (work.dev != 0 && st.st_dev != work.dev) return ERASE_ITEM_ACCESS_DENIED;

  if (S_ISLNK(st.st_mode)) {
    // Only the link goes; its target is none of ours.
    std::string now = RenameBeforeDelete(parent.get(), name, path, false);
    return unlinkat(parent.get(), now.c_str(), 0) == 0 ? ERASE_ITEM_ERASED : ResultFromErrno(errno);
  }
  if (S_ISDIR(st.st_mode)) {
    if (platform::IsVolumeRoot(path, m_mountPoints)) return ERASE_ITEM_ACCESS_DENIED;
    return EraseFolderAt(parent.get(), name, path);
  }
  if (S_ISREG(st.st_mode)) return EraseFileAt(parent.get(), name, path, st);
  LogError("erase: %s is a device, FIFO or socket; not opened", path.c_str());
  return ERASE_ITEM_NOT_SUPPORTED;
}

int CEraseFilesRun::Execute() {
  m_mountPoints = platform::MountPoints();
  BuildWorkList();
  const int count = static_cast<int>(m_work.size());
  LogInfo("erase: %d items, %d passes", count, Passes());
  IRunObserver* observer = Observer();
  int failed = 0;
  for (int i = count - 1; i >= 0; --i) {
    if (IsCancelled()) break;
    WorkItem& work = m_work[static_cast<size_t>(i)];
    const std::string display = DisplayNameOf(work.item.path);
    if (observer) observer->Progress(count - i, count, display);
    m_itemErrno = 0;
    work.item.result = EraseWorkItem(work);
    if (work.item.result != ERASE_ITEM_ERASED) {
      if (failed++ == 0) {
        m_firstPath = work.item.path;
        m_firstReason = m_itemErrno ? std::string(strerror(m_itemErrno)) : ReasonOfResult(work.item.result);
      }
      LogError("erase: %s failed with %d", work.item.path.c_str(), work.item.result);
    }
    m_done.push_back(work.item);
    if (count == 1) {
      if (observer) observer->Progress(2, count, display);
      Pause(m_singlePauseMs);
    }
    Pause(m_itemPauseMs);
  }
  LogInfo("erase: %zu of %d items processed", m_done.size(), count);
  if (IsCancelled()) return Fail(ERASE_FILES_CANCELLED, "cancelled");
  m_failedCount = failed;
  if (failed)
    return Fail(ERASE_FILES_ITEMS_FAILED, std::to_string(failed) + " of " + std::to_string(count) +
                                              " items could not be erased; the first: " + m_firstPath + ": " +
                                              m_firstReason);
  return ERASE_COMPLETED;
}
