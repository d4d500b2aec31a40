#include "MountTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

bool ReadU64(const std::string& path, uint64_t* out) {
  std::string text = ReadLine(path);
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long v = strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  *out = v;
  return true;
}

bool LoopStatus(const std::string& path, LoopInfo* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  loop_info64 info{};
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && ioctl(fd, LOOP_GET_STATUS64, &info) == 0;
  uint64_t size = 0;
  if (ok) ok = ioctl(fd, BLKGETSIZE64, &size) == 0;
  close(fd);
  if (!ok) return false;
  out->path = path;
  out->rdev = st.st_rdev;
  out->backingDev = info.lo_device;
  out->backingIno = info.lo_inode;
  out->offset = info.lo_offset;
  out->sizeLimit = info.lo_sizelimit;
  out->byteSize = size;
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsFuseType(const std::string& fsType) {
  return fsType == "fuse" || fsType == "fuseblk" || fsType.compare(0, 5, "fuse.") == 0;
}

bool MountEntry::IsFuse() const {
  return IsFuseType(fsType);
}

std::string DecodeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> out;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    MountEntry m;
    std::string devno, word;
    if (!(fields >> m.id >> m.parentId >> devno >> m.root >> m.mountPoint >> m.options)) continue;
    if (sscanf(devno.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
    bool separator = false;
    while (fields >> word)
      if (word == "-") {
        separator = true;
        break;
      }
    if (!separator || !(fields >> m.fsType >> m.source)) continue;
    fields >> m.superOptions;
    m.root = DecodeMountField(m.root);
    m.mountPoint = DecodeMountField(m.mountPoint);
    m.source = DecodeMountField(m.source);
    m.fsType = DecodeMountField(m.fsType);
    out.push_back(m);
  }
  return out;
}

std::vector<MountEntry> ReadMountTable() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

std::vector<PartitionNode> PartitionNodesOf(const std::string& diskNodePath) {
  std::vector<PartitionNode> out;
  std::string diskName = BaseName(diskNodePath);
  std::string sys = "/sys/block/" + diskName;
  if (DIR* dir = opendir(sys.c_str())) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name.compare(0, diskName.size(), diskName) != 0 || name == diskName) continue;
      uint64_t start = 0, size = 0;
      if (!ReadU64(sys + "/" + name + "/start", &start) || !ReadU64(sys + "/" + name + "/size", &size)) continue;
      std::string dev = ReadLine(sys + "/" + name + "/dev");
      unsigned ma = 0, mi = 0;
      if (sscanf(dev.c_str(), "%u:%u", &ma, &mi) != 2) continue;
      out.push_back({"/dev/" + name, makedev(ma, mi), start * 512, size * 512});
    }
    closedir(dir);
  }
  return out;
}

std::vector<LoopInfo> ListLoopDevices() {
  std::vector<LoopInfo> out;
  if (DIR* dir = opendir("/sys/block")) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name.compare(0, 4, "loop") != 0) continue;
      struct stat st;
      if (stat(("/sys/block/" + name + "/loop").c_str(), &st) != 0) continue;  // nothing attached
      LoopInfo info;
      if (LoopStatus("/dev/" + name, &info)) out.push_back(info);
    }
    closedir(dir);
  }
  return out;
}

namespace {

struct Window {
  bool valid = false;
  uint64_t dev = 0, ino = 0, offset = 0, length = 0;
};

Window WindowOf(const VolumeLocation& where) {
  Window w;
  if (!where.devicePath.empty() || where.imagePath.empty()) return w;
  struct stat st;
  if (stat(where.imagePath.c_str(), &st) != 0) return w;
  w.valid = true;
  w.dev = st.st_dev;
  w.ino = st.st_ino;
  w.offset = where.byteOffset;
  w.length = where.byteLength;
  return w;
}

uint64_t LoopEnd(const LoopInfo& l) {
  return l.offset + l.byteSize;
}

}  // namespace

