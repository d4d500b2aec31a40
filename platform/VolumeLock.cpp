#include "VolumeLock.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "DirectWriteRing.h"
#include "MountTable.h"
#include "RunLog.h"
#include "WinError.h"

namespace platform {

struct LockedExtent {
  std::mutex lock;
  bool live = true;
  bool written = false;
  bool isBlock = false;
  int fd = -1;
  // The same node opened O_DIRECT (block devices): aligned writes go
  // through it, past the page cache, as fast as the device takes them.
  int directFd = -1;
  // Batches of writes in flight together on directFd (set up at the first).
  std::unique_ptr<DirectWriteRing> ring;
  DiskIdentity disk;
  uint64_t startSector = 0;
  uint64_t sectorCount = 0;
  uint64_t diskSectorSize = 512;
  uint32_t physicalBlockSize = 0;  // BLKPBSZGET of a block device
  uint64_t base = 0;               // byte offset on fd of the volume's first byte
};

namespace {

// Writes of at least this many bytes go past the page cache.
constexpr size_t kDirectWriteBytes = 2u << 20;

std::mutex g_tableLock;
std::vector<std::shared_ptr<LockedExtent>>& LockedTable() {
  static std::vector<std::shared_ptr<LockedExtent>> table;
  return table;
}

void Unregister(const std::shared_ptr<LockedExtent>& e) {
  std::lock_guard<std::mutex> guard(g_tableLock);
  auto& t = LockedTable();
  t.erase(std::remove(t.begin(), t.end(), e), t.end());
}

// Every locked extent of a disk (by its identity in the table now).
std::vector<std::shared_ptr<LockedExtent>> ExtentsOfDisk(int diskNumber, uint64_t* sectorSize) {
  std::vector<std::shared_ptr<LockedExtent>> out;
  DiskEntry entry;
  if (!GetDiskEntry(diskNumber, &entry)) return out;
  if (sectorSize) *sectorSize = static_cast<uint64_t>(entry.sectorSize);
  std::lock_guard<std::mutex> guard(g_tableLock);
  for (const auto& e : LockedTable())
    if (e->disk == entry.identity) out.push_back(e);
  return out;
}

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

}  // namespace

bool VerifyVolumeIdentity(char letter, const VolumeExpectation& expect, std::string* why) {
  LetteredVolume v;
  if (!GetLetteredVolume(letter, &v)) return Fail(why, "no volume has this letter now");
  if (v.disk != expect.disk) return Fail(why, "the letter belongs to a volume of another disk");
  if (v.startSector != expect.startSector || v.sectorCount != expect.sectorCount)
    return Fail(why, "the volume's start or size changed");
  DiskEntry now;
  if (!ProbeDiskPath(v.diskPath, &now) || now.identity != expect.disk)
    return Fail(why, "the disk node " + v.diskPath + " holds another disk now");
  const uint64_t ss = static_cast<uint64_t>(now.sectorSize);
  if (expect.startSector > now.sectorCount || expect.sectorCount > now.sectorCount - expect.startSector)
    return Fail(why, "the volume does not fit its disk");
  if (!v.location.devicePath.empty()) {
    struct stat st;
    if (stat(v.location.devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
      return Fail(why, v.location.devicePath + " is gone");
    for (const auto& part : PartitionNodesOf(v.diskPath))
      if (part.rdev == st.st_rdev)
        return part.startByte == expect.startSector * ss && part.byteLength == expect.sectorCount * ss
                   ? true
                   : Fail(why, v.location.devicePath + " has another start or size now");
    return Fail(why, v.location.devicePath + " is not a partition of " + v.diskPath);
  }
  if (v.location.imagePath != v.diskPath || v.location.byteOffset != expect.startSector * ss ||
      v.location.byteLength != expect.sectorCount * ss)
    return Fail(why, "the volume's window moved");
  return true;
}

VolumeLock::~VolumeLock() {
  Release();
}

void VolumeLock::Expect(const VolumeExpectation& expect) {
  m_expect = expect;
  m_hasExpect = true;
}

bool VolumeLock::IsLocked() const {
  return m_extent != nullptr;
}

bool VolumeLock::Remount() {
  bool ok = true;
  for (const auto& record : m_unmounted) {
    int error = 0;
    if (!MountVolumeAt(m_volume, record.mountPoint, &record, &error)) {
      LogError("Volume %c: could not mount %s again (%s): errno %d", m_volume.letter, record.mountPoint.c_str(),
               record.fsType.c_str(), error);
      ok = false;
    }
  }
  m_unmounted.clear();
  return ok;
}

bool VolumeLock::Lock(char letter, uint32_t* winError) {
  uint32_t dummy = 0;
  if (!winError) winError = &dummy;
  if (m_extent) Release();
  if (!GetLetteredVolume(letter, &m_volume)) {
    *winError = kWinFileNotFound;
    return false;
  }
  const VolumeLocation& where = m_volume.location;
  std::string why;
  if (m_hasExpect && !VerifyVolumeIdentity(m_volume.letter, m_expect, &why)) {
    LogInfo("Volume %c: lock refused: %s", m_volume.letter, why.c_str());
    *winError = kWinMediaChanged;
    return false;
  }
  // No sync() of the whole machine: each unmount below writes its own file
  // system out, and the node's own cached writes are written once it is
  // open (fsync below), so the lock never waits for other disks' data.

  auto fail = [&](uint32_t code, int fd, const char* what) {
    LogInfo("Volume %c: lock refused: %s", m_volume.letter, what);
    if (fd >= 0) close(fd);
    Remount();
    *winError = code;
    return false;
  };

  // Take every mount away; the first that will not go fails the lock.
  for (const auto& m : MountsOfVolume(where)) {
    int error = 0;
    if (!UnmountEntry(m, &error)) return fail(kWinAccessDenied, -1, "a mount is busy");
    m_unmounted.push_back(RecordOf(m));
    if (IsOwnLoop(m.source)) DetachOwnLoop(m.source);
  }
  if (where.devicePath.empty())
    for (const auto& loop : LoopsOverWindow(where))
      if (IsOwnLoop(loop.path) && MountsOfVolume(where).empty()) DetachOwnLoop(loop.path);

  if (m_hasExpect) {
    // Once more, just before the open for writing.
    if (!VerifyVolumeIdentity(m_volume.letter, m_expect, &why)) return fail(kWinMediaChanged, -1, why.c_str());
  }

  auto extent = std::make_shared<LockedExtent>();
  extent->disk = m_volume.disk;
  extent->startSector = m_volume.startSector;
  extent->sectorCount = m_volume.sectorCount;
  extent->diskSectorSize = static_cast<uint64_t>(m_volume.diskSectorSize);
  const std::string node = where.devicePath.empty() ? where.imagePath : where.devicePath;
  struct stat before;
  if (stat(node.c_str(), &before) != 0) return fail(kWinFileNotFound, -1, "its node is gone");
  extent->isBlock = S_ISBLK(before.st_mode);
  extent->base = where.devicePath.empty() ? where.byteOffset : 0;
  int fd = open(node.c_str(), O_RDWR | O_CLOEXEC | (extent->isBlock ? O_EXCL : 0));
  if (fd < 0) return fail(errno == EBUSY ? kWinAccessDenied : WinErrorFromErrno(errno), -1, "exclusive open failed");
  struct stat after;
  if (fstat(fd, &after) != 0 || after.st_rdev != before.st_rdev || after.st_ino != before.st_ino)
    return fail(kWinMediaChanged, fd, "the node changed while it was opened");
  if (!extent->isBlock) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(kWinAccessDenied, fd, "the image file is locked");
    if (!LoopsOverWindow(where).empty()) return fail(kWinAccessDenied, fd, "a loop device lies over the window");
  }
  // Once more: nothing may mount the volume now, nor hold it through FUSE.
  if (!MountsOfVolume(where).empty()) return fail(kWinAccessDenied, fd, "a mount is still listed");
  for (const auto& m : ReadMountTable())
    if (m.source == node) return fail(kWinAccessDenied, fd, "a mount names the volume");
  if (FuseDaemonHoldsVolume(where)) return fail(kWinAccessDenied, fd, "a FUSE daemon holds the device");

  if (fsync(fd) != 0) return fail(WinErrorFromErrno(errno), fd, "the volume's cached writes cannot be written");
  extent->fd = fd;
  unsigned int physical = 0;
  if (extent->isBlock && ioctl(fd, BLKPBSZGET, &physical) == 0) extent->physicalBlockSize = physical;
  if (extent->isBlock) extent->directFd = open(node.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
  m_extent = extent;
  {
    std::lock_guard<std::mutex> guard(g_tableLock);
    LockedTable().push_back(extent);
  }
  *winError = 0;
  return true;
}

bool VolumeLock::Dismount() {
  if (!m_extent) return false;
  std::lock_guard<std::mutex> guard(m_extent->lock);
  bool ok = fsync(m_extent->fd) == 0;
  if (m_extent->isBlock && ioctl(m_extent->fd, BLKFLSBUF, 0) != 0) ok = false;
  return ok;
}

bool VolumeLock::Release() {
  if (!m_extent) return Remount();
  Unregister(m_extent);
  {
    std::lock_guard<std::mutex> guard(m_extent->lock);
    m_extent->live = false;
    fsync(m_extent->fd);
    if (m_extent->isBlock) ioctl(m_extent->fd, BLKFLSBUF, 0);
    m_extent->ring.reset();
    if (m_extent->directFd >= 0) close(m_extent->directFd);
    m_extent->directFd = -1;
    close(m_extent->fd);  // also drops the flock
    m_extent->fd = -1;
  }
  m_extent.reset();
  return Remount();
}

uint32_t WriteLockedDisk(int diskNumber, uint64_t offset, const void* buffer, size_t length, size_t* written) {
  size_t dummy = 0;
  if (!written) written = &dummy;
  *written = 0;
  if (!buffer || length == 0) return kWinInvalidParameter;
  uint64_t ss = 512;
  std::shared_ptr<LockedExtent> target;
  for (const auto& e : ExtentsOfDisk(diskNumber, &ss)) {
    const uint64_t first = e->startSector * ss, end = first + e->sectorCount * ss;
    if (offset >= first && offset <= end && length <= end - offset) target = e;
  }
  if (!target || offset % ss != 0 || length % ss != 0) return kWinWriteRefused;
  std::lock_guard<std::mutex> guard(target->lock);
  if (!target->live || target->fd < 0) return kWinWriteRefused;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  uint64_t at = target->base + (offset - target->startSector * ss);
  target->written = true;
  // Large writes (the partition wipe's) of whole sectors from a buffer
  // aligned to the sector size go past the page cache; the kernel writes
  // back and drops cached pages of the range first. Smaller ones (a scrub's
  // blocks) go through it: whole aligned pages need no read there, and the
  // kernel merges them on their way to the disk at the flush. Anything the
  // direct descriptor refuses is written the buffered way.
  const bool direct = length >= kDirectWriteBytes && reinterpret_cast<uintptr_t>(buffer) % ss == 0;
  int fd = target->directFd >= 0 && direct ? target->directFd : target->fd;
  while (*written < length) {
    ssize_t n = pwrite(fd, bytes + *written, length - *written, static_cast<off_t>(at + *written));
    if (n < 0 && errno == EINVAL && fd != target->fd) {
      fd = target->fd;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WinErrorFromErrno(errno);
    if (n == 0) return kWinWriteFault;
    *written += static_cast<size_t>(n);
  }
  return 0;
}

namespace {

// The most pieces of a batch in flight at once.
constexpr size_t kBatchDepth = 256;

std::atomic<bool> g_ringAllowed{true};

// One pwrite loop over EINTR and short writes; 0 or the Windows error.
uint32_t WriteAll(int fd, const uint8_t* bytes, size_t length, uint64_t at, size_t* written) {
  while (*written < length) {
    ssize_t n = pwrite(fd, bytes + *written, length - *written, static_cast<off_t>(at + *written));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WinErrorFromErrno(errno);
    if (n == 0) return kWinWriteFault;
    *written += static_cast<size_t>(n);
  }
  return 0;
}

// Writes the pieces through the direct descriptor, up to kBatchDepth in
// flight; a piece the direct path does not take whole (refused, short) is
// written again the buffered way. Called with the extent's lock held.
void WriteDirectBatch(LockedExtent& target, LockedWrite* const* pieces, const uint64_t* at, size_t count) {
  std::vector<DirectWriteRing::Piece> ring(count);
  if (target.directFd >= 0 && g_ringAllowed.load()) {
    if (!target.ring) {
      target.ring = std::make_unique<DirectWriteRing>();
      if (!target.ring->Open(kBatchDepth)) LogInfo("raw writes: no write ring; batches go one write at a time");
    }
    if (target.ring->IsOpen()) {
      for (size_t i = 0; i < count; ++i) {
        ring[i].buffer = pieces[i]->buffer;
        ring[i].length = pieces[i]->length;
        ring[i].at = at[i];
      }
      target.ring->WriteAll(target.directFd, ring.data(), count);
    }
  }
  for (size_t i = 0; i < count; ++i) {
    LockedWrite& w = *pieces[i];
    if (ring[i].result == static_cast<int64_t>(w.length)) {
      w.written = w.length;
      w.error = 0;
      continue;
    }
    w.written = 0;
    w.error = WriteAll(target.fd, static_cast<const uint8_t*>(w.buffer), w.length, at[i], &w.written);
  }
}

}  // namespace

size_t WriteLockedDiskBatch(int diskNumber, LockedWrite* writes, size_t count) {
  uint64_t ss = 512;
  const auto extents = ExtentsOfDisk(diskNumber, &ss);
  // Each piece goes to the locked extent that holds it whole, as in
  // WriteLockedDisk; anything else is refused.
  std::vector<int> owner(count, -1);
  for (size_t i = 0; i < count; ++i) {
    LockedWrite& w = writes[i];
    w.written = 0;
    w.error = kWinInvalidParameter;
    if (!w.buffer || w.length == 0) continue;
    w.error = kWinWriteRefused;
    if (w.offset % ss != 0 || w.length % ss != 0) continue;
    for (size_t x = 0; x < extents.size(); ++x) {
      const uint64_t first = extents[x]->startSector * ss, end = first + extents[x]->sectorCount * ss;
      if (w.offset >= first && w.offset <= end && w.length <= end - w.offset) owner[i] = static_cast<int>(x);
    }
  }
  size_t whole = 0;
  for (size_t x = 0; x < extents.size(); ++x) {
    LockedExtent& e = *extents[x];
    const uint64_t first = e.startSector * ss;
    std::vector<LockedWrite*> direct;
    std::vector<uint64_t> directAt;
    std::vector<size_t> buffered;
    for (size_t i = 0; i < count; ++i) {
      if (owner[i] != static_cast<int>(x)) continue;
      // Only buffers aligned to the sector can go past the page cache.
      if (reinterpret_cast<uintptr_t>(writes[i].buffer) % ss == 0) {
        direct.push_back(&writes[i]);
        directAt.push_back(e.base + (writes[i].offset - first));
      } else {
        buffered.push_back(i);
      }
    }
    if (direct.empty() && buffered.empty()) continue;
    std::lock_guard<std::mutex> guard(e.lock);
    if (!e.live || e.fd < 0) continue;
    e.written = true;
    if (!direct.empty()) WriteDirectBatch(e, direct.data(), directAt.data(), direct.size());
    for (size_t i : buffered) {
      LockedWrite& w = writes[i];
      w.error =
          WriteAll(e.fd, static_cast<const uint8_t*>(w.buffer), w.length, e.base + (w.offset - first), &w.written);
    }
  }
  for (size_t i = 0; i < count; ++i)
    if (writes[i].error == 0) ++whole;
  return whole;
}

void AllowWriteRing(bool allowed) {
  g_ringAllowed.store(allowed);
}

bool FlushLockedDisk(int diskNumber) {
  bool ok = true;
  for (const auto& e : ExtentsOfDisk(diskNumber, nullptr)) {
    std::lock_guard<std::mutex> guard(e->lock);
    if (!e->live || !e->written) continue;
    if (fdatasync(e->fd) != 0) ok = false;
    if (e->isBlock && ioctl(e->fd, BLKFLSBUF, 0) != 0) ok = false;
  }
  return ok;
}

uint32_t LockedDiskBlockSize(int diskNumber) {
  uint32_t size = 0;
  for (const auto& e : ExtentsOfDisk(diskNumber, nullptr)) size = std::max(size, e->physicalBlockSize);
  return size;
}

bool HasLockedVolume(int diskNumber) {
  return !ExtentsOfDisk(diskNumber, nullptr).empty();
}

}  // namespace platform
