#include "VolumeRoots.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "MountTable.h"

namespace platform {

namespace {

// Cleans an absolute path lexically: no empty or "." names, ".." taken back,
// no trailing slash.
std::string CleanPath(const std::string& path) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string name = path.substr(i, j - i);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& n : names) out += "/" + n;
  return out.empty() ? "/" : out;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return "/" + path;
  return std::string(cwd) + "/" + path;
}

}  // namespace

std::set<std::string> MountPoints() {
  std::set<std::string> points{"/"};
  for (const auto& m : ReadMountTable()) points.insert(m.mountPoint);
  return points;
}

std::string ResolveFolderPart(const std::string& path) {
  std::string raw = Absolute(path);
  // A last name of "." or ".." names a folder through dots: resolve it all.
  std::string trimmed = raw;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.rfind('/');
  std::string last = trimmed.substr(slash + 1);
  if (last == "." || last == "..") {
    char buf[PATH_MAX];
    if (realpath(trimmed.c_str(), buf)) return buf;
    return CleanPath(trimmed);
  }
  std::string clean = CleanPath(raw);
  if (clean == "/") return clean;
  slash = clean.rfind('/');
  std::string folder = slash == 0 ? "/" : clean.substr(0, slash);
  std::string name = clean.substr(slash + 1);
  char buf[PATH_MAX];
  // Resolve the folder from the raw text so that "a/link/../b" follows the
  // link the way the kernel does.
  std::string rawFolder = trimmed.substr(0, trimmed.rfind('/'));
  if (rawFolder.empty()) rawFolder = "/";
  if (realpath(rawFolder.c_str(), buf)) folder = buf;
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool IsVolumeRoot(const std::string& path, const std::set<std::string>& mountPoints) {
  if (path.empty()) return false;
  std::string full = ResolveFolderPart(path);
  if (full == "/") return true;
  struct stat st;
  bool exists = lstat(full.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) return false;
  if (mountPoints.count(full)) return true;
  if (!exists || !S_ISDIR(st.st_mode)) return false;
  std::string parent = full.substr(0, full.rfind('/'));
  if (parent.empty()) parent = "/";
  struct stat pst;
  if (stat(parent.c_str(), &pst) != 0) return false;
  return pst.st_dev != st.st_dev || pst.st_ino == st.st_ino;
}

bool IsVolumeRoot(const std::string& path) {
  return IsVolumeRoot(path, MountPoints());
}

}  // namespace platform
