#include "DiskTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>

#include "RunLog.h"

namespace platform {

namespace {

struct Slot {
  DiskEntry entry;
  bool present = false;
};

struct Table {
  std::mutex lock;
  bool scanned = false;
  std::string source;  // the VANTOREL_DISKS value the numbers belong to ("\n" for /sys/block)
  std::array<std::optional<Slot>, kMaxDisks> slots;
};

Table& TheTable() {
  static Table table;
  return table;
}

std::string ReadSysText(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t')) text.pop_back();
  size_t lead = text.find_first_not_of(' ');
  return lead == std::string::npos ? std::string() : text.substr(lead);
}

bool HasPrefixDigit(const std::string& name, const std::string& prefix) {
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

// Whole disks worth listing: sd*, vd*, xvd*, hd*, nvme*n*, mmcblk* and loop
// devices with a backing file. ram, zram, dm-, md and sr never qualify.
bool IsListedKernelDisk(const std::string& name) {
  if (HasPrefixDigit(name, "sd") || HasPrefixDigit(name, "vd") || HasPrefixDigit(name, "xvd") ||
      HasPrefixDigit(name, "hd"))
    return true;
  if (HasPrefixDigit(name, "nvme")) return name.find('n', 4) != std::string::npos;
  if (HasPrefixDigit(name, "mmcblk"))
    return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
  if (HasPrefixDigit(name, "loop")) {
    struct stat st;
    return stat(("/sys/block/" + name + "/loop/backing_file").c_str(), &st) == 0;
  }
  return false;
}

// Name order with digit runs compared as numbers (loop2 before loop10).
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isdigit(static_cast<unsigned char>(a[i])) && isdigit(static_cast<unsigned char>(b[j]))) {
      size_t ie = i, je = j;
      while (ie < a.size() && isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
      while (je < b.size() && isdigit(static_cast<unsigned char>(b[je]))) ++je;
      unsigned long long x = strtoull(a.substr(i, ie - i).c_str(), nullptr, 10);
      unsigned long long y = strtoull(b.substr(j, je - j).c_str(), nullptr, 10);
      if (x != y) return x < y;
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> KernelDiskPaths() {
  std::vector<std::string> names;
  if (DIR* dir = opendir("/sys/block")) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name[0] == '.' || !IsListedKernelDisk(name)) continue;
      if (ReadSysText("/sys/block/" + name + "/size") == "0") continue;  // no medium
      names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  std::vector<std::string> paths;
  for (const auto& n : names) paths.push_back("/dev/" + n);
  return paths;
}

std::vector<std::string> SplitPaths(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t colon = list.find(':', start);
    if (colon == std::string::npos) colon = list.size();
    if (colon > start) out.push_back(list.substr(start, colon - start));
    start = colon + 1;
  }
  return out;
}

std::string ModelOf(const std::string& path, bool isFile) {
  size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (isFile) return base;
  std::string sys = "/sys/block/" + base;
  std::string backing = ReadSysText(sys + "/loop/backing_file");
  if (!backing.empty()) return backing;
  std::string vendor = ReadSysText(sys + "/device/vendor");
  std::string model = ReadSysText(sys + "/device/model");
  if (!vendor.empty() && !model.empty()) return vendor + " " + model;
  return vendor + model;
}

// Numbers the disks found now into the table's slots.
void Rescan(Table& t) {
  const char* env = getenv("VANTOREL_DISKS");
  std::string source = env ? std::string(env) : std::string("\n");
  if (!t.scanned || source != t.source) {
    for (auto& s : t.slots) s.reset();
    t.source = source;
  }
  t.scanned = true;
  for (auto& s : t.slots)
    if (s) s->present = false;

  std::vector<std::string> paths = env ? SplitPaths(env) : KernelDiskPaths();
  for (const auto& path : paths) {
    DiskEntry entry;
    if (!ProbeDiskPath(path, &entry)) {
      LogInfo("Disk table: %s cannot be opened, left out", path.c_str());
      continue;
    }
    int number = -1;
    for (int i = 0; i < kMaxDisks && number < 0; ++i)
      if (t.slots[i] && t.slots[i]->entry.identity == entry.identity && !t.slots[i]->present) number = i;
    for (int i = 0; i < kMaxDisks && number < 0; ++i)
      if (!t.slots[i]) number = i;
    // All numbers taken: an absent disk gives up its number.
    for (int i = 0; i < kMaxDisks && number < 0; ++i)
      if (!t.slots[i]->present) number = i;
    if (number < 0) {
      LogInfo("Disk table: no free number for %s, left out", path.c_str());
      continue;
    }
    entry.number = number;
    t.slots[number] = Slot{entry, true};
  }
}

std::vector<DiskEntry> Present(const Table& t) {
  std::vector<DiskEntry> out;
  for (const auto& s : t.slots)
    if (s && s->present) out.push_back(s->entry);
  return out;
}

}  // namespace

std::string DiskIdentity::ToString() const {
  char buf[96];
  switch (kind) {
    case Kind::BlockDevice:
      snprintf(buf, sizeof buf, "dev %u:%u size %" PRIu64, major(static_cast<dev_t>(first)),
               minor(static_cast<dev_t>(first)), second);
      return buf;
    case Kind::ImageFile:
      snprintf(buf, sizeof buf, "file %u:%u ino %" PRIu64, major(static_cast<dev_t>(first)),
               minor(static_cast<dev_t>(first)), second);
      return buf;
    default:
      return "none";
  }
}

bool ProbeDiskPath(const std::string& path, DiskEntry* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  int ss = 512;
  uint64_t bytes = 0;
  bool isBlock = false;
  bool ok = fstat(fd, &st) == 0 && QueryGeometry(fd, &ss, &bytes, &isBlock);
  close(fd);
  if (!ok) return false;
  out->path = path;
  out->isImageFile = !isBlock;
  out->sectorSize = ss;
  out->sectorCount = bytes / static_cast<uint64_t>(ss);
  out->identity.kind = isBlock ? DiskIdentity::Kind::BlockDevice : DiskIdentity::Kind::ImageFile;
  out->identity.first = isBlock ? static_cast<uint64_t>(st.st_rdev) : static_cast<uint64_t>(st.st_dev);
  out->identity.second = isBlock ? bytes : static_cast<uint64_t>(st.st_ino);
  out->model = ModelOf(path, !isBlock);
  return true;
}

std::vector<DiskEntry> RefreshDiskTable() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  Rescan(t);
  return Present(t);
}

std::vector<DiskEntry> ListDisks() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  const char* env = getenv("VANTOREL_DISKS");
  if (!t.scanned || t.source != (env ? std::string(env) : std::string("\n"))) Rescan(t);
  return Present(t);
}

bool GetDiskEntry(int number, DiskEntry* out) {
  if (number < 0 || number >= kMaxDisks) return false;
  ListDisks();  // makes sure the table exists and matches VANTOREL_DISKS
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  if (!t.slots[number] || !t.slots[number]->present) return false;
  *out = t.slots[number]->entry;
  return true;
}

std::unique_ptr<RawDisk> OpenDisk(int number, int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  DiskEntry entry;
  if (!GetDiskEntry(number, &entry)) {
    *error = ENOENT;
    return nullptr;
  }
  DiskEntry now;
  if (!ProbeDiskPath(entry.path, &now)) {
    *error = ENXIO;
    return nullptr;
  }
  if (now.identity != entry.identity) {
    LogInfo("Disk %d: %s now holds another disk (%s, was %s); not opened", number, entry.path.c_str(),
            now.identity.ToString().c_str(), entry.identity.ToString().c_str());
    *error = ENXIO;
    return nullptr;
  }
  return RawDisk::Open(entry.path, error);
}

}  // namespace platform
