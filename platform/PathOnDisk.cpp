#include "PathOnDisk.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <vector>

#include "MountTable.h"

namespace platform {

namespace {

bool ReadDeviceNumber(const std::string& file, dev_t* out) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  unsigned major = 0, minor = 0;
  if (sscanf(text.c_str(), "%u:%u", &major, &minor) != 2) return false;
  *out = makedev(major, minor);
  return true;
}

// Adds the devices stacked on `node` (device mapper, md...), and theirs, as
// sysfs lists them under holders/.
void AddHolders(dev_t node, std::set<dev_t>& nodes, int depth = 0) {
  if (depth > 8) return;
  const std::string holders =
      "/sys/dev/block/" + std::to_string(major(node)) + ":" + std::to_string(minor(node)) + "/holders";
  DIR* dir = opendir(holders.c_str());
  if (!dir) return;
  std::vector<dev_t> found;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    dev_t held = 0;
    if (ReadDeviceNumber("/sys/class/block/" + std::string(e->d_name) + "/dev", &held)) found.push_back(held);
  }
  closedir(dir);
  for (dev_t d : found)
    if (nodes.insert(d).second) AddHolders(d, nodes, depth + 1);
}

}  // namespace

bool PathLiesOnDisk(const std::string& path, const DiskEntry& disk) {
  struct stat where;
  if (stat(path.c_str(), &where) != 0) return true;

  // Every block node that presents some of the disk's bytes.
  std::set<dev_t> nodes;
  std::vector<std::string> wholeNodes;
  VolumeLocation image;
  if (disk.isImageFile) {
    image.imagePath = disk.path;
    image.byteLength = disk.sectorCount * static_cast<uint64_t>(disk.sectorSize);
    for (const LoopInfo& loop : LoopsOverWindow(image)) {
      nodes.insert(loop.rdev);
      wholeNodes.push_back(loop.path);
    }
  } else {
    struct stat node;
    if (stat(disk.path.c_str(), &node) != 0) return true;
    if (S_ISBLK(node.st_mode)) nodes.insert(node.st_rdev);
    wholeNodes.push_back(disk.path);
  }
  for (const std::string& whole : wholeNodes)
    for (const PartitionNode& part : PartitionNodesOf(whole)) nodes.insert(part.rdev);
  for (dev_t d : std::set<dev_t>(nodes)) AddHolders(d, nodes);
  if (nodes.count(where.st_dev)) return true;

  // A FUSE mount names no device: its daemon's open nodes (or image) tell.
  for (const MountEntry& m : ReadMountTable()) {
    if (makedev(m.major, m.minor) != where.st_dev || !m.IsFuse()) continue;
    const auto daemons = FuseDaemonDevices();
    const auto held = daemons.find(m.minor);
    if (held != daemons.end())
      for (dev_t d : held->second)
        if (nodes.count(d)) return true;
    if (disk.isImageFile && FuseDaemonHoldsVolume(image)) return true;
  }
  return false;
}

}  // namespace platform
