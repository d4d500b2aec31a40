#include "SystemVolumes.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// `path` lies in the folder `dir` or is it.
bool IsUnder(const std::string& path, const std::string& dir) {
  if (dir == "/") return !path.empty() && path[0] == '/';
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
}

}  // namespace

const std::vector<std::string>& SystemMountPoints() {
  static const std::vector<std::string> points = {"/", "/boot", "/boot/efi", "/usr", "/home"};
  return points;
}

std::string SystemUseOf(const std::vector<MountEntry>& volumeMounts, const std::set<dev_t>& nodes,
                        const std::string& swapsText) {
  for (const auto& m : volumeMounts)
    for (const auto& point : SystemMountPoints())
      if (m.mountPoint == point) return "it holds " + point;
  // A system folder on the volume through a mount the table does not tie
  // to it (a kernel mount of another node of the same bytes).
  for (const auto& point : SystemMountPoints()) {
    struct stat st;
    if (stat(point.c_str(), &st) == 0 && nodes.count(st.st_dev)) return "it holds " + point;
  }
  std::istringstream lines(swapsText);
  std::string line;
  bool header = true;
  while (std::getline(lines, line)) {
    if (header) {  // "Filename Type Size Used Priority"
      header = false;
      if (line.compare(0, 8, "Filename") == 0) continue;
    }
    std::istringstream fields(line);
    std::string name, type;
    if (!(fields >> name >> type)) continue;
    name = DecodeMountField(name);
    struct stat st;
    const bool known = stat(name.c_str(), &st) == 0;
    if (type == "partition") {
      if (known && nodes.count(st.st_rdev)) return "it holds the active swap area " + name;
      continue;
    }
    if (known && nodes.count(st.st_dev)) return "it holds the active swap file " + name;
    for (const auto& m : volumeMounts)
      if (IsUnder(name, m.mountPoint)) return "it holds the active swap file " + name;
  }
  return std::string();
}

std::string SystemUseOfVolume(const VolumeLocation& where) {
  return SystemUseOf(MountsOfVolume(where), VolumeNodes(where), ReadWholeFile("/proc/swaps"));
}

}  // namespace platform
