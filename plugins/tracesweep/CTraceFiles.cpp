#include "CTraceFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr int kMaxDepth = 128;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool HasWildcard(const std::string& part) {
  return part.find_first_of("*?[") != std::string::npos;
}

int OpenFolderAt(int dirfd, const char* name) {
  return openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Names in a folder (without "." and ".."); the descriptor stays open.
std::vector<std::string> ListFolder(int dirfd) {
  std::vector<std::string> names;
  int dup = fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
  if (dup < 0) return names;
  DIR* dir = fdopendir(dup);
  if (!dir) {
    close(dup);
    return names;
  }
  rewinddir(dir);  // the copy shares its position with dirfd
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void MatchFrom(int dirfd, const std::vector<std::string>& parts, size_t index, const std::string& prefix,
               std::vector<std::string>& out) {
  const std::string& part = parts[index];
  std::vector<std::string> names;
  if (HasWildcard(part)) {
    for (const std::string& name : ListFolder(dirfd))
      if (fnmatch(part.c_str(), name.c_str(), 0) == 0) names.push_back(name);
  } else {
    names.push_back(part);
  }
  for (const std::string& name : names) {
    struct stat st;
    if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode)) continue;
    const std::string path = prefix.empty() ? name : prefix + "/" + name;
    if (index + 1 == parts.size()) {
      out.push_back(path);
    } else if (S_ISDIR(st.st_mode)) {
      int sub = OpenFolderAt(dirfd, name.c_str());
      if (sub < 0) continue;
      MatchFrom(sub, parts, index + 1, path, out);
      close(sub);
    }
  }
}

using InodeSet = std::set<std::pair<dev_t, ino_t>>;

// Counts an inode once.
uint64_t CountOnce(const struct stat& st, InodeSet& seen) {
  if (st.st_nlink > 1 && !S_ISDIR(st.st_mode) && !seen.insert({st.st_dev, st.st_ino}).second) return 0;
  return static_cast<uint64_t>(st.st_size);
}

// The apparent size of one name in a folder, and of all below it.
uint64_t MeasureAt(int dirfd, const std::string& name, dev_t dev, int depth, InodeSet& seen) {
  struct stat st;
  if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  if (!S_ISDIR(st.st_mode)) return CountOnce(st, seen);
  // Another file system mounted here, or too deep: not ours to count.
  if ((dev != 0 && st.st_dev != dev) || depth >= kMaxDepth) return 0;
  int sub = OpenFolderAt(dirfd, name.c_str());
  if (sub < 0) return 0;
  uint64_t total = static_cast<uint64_t>(st.st_size);
  for (const std::string& child : ListFolder(sub)) total += MeasureAt(sub, child, st.st_dev, depth + 1, seen);
  close(sub);
  return total;
}

// Removes one name of a folder (a folder with all it holds, a link itself,
// never its target); returns the bytes removed, counted like MeasureAt.
uint64_t RemoveAt(int dirfd, const std::string& name, dev_t dev, int depth, InodeSet& seen, bool& complete) {
  struct stat st;
  if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;  // already gone
  if (!S_ISDIR(st.st_mode)) {
    uint64_t size = CountOnce(st, seen);
    if (unlinkat(dirfd, name.c_str(), 0) == 0) return size;
    complete = false;
    return 0;
  }
  int sub = -1;
  if ((dev == 0 || st.st_dev == dev) && depth < kMaxDepth) sub = OpenFolderAt(dirfd, name.c_str());
  if (sub < 0) {
    complete = false;
    return 0;
  }
  bool subComplete = true;
  uint64_t removed = 0;
  for (const std::string& child : ListFolder(sub))
    removed += RemoveAt(sub, child, st.st_dev, depth + 1, seen, subComplete);
  close(sub);
  if (subComplete && unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0)
    return removed + static_cast<uint64_t>(st.st_size);
  complete = false;
  return removed;
}

}  // namespace

std::vector<std::string> CTraceFiles::Match(const std::string& pattern) const {
  std::vector<std::string> out;
  const std::vector<std::string> parts = SplitPath(pattern);
  if (parts.empty() || m_home.empty()) return out;
  for (const std::string& p : parts)
    if (p == "." || p == "..") return out;
  int home = open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (home < 0) return out;
  MatchFrom(home, parts, 0, "", out);
  close(home);
  std::sort(out.begin(), out.end());
  return out;
}

int CTraceFiles::OpenParent(const std::string& relative, std::string& leaf) const {
  std::vector<std::string> parts = SplitPath(relative);
  if (parts.empty() || m_home.empty()) return -1;
  int fd = open(m_home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (size_t i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
    int next = (parts[i] == "." || parts[i] == "..") ? -1 : OpenFolderAt(fd, parts[i].c_str());
    close(fd);
    fd = next;
  }
  leaf = parts.back();
  if (leaf == "." || leaf == "..") {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

bool CTraceFiles::Stat(const std::string& relative, struct stat& st) const {
  std::string leaf;
  int parent = OpenParent(relative, leaf);
  if (parent < 0) return false;
  bool ok = fstatat(parent, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  close(parent);
  return ok;
}

uint64_t CTraceFiles::Measure(const std::string& relative) const {
  std::string leaf;
  int parent = OpenParent(relative, leaf);
  if (parent < 0) return 0;
  InodeSet seen;
  uint64_t total = MeasureAt(parent, leaf, 0, 0, seen);
  close(parent);
  return total;
}

uint64_t CTraceFiles::Remove(const std::string& relative, bool& complete) const {
  complete = false;
  std::string leaf;
  int parent = OpenParent(relative, leaf);
  if (parent < 0) return 0;
  uint64_t removed = 0;
  struct stat st;
  InodeSet seen;
  complete = true;
  // A matched path is never a link (Match skips them); leave one that appeared since.
  if (fstatat(parent, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    complete = false;
  else
    removed = RemoveAt(parent, leaf, 0, 0, seen, complete);
  close(parent);
  return removed;
}
