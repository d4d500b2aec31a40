#include "FillerFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "OwnerRecords.h"
#include "RunLog.h"
#include "VolumeMount.h"

namespace filler {

namespace {

constexpr const char* kPrefix = ".norvanta-";
constexpr const char* kFileStem = "norvanta";
constexpr const char* kFileSuffix = ".norvanta";

bool AllDigits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

bool IsFileName(const std::string& name) {
  const size_t stem = strlen(kFileStem), suffix = strlen(kFileSuffix);
  if (name.size() <= stem + suffix || name.compare(0, stem, kFileStem) != 0 ||
      name.compare(name.size() - suffix, suffix, kFileSuffix) != 0)
    return false;
  return AllDigits(name.substr(stem, name.size() - stem - suffix));
}

// The names in the folder open as `fd` (neither "." nor ".."); false when
// it cannot be read.
bool ListNames(int fd, std::vector<std::string>* names) {
  const int again = dup(fd);
  if (again < 0) return false;
  DIR* dir = fdopendir(again);
  if (!dir) {
    close(again);
    return false;
  }
  names->clear();
  errno = 0;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const bool ok = errno == 0;
  closedir(dir);
  return ok;
}

int OpenFolderAt(int at, const std::string& name) {
  return openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Whether every entry below the folder open as `fd` is filler; on success
// *subfolders holds each subfolder with its files.
bool CheckContent(int fd, std::vector<std::pair<std::string, std::vector<std::string>>>* subfolders, std::string* why) {
  std::vector<std::string> names;
  if (!ListNames(fd, &names)) {
    *why = "it cannot be read";
    return false;
  }
  for (const auto& name : names) {
    struct stat st;
    if (!AllDigits(name) || fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
      *why = "it holds \"" + name + "\", which no run writes";
      return false;
    }
    const int sub = OpenFolderAt(fd, name);
    std::vector<std::string> files;
    const bool listed = sub >= 0 && ListNames(sub, &files);
    bool ok = listed;
    for (const auto& file : files) {
      if (!ok) break;
      if (!IsFileName(file) || fstatat(sub, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        *why = "it holds \"" + name + "/" + file + "\", which no run writes";
        ok = false;
      }
    }
    if (sub >= 0) close(sub);
    if (!ok) {
      if (!listed) *why = "\"" + name + "\" in it cannot be read";
      return false;
    }
    subfolders->emplace_back(name, files);
  }
  return true;
}

// Removes one folder and says in `log` what became of it.
void RemoveAndSay(const std::string& folder, std::vector<std::string>* log) {
  std::string why;
  if (RemoveFolder(folder, &why))
    log->push_back("removed the filler folder " + folder + " of an earlier run");
  else
    log->push_back("left alone: " + folder + " (" + why + ")");
}

}  // namespace

std::string FolderTemplate(const std::string& root) {
  return root + (!root.empty() && root.back() == '/' ? "" : "/") + kPrefix + "XXXXXX";
}

std::string SubfolderName(int folderIndex) {
  return "/" + std::to_string(folderIndex);
}

std::string FileName(int fileIndex) {
  return "/" + std::string(kFileStem) + std::to_string(fileIndex) + kFileSuffix;
}

bool IsFolderName(const std::string& name) {
  const size_t prefix = strlen(kPrefix);
  if (name.size() != prefix + 6 || name.compare(0, prefix, kPrefix) != 0) return false;
  for (size_t i = prefix; i < name.size(); ++i)
    if (!isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool RemoveFolder(const std::string& folder, std::string* why) {
  const size_t slash = folder.rfind('/');
  const std::string parent = slash == std::string::npos || slash == 0 ? "/" : folder.substr(0, slash);
  const std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  if (!IsFolderName(name)) {
    *why = "its name is not a filler folder's";
    return false;
  }
  const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int fd = parentFd >= 0 ? OpenFolderAt(parentFd, name) : -1;
  if (fd < 0) {
    *why = std::string("it cannot be opened: ") + strerror(errno);
    if (parentFd >= 0) close(parentFd);
    return false;
  }
  // Checked whole before anything goes: a folder that is not all filler
  // loses nothing.
  std::vector<std::pair<std::string, std::vector<std::string>>> subfolders;
  bool ok = CheckContent(fd, &subfolders, why);
  for (size_t i = 0; ok && i < subfolders.size(); ++i) {
    const int sub = OpenFolderAt(fd, subfolders[i].first);
    for (const auto& file : subfolders[i].second)
      if (sub < 0 || (unlinkat(sub, file.c_str(), 0) != 0 && errno != ENOENT)) ok = false;
    if (sub >= 0) close(sub);
    if (!ok || (unlinkat(fd, subfolders[i].first.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)) {
      *why = "\"" + subfolders[i].first + "\" in it could not be removed: " + strerror(errno);
      ok = false;
    }
  }
  close(fd);
  if (ok && unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0) {
    *why = std::string("it could not be removed: ") + strerror(errno);
    ok = false;
  }
  close(parentFd);
  return ok;
}

std::vector<std::string> RemoveLeftovers(const std::string& root) {
  std::vector<std::string> log;
  DIR* dir = opendir(root.c_str());
  if (!dir) return log;
  std::vector<std::string> found;
  while (dirent* e = readdir(dir))
    if (IsFolderName(e->d_name)) found.push_back(e->d_name);
  closedir(dir);
  for (const auto& name : found) {
    const std::string folder = (root.back() == '/' ? root : root + "/") + name;
    struct stat st;
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !platform::FolderOfLiveProcess(folder))
      RemoveAndSay(folder, &log);
  }
  return log;
}

void CleanUpAfterEarlierRuns() {
  platform::LeftoverHandlers handlers;
  handlers.leftFolder = RemoveAndSay;
  handlers.beforeUnmount = [](const std::string& mountPoint, std::vector<std::string>* log) {
    for (auto& line : RemoveLeftovers(mountPoint)) log->push_back(std::move(line));
  };
  for (const auto& line : platform::ReleaseLeftovers(handlers)) LogInfo("Left by an earlier run: %s", line.c_str());
}

}  // namespace filler
