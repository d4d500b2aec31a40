#include "DriveLetters.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <optional>

#include "MountTable.h"
#include "RunLog.h"

namespace platform {

namespace {

struct LetterSlot {
  VolumeRegistration volume;
};

struct Registry {
  std::mutex lock;
  std::array<std::optional<LetterSlot>, 26> slots;  // 'A' + index
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

int IndexOf(char letter) {
  char upper = static_cast<char>(toupper(static_cast<unsigned char>(letter)));
  return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

// Whether the volume holds "/": one of its nodes carries the root mount.
bool HoldsRoot(const VolumeLocation& where) {
  std::set<dev_t> nodes = VolumeNodes(where);
  if (nodes.empty()) return false;
  for (const auto& m : ReadMountTable())
    if (m.mountPoint == "/" && nodes.count(makedev(m.major, m.minor))) return true;
  struct stat st;
  return stat("/", &st) == 0 && nodes.count(st.st_dev) != 0;
}

bool FindDisk(const DiskIdentity& identity, const std::vector<DiskEntry>& disks, DiskEntry* out) {
  for (const auto& d : disks)
    if (d.identity == identity) {
      if (out) *out = d;
      return true;
    }
  return false;
}

uint64_t BlockDeviceBytes(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  uint64_t bytes = 0;
  if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) bytes = 0;
  close(fd);
  return bytes;
}

bool SameLocation(const VolumeLocation& a, const VolumeLocation& b) {
  if (!a.devicePath.empty() || !b.devicePath.empty()) return a.devicePath == b.devicePath;
  return a.imagePath == b.imagePath && a.byteOffset == b.byteOffset && a.byteLength == b.byteLength;
}

}  // namespace

char AssignDriveLetter(const VolumeRegistration& volume) {
  const bool root = HoldsRoot(volume.location);
  const std::vector<DiskEntry> disks = ListDisks();
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (int i = 0; i < 26; ++i) {
    auto& slot = r.slots[i];
    if (!slot || slot->volume.disk != volume.disk || slot->volume.startSector != volume.startSector) continue;
    VolumeFsKind kind = volume.fsKind == VolumeFsKind::Unknown ? slot->volume.fsKind : volume.fsKind;
    slot->volume = volume;
    slot->volume.fsKind = kind;
    return static_cast<char>('A' + i);
  }
  int index = -1;
  if (root && !r.slots['C' - 'A']) index = 'C' - 'A';
  for (int i = 'D' - 'A'; i < 26 && index < 0; ++i)
    if (!r.slots[i]) index = i;
  // All taken: a volume whose disk is gone gives up its letter.
  for (int i = 'D' - 'A'; i < 26 && index < 0; ++i)
    if (!FindDisk(r.slots[i]->volume.disk, disks, nullptr)) index = i;
  if (index < 0) {
    LogInfo("Drive letters: none left for the volume at sector %llu of %s",
            static_cast<unsigned long long>(volume.startSector), volume.disk.ToString().c_str());
    return 0;
  }
  r.slots[index] = LetterSlot{volume};
  return static_cast<char>('A' + index);
}

char AssignDriveLetter(const DiskIdentity& disk, uint64_t startSector, const VolumeLocation& where) {
  VolumeRegistration reg;
  reg.disk = disk;
  reg.startSector = startSector;
  reg.location = where;
  DiskEntry entry;
  int sectorSize = where.sectorSize > 0 ? where.sectorSize : 512;
  if (FindDisk(disk, ListDisks(), &entry)) sectorSize = entry.sectorSize;
  uint64_t bytes = where.devicePath.empty() ? where.byteLength : BlockDeviceBytes(where.devicePath);
  reg.sectorCount = bytes / static_cast<uint64_t>(sectorSize);
  return AssignDriveLetter(reg);
}

std::vector<char> AssignDriveLetters(const std::vector<VolumeRegistration>& volumes) {
  const std::vector<DiskEntry> disks = ListDisks();
  std::vector<size_t> order(volumes.size());
  std::vector<int> diskNumber(volumes.size(), kMaxDisks);
  for (size_t i = 0; i < volumes.size(); ++i) {
    order[i] = i;
    DiskEntry entry;
    if (FindDisk(volumes[i].disk, disks, &entry)) diskNumber[i] = entry.number;
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (diskNumber[a] != diskNumber[b]) return diskNumber[a] < diskNumber[b];
    return volumes[a].startSector < volumes[b].startSector;
  });
  std::vector<char> letters(volumes.size(), 0);
  for (size_t i : order) letters[i] = AssignDriveLetter(volumes[i]);
  return letters;
}

bool LocateVolume(int diskNumber, uint64_t startSector, uint64_t sectorCount, VolumeLocation* out) {
  DiskEntry entry;
  if (!GetDiskEntry(diskNumber, &entry) || sectorCount == 0) return false;
  if (startSector > entry.sectorCount || sectorCount > entry.sectorCount - startSector) return false;
  const uint64_t ss = static_cast<uint64_t>(entry.sectorSize);
  VolumeLocation where;
  where.sectorSize = entry.sectorSize;
  if (!entry.isImageFile) {
    for (const auto& part : PartitionNodesOf(entry.path)) {
      if (part.startByte != startSector * ss || part.byteLength != sectorCount * ss) continue;
      struct stat st;
      if (stat(part.path.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == part.rdev) {
        where.devicePath = part.path;
        where.byteLength = sectorCount * ss;
        *out = where;
        return true;
      }
    }
  }
  where.imagePath = entry.path;
  where.byteOffset = startSector * ss;
  where.byteLength = sectorCount * ss;
  *out = where;
  return true;
}

char RegisterVolume(int diskNumber, uint64_t startSector, uint64_t sectorCount, VolumeFsKind fsKind) {
  DiskEntry entry;
  VolumeRegistration reg;
  if (!GetDiskEntry(diskNumber, &entry) || !LocateVolume(diskNumber, startSector, sectorCount, &reg.location)) return 0;
  reg.disk = entry.identity;
  reg.startSector = startSector;
  reg.sectorCount = sectorCount;
  reg.fsKind = fsKind;
  return AssignDriveLetter(reg);
}

namespace {

bool LookUp(char letter, bool withMounts, LetteredVolume* out) {
  int index = IndexOf(letter);
  if (index < 0) return false;
  VolumeRegistration volume;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (!r.slots[index]) return false;
    volume = r.slots[index]->volume;
  }
  DiskEntry entry;
  if (!FindDisk(volume.disk, ListDisks(), &entry)) return false;
  LetteredVolume v;
  v.letter = static_cast<char>('A' + index);
  v.disk = volume.disk;
  v.diskNumber = entry.number;
  v.diskPath = entry.path;
  v.diskSectorSize = entry.sectorSize;
  v.startSector = volume.startSector;
  v.sectorCount = volume.sectorCount;
  v.location = volume.location;
  if (v.location.sectorSize == 0) v.location.sectorSize = entry.sectorSize;
  v.fsKind = volume.fsKind;
  if (withMounts)
    for (const auto& m : MountsOfVolume(v.location)) v.mountPoints.push_back(m.mountPoint);
  *out = v;
  return true;
}

}  // namespace

bool GetLetteredVolume(char letter, LetteredVolume* out) {
  return LookUp(letter, true, out);
}

std::vector<LetteredVolume> ListLetteredVolumes() {
  std::vector<LetteredVolume> out;
  for (char c = 'A'; c <= 'Z'; ++c) {
    LetteredVolume v;
    if (GetLetteredVolume(c, &v)) out.push_back(v);
  }
  return out;
}

char FindLetterOfLocation(const VolumeLocation& where) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (int i = 0; i < 26; ++i)
    if (r.slots[i] && SameLocation(r.slots[i]->volume.location, where)) return static_cast<char>('A' + i);
  return 0;
}

bool ResolveDriveLetter(char letter, VolumeLocation* out) {
  LetteredVolume v;
  if (!LookUp(letter, false, &v)) return false;
  *out = v.location;
  return true;
}

std::string DescribeVolume(const LetteredVolume& v) {
  std::string text = std::string(1, v.letter) + ": ";
  if (!v.location.devicePath.empty())
    text += v.location.devicePath;
  else
    text += v.location.imagePath + " at byte " + std::to_string(v.location.byteOffset);
  if (v.mountPoints.empty()) return text + " (not mounted)";
  text += " at " + v.mountPoints.front();
  for (size_t i = 1; i < v.mountPoints.size(); ++i) text += ", " + v.mountPoints[i];
  return text;
}

void ForgetDriveLettersForTest() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (auto& s : r.slots) s.reset();
}

}  // namespace platform