std::set<dev_t> VolumeNodes(const VolumeLocation& where) {
  std::set<dev_t> nodes;
  if (!where.devicePath.empty()) {
    struct stat st;
    if (stat(where.devicePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) nodes.insert(st.st_rdev);
    return nodes;
  }
  Window w = WindowOf(where);
  if (!w.valid) return nodes;
  // A file system on a whole disk without a partition table.
  struct stat st;
  if (where.byteOffset == 0 && stat(where.imagePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    int fd = open(where.imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    uint64_t size = 0;
    if (fd >= 0 && ioctl(fd, BLKGETSIZE64, &size) == 0 && size == where.byteLength) nodes.insert(st.st_rdev);
    if (fd >= 0) close(fd);
  }
  for (const auto& loop : ListLoopDevices()) {
    if (loop.backingDev != w.dev || loop.backingIno != w.ino) continue;
    if (loop.offset == w.offset && loop.byteSize == w.length) nodes.insert(loop.rdev);
    for (const auto& part : PartitionNodesOf(loop.path))
      if (loop.offset + part.startByte == w.offset && part.byteLength == w.length) nodes.insert(part.rdev);
  }
  return nodes;
}

std::vector<LoopInfo> LoopsOverWindow(const VolumeLocation& where) {
  std::vector<LoopInfo> out;
  Window w = WindowOf(where);
  if (!w.valid) return out;
  for (const auto& loop : ListLoopDevices())
    if (loop.backingDev == w.dev && loop.backingIno == w.ino && loop.offset < w.offset + w.length &&
        LoopEnd(loop) > w.offset)
      out.push_back(loop);
  return out;
}

namespace {

// What the FUSE daemons hold open: per connection, block nodes and files.
struct FuseHolds {
  std::map<unsigned, std::set<dev_t>> devices;
  std::set<std::pair<uint64_t, uint64_t>> files;  // (st_dev, st_ino)
};

FuseHolds ScanFuseDaemons() {
  FuseHolds out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* p = readdir(proc)) {
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    std::string base = std::string("/proc/") + p->d_name;
    DIR* fds = opendir((base + "/fd").c_str());
    if (!fds) continue;
    std::set<unsigned> connections;
    std::vector<std::string> others;
    while (dirent* f = readdir(fds)) {
      if (f->d_name[0] == '.') continue;
      std::string link = base + "/fd/" + f->d_name;
      char target[256];
      ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      if (std::string(target) == "/dev/fuse") {
        std::ifstream info(base + "/fdinfo/" + f->d_name);
        std::string line;
        while (std::getline(info, line))
          if (line.compare(0, 16, "fuse_connection:") == 0)
            connections.insert(static_cast<unsigned>(atoi(line.c_str() + 16)));
        continue;
      }
      others.push_back(std::move(link));
    }
    closedir(fds);
    // Only a FUSE daemon's other descriptors matter.
    if (connections.empty()) continue;
    std::set<dev_t> devices;
    for (const std::string& link : others) {
      struct stat st;
      if (stat(link.c_str(), &st) != 0) continue;
      if (S_ISBLK(st.st_mode)) devices.insert(st.st_rdev);
      if (S_ISREG(st.st_mode)) out.files.insert({st.st_dev, st.st_ino});
    }
    for (unsigned c : connections) out.devices[c].insert(devices.begin(), devices.end());
  }
  closedir(proc);
  return out;
}

}  // namespace

std::map<unsigned, std::set<dev_t>> FuseDaemonDevices() {
  return ScanFuseDaemons().devices;
}

bool FuseDaemonHoldsVolume(const VolumeLocation& where) {
  std::set<dev_t> nodes = VolumeNodes(where);
  FuseHolds holds = ScanFuseDaemons();
  for (const auto& daemon : holds.devices)
    for (dev_t d : daemon.second)
      if (nodes.count(d)) return true;
  struct stat st;
  if (where.devicePath.empty() && stat(where.imagePath.c_str(), &st) == 0) {
    if (S_ISBLK(st.st_mode)) {
      for (const auto& daemon : holds.devices)
        if (daemon.second.count(st.st_rdev)) return true;
    } else if (holds.files.count({st.st_dev, st.st_ino})) {
      return true;
    }
  }
  return false;
}

std::vector<MountEntry> MountsOfVolume(const VolumeLocation& where, const std::vector<MountEntry>& table) {
  std::vector<MountEntry> out;
  std::set<dev_t> nodes = VolumeNodes(where);
  if (nodes.empty()) return out;
  std::map<unsigned, std::set<dev_t>> daemons;
  bool daemonsRead = false;
  for (const auto& m : table) {
    bool mine = nodes.count(makedev(m.major, m.minor)) != 0;
    if (!mine && m.major == 0 && m.IsFuse()) {
      if (!daemonsRead) {
        daemons = FuseDaemonDevices();
        daemonsRead = true;
      }
      auto it = daemons.find(m.minor);
      if (it != daemons.end())
        for (dev_t d : it->second) mine = mine || nodes.count(d) != 0;
    }
    if (!mine && !m.source.empty() && m.source[0] == '/') {
      struct stat st;
      if (stat(m.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && nodes.count(st.st_rdev)) mine = true;
    }
    if (mine) out.push_back(m);
  }
  return out;
}

std::vector<MountEntry> MountsOfVolume(const VolumeLocation& where) {
  return MountsOfVolume(where, ReadMountTable());
}

}  // namespace platform
