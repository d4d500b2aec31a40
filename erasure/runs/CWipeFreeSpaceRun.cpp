#include "CWipeFreeSpaceRun.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "ByteOrder.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "FillerFolders.h"
#include "OwnerRecords.h"
#include "RunLog.h"
#include "VolumeMount.h"
#include "VolumeState.h"

namespace {

// The smallest filler write: one sector, no cluster is smaller.
constexpr size_t kLastPieceBytes = 512;

// Reports progress every this many bytes of a pass.
constexpr uint64_t kReportStep = 20u << 20;

// The errors drivers answer a write or an open on a full volume with: the
// kernel's ENOSPC, and EPERM (fusefat), EFBIG or EDQUOT from others.
bool MayMeanFull(int error) {
  return error == ENOSPC || error == EPERM || error == EFBIG || error == EDQUOT;
}

// ntfs-3g shows a file's NTFS attributes as this attribute (big-endian);
// a new file or folder inherits the compressed bit of its folder.
constexpr const char* kNtfsAttrib = "system.ntfs_attrib_be";
constexpr uint32_t kNtfsCompressed = 0x800;

// Switches compression off for the filler where the file system allows it
// (the no-compression flag, which folders hand down; the NTFS compressed
// attribute). False when the file or folder stays compressed: 0xFF bytes
// would then take next to no space and the free space would stay as it was.
// The NTFS attributes of an ntfs-3g file; false on other file systems.
bool ReadNtfsAttrib(int fd, uint32_t* attrib) {
  uint8_t be[4];
  if (fgetxattr(fd, kNtfsAttrib, be, sizeof be) != static_cast<ssize_t>(sizeof be)) return false;
  *attrib = ReadBE32(be);
  return true;
}

bool AvoidCompression(int fd) {
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    const int wanted = (flags & ~FS_COMPR_FL) | FS_NOCOMP_FL;
    if (wanted != flags) ioctl(fd, FS_IOC_SETFLAGS, &wanted);
  }
  uint32_t attrib = 0;
  if (!ReadNtfsAttrib(fd, &attrib) || (attrib & kNtfsCompressed) == 0) return true;
  attrib &= ~kNtfsCompressed;
  const unsigned char be[4] = {static_cast<unsigned char>(attrib >> 24), static_cast<unsigned char>(attrib >> 16),
                               static_cast<unsigned char>(attrib >> 8), static_cast<unsigned char>(attrib)};
  if (fsetxattr(fd, kNtfsAttrib, be, sizeof be, 0) != 0) return false;
  return ReadNtfsAttrib(fd, &attrib) && (attrib & kNtfsCompressed) == 0;
}

bool AvoidCompression(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = AvoidCompression(fd);
  close(fd);
  return ok;
}

}  // namespace

CWipeFreeSpaceRun::CWipeFreeSpaceRun()
    : CEraseRun(ERASE_MODE_FREESPACE),
      m_writer([](int, int fd, const void* buffer, size_t length) { return ::write(fd, buffer, length); }) {}

CWipeFreeSpaceRun::~CWipeFreeSpaceRun() {
  Join();
}

void CWipeFreeSpaceRun::SetVolume(char letter, EFileSystemType type) {
  m_letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
  m_type = type;
}

void CWipeFreeSpaceRun::ExpectIdentity(const platform::VolumeExpectation& expect) {
  m_expect = expect;
  m_hasExpect = true;
}

void CWipeFreeSpaceRun::SetFillerLayout(uint64_t fileBytes, int filesPerFolder) {
  m_fileBytes = fileBytes > 0 ? fileBytes : kFileBytes;
  m_filesPerFolder = filesPerFolder > 0 ? filesPerFolder : kFilesPerFolder;
}

std::string CWipeFreeSpaceRun::HistoryText() const {
  const std::string text = "Wiped free space of partition " + VolumeHistoryName(m_letter);
  switch (Result()) {
    case ERASE_FREESPACE_SCRUB_SKIPPED_BUSY:
      return text + "; traces of deleted files not scrubbed: the partition was in use";
    case ERASE_FREESPACE_NAMES_NOT_SCRUBBED:
      return text + "; names of deleted files not scrubbed on this file system";
    default:
      return text;
  }
}

std::vector<EraseItem> CWipeFreeSpaceRun::HistoryRows() const {
  EraseItem row;
  row.path = HistoryText();
  // The free space of a file system without a scrub was wiped whole: its
  // row is a success, its text says what was not done.
  row.result = EraseResultSucceeded(Mode(), Result()) ? ERASE_COMPLETED : Result();
  return {row};
}

std::string CWipeFreeSpaceRun::LogName() const {
  return std::string("WipeUnusedspace on partition ") + m_letter;
}

int CWipeFreeSpaceRun::Execute() {
  const int result = Wipe();
  LogInfo("WipeUnusedspace on partition %c: %s", m_letter, ScrubOutcomeText(m_scrub.outcome));
  return result;
}

int CWipeFreeSpaceRun::Wipe() {
  m_scrub = ScrubReport();
  m_freeBytes = 0;
  m_freeKnown = true;
  m_fillResult = -1;
  m_passBytes.clear();
  m_mountPoint.clear();
  m_folder.clear();
  // What killed or crashed runs left behind goes before anything else.
  filler::CleanUpAfterEarlierRuns();
  platform::LetteredVolume volume;
  if (!platform::GetLetteredVolume(m_letter, &volume))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, "no volume has the letter");
  std::string why;
  if (m_hasExpect && !platform::VerifyVolumeIdentity(m_letter, m_expect, &why))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, "the volume is not the one listed: " + why);
  LogInfo("Wipe Unusedspace on partiton %c, fs=%d", m_letter, static_cast<int>(m_type));
  // A read-only volume (mount or device) is neither scrubbed nor filled.
  const std::string readOnly = platform::ReadOnlyUseOfVolume(volume);
  if (!readOnly.empty()) return Fail(ERASE_FREESPACE_ACCESS_DENIED, "the volume is read-only: " + readOnly);
  IFreeSpaceObserver* observer = Observer();
  if (observer) observer->Started();
  if (!IsCancelled()) {
    ScrubOptions options;
    options.multiExtent = m_multiExtent;
    options.expect = m_hasExpect ? &m_expect : nullptr;
    options.cancel = &CancelFlag();
    m_scrub = ScrubDeletedRecords(m_letter, m_type, options);
    if (m_scrub.outcome == EScrubOutcome::RefusedReadOnly)
      return Fail(ERASE_FREESPACE_ACCESS_DENIED, "the volume is read-only");
    if (!ScrubComplete(m_scrub)) LogError("WipeUnusedspace failed. (%s)", ScrubOutcomeText(m_scrub.outcome));
  }
  if (observer) observer->Started();
  if (IsCancelled()) return Fail(ERASE_FREESPACE_CANCELLED, "cancelled");

  platform::OnDemandMount mount;
  int error = 0;
  if (!mount.Mount(m_letter, &error))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, std::string("the volume cannot be mounted: ") + strerror(error));
  m_mountPoint = mount.MountPoint();
  // The mount must be the volume's, not the folder beneath a mount that
  // failed to come back.
  if (!platform::IsPathOnVolume(m_letter, m_mountPoint))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, m_mountPoint + " is not on the volume");
  // Filler that an earlier run left on the volume goes before the free
  // space is measured. (The volume is first mounted here: a FUSE mount
  // before the scrub would change the volume the scrub checks.)
  for (const auto& line : filler::RemoveLeftovers(m_mountPoint))
    LogInfo("WipeUnusedspace on partition %c: %s", m_letter, line.c_str());
  platform::MountSpace space;
  if (!platform::GetMountSpace(m_mountPoint, &space))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, "the free space of " + m_mountPoint + " is unknown");
  m_freeBytes = space.fillableBytes;
  m_freeKnown = space.known;
  if (space.readOnly) return Fail(ERASE_FREESPACE_ACCESS_DENIED, "the volume is mounted read-only");
  if (!m_freeKnown) {
    // The file system does not say: the volume's size bounds each pass,
    // and the full volume ends it.
    m_freeBytes = volume.sectorCount * static_cast<uint64_t>(volume.diskSectorSize);
    LogInfo("WipeUnusedspace: %s reports no free space; each pass is bounded by the volume size", m_mountPoint.c_str());
  }
  if (m_freeBytes == 0) return Fail(ERASE_FREESPACE_NONE_FOUND, "the volume has no free space");
  if (m_hasExpect && !platform::VerifyVolumeIdentity(m_letter, m_expect, &why))
    return Fail(ERASE_FREESPACE_OPEN_FAILED, "the volume is not the one listed: " + why);

  // The run's own folder, with a name no one else uses.
  std::string pattern = filler::FolderTemplate(m_mountPoint);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    const int e = errno;
    return Fail(e == EROFS || e == EACCES || e == EPERM ? ERASE_FREESPACE_ACCESS_DENIED : ERASE_FREESPACE_NONE_FOUND,
                std::string("the filler folder cannot be created: ") + strerror(e));
  }
  m_folder = name.data();
  platform::RecordOwnFolder(m_folder);
  int result = ERASE_COMPLETED;
  if (!platform::IsPathOnVolume(m_letter, m_folder)) {
    result = Fail(ERASE_FREESPACE_OPEN_FAILED, m_folder + " is not on the volume");
  } else if (!AvoidCompression(m_folder)) {
    result = Fail(ERASE_FREESPACE_WRITE_FAILED, m_folder + " stays compressed");
  } else {
    m_buffer.assign(kChunkBytes, static_cast<char>(0xFF));
    LogInfo("WipeUnusedspace erase times = %d.", Passes());
    for (int pass = 0; pass < Passes() && result == ERASE_COMPLETED; ++pass) {
      result = FillPass(pass);
      // The filler reaches the disk before it goes (never a forced unmount).
      if (!platform::SyncVolume(m_mountPoint, volume) && result == ERASE_COMPLETED)
        result = ERASE_FREESPACE_WRITE_FAILED;
      // Removed at the end of every pass, cancel and failure included.
      if (!RemoveFiller() && result == ERASE_COMPLETED) result = ERASE_FREESPACE_WRITE_FAILED;
      if (!platform::SyncVolume(m_mountPoint, volume) && result == ERASE_COMPLETED)
        result = ERASE_FREESPACE_WRITE_FAILED;
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
  }
  if (rmdir(m_folder.c_str()) == 0 || errno == ENOENT)
    platform::ForgetOwnFolder(m_folder);
  else
    LogError("WipeUnusedspace: %s stays (%s)", m_folder.c_str(), strerror(errno));
  platform::SyncVolume(m_mountPoint, volume);
  if (!mount.Unmount()) LogError("WipeUnusedspace: %s could not be unmounted", m_mountPoint.c_str());
  m_fillResult = result;
  if (result == ERASE_COMPLETED && m_scrub.outcome == EScrubOutcome::SkippedBusy && m_scrub.remounted)
    return Fail(ERASE_FREESPACE_SCRUB_SKIPPED_BUSY, ScrubOutcomeText(m_scrub.outcome));
  if (result == ERASE_COMPLETED && !ScrubComplete(m_scrub))
    return Fail(ERASE_FREESPACE_WRITE_FAILED, ScrubOutcomeText(m_scrub.outcome));
  if (result == ERASE_COMPLETED && m_scrub.outcome == EScrubOutcome::NotApplicable) {
    LogInfo("WipeUnusedspace on partition %c: the names of deleted files are not scrubbed on this file system",
            m_letter);
    return ERASE_FREESPACE_NAMES_NOT_SCRUBBED;
  }
  if (result == ERASE_FREESPACE_CANCELLED) return Fail(result, "cancelled");
  if (result != ERASE_COMPLETED && Message().empty()) return Fail(result, "the filler could not be written or removed");
  return result;
}

int CWipeFreeSpaceRun::FillPass(int pass) {
  m_passBytes.push_back(0);
  uint64_t& written = m_passBytes.back();
  Report(pass, 0);
  std::string subfolder;
  for (int index = 0; written < m_freeBytes; ++index) {
    if (IsCancelled()) return ERASE_FREESPACE_CANCELLED;
    if (index % m_filesPerFolder == 0) {
      subfolder = m_folder + filler::SubfolderName(index / m_filesPerFolder);
      if (mkdir(subfolder.c_str(), 0700) != 0) {
        const int e = errno;
        if (VolumeFull(e, written)) break;  // full: not even a folder entry fits
        LogError("WipeUnusedspace: mkdir %s failed (%s)", subfolder.c_str(), strerror(e));
        return ERASE_FREESPACE_WRITE_FAILED;
      }
      m_createdFolders.push_back(subfolder);
    }
    const std::string file = filler::FileName(index);
    const uint64_t limit = std::min<uint64_t>(m_fileBytes, m_freeBytes - written);
    int error = 0;
    uint64_t fileBytes = 0;
    const bool ok = WriteFillerFile(pass, subfolder + file, limit, &fileBytes, &error);
    written += fileBytes;
    if (!ok) {
      if (error == ECANCELED) return ERASE_FREESPACE_CANCELLED;
      if (VolumeFull(error, written)) break;
      LogError("CreateTempFile failed with %d", error);
      return ERASE_FREESPACE_WRITE_FAILED;
    }
    if (fileBytes < limit && error != EFBIG) break;
  }
  Report(pass, written);
  LogInfo("WipeUnusedspace: pass %d wrote %" PRIu64 " of %" PRIu64 " free bytes", pass + 1, written, m_freeBytes);
  return IsCancelled() ? ERASE_FREESPACE_CANCELLED : ERASE_COMPLETED;
}

bool CWipeFreeSpaceRun::WriteFillerFile(int pass, const std::string& path, uint64_t limit, uint64_t* written,
                                        int* error) {
  *written = 0;
  *error = 0;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  m_createdFiles.push_back(path);
  size_t chunk = kChunkBytes;
  bool ok = AvoidCompression(fd);
  if (!ok) {
    LogError("WipeUnusedspace: %s stays compressed", path.c_str());
    *error = EIO;
  }
  while (ok && *written < limit) {
    if (IsCancelled()) {
      *error = ECANCELED;
      ok = false;
      break;
    }
    const size_t length = static_cast<size_t>(std::min<uint64_t>(chunk, limit - *written));
    const ssize_t r = m_writer(pass, fd, m_buffer.data(), length);
    if (r > 0) {
      const uint64_t before = m_passBytes.back() + *written;
      *written += static_cast<uint64_t>(r);
      if ((before + static_cast<uint64_t>(r)) / kReportStep != before / kReportStep)
        Report(pass, before + static_cast<uint64_t>(r));
      continue;
    }
    const int e = r < 0 ? errno : ENOSPC;
    if (e == EINTR) continue;
    if (MayMeanFull(e) && chunk > kLastPieceBytes) {
      // The last free space: writes of half the size each time, through
      // the cluster size (a power of two) down to one sector, until not
      // even that fits: the last free cluster is written too.
      chunk = std::max<size_t>(chunk / 2, kLastPieceBytes);
      continue;
    }
    if (e == EFBIG && !VolumeFull(e, m_passBytes.back() + *written)) {
      // The file system's largest file: go on with the next.
      *error = EFBIG;
      break;
    }
    *error = e;
    ok = false;
    break;
  }
  if (fsync(fd) != 0 && ok && errno != EINVAL && errno != ENOSYS) {
    *error = errno;
    ok = false;
  }
  if (close(fd) != 0 && ok && errno != EINTR) {
    *error = errno;
    ok = false;
  }
  return ok;
}

bool CWipeFreeSpaceRun::VolumeFull(int error, uint64_t passWritten) const {
  if (passWritten >= m_freeBytes) return true;
  // A mount that went away says nothing of the volume.
  platform::MountSpace space;
  if (!platform::IsPathOnVolume(m_letter, m_mountPoint) || !platform::GetMountSpace(m_mountPoint, &space)) return false;
  // A file system that reports no free space tells a full volume only by
  // the error its driver answers.
  if (!space.known) return MayMeanFull(error);
  return space.fillableBytes < space.blockBytes;
}

bool CWipeFreeSpaceRun::RemoveFiller() {
  bool ok = true;
  bool missing = false;  // some were not found
  for (auto it = m_createdFiles.rbegin(); it != m_createdFiles.rend(); ++it)
    if (unlink(it->c_str()) != 0) {
      if (errno == ENOENT) {
        missing = true;
        continue;
      }
      LogError("WipeUnusedspace: %s stays (%s)", it->c_str(), strerror(errno));
      ok = false;
    }
  for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it)
    if (rmdir(it->c_str()) != 0) {
      if (errno == ENOENT) {
        missing = true;
        continue;
      }
      LogError("WipeUnusedspace: %s stays (%s)", it->c_str(), strerror(errno));
      ok = false;
    }
  // A file not found is gone only while the volume is still mounted where
  // the run put it: beneath a vanished mount the filler is still on the
  // volume.
  if (missing && !platform::IsPathOnVolume(m_letter, m_mountPoint)) {
    LogError("WipeUnusedspace: %s is no longer the volume's mount; the filler may still be on it",
             m_mountPoint.c_str());
    ok = false;
  }
  m_createdFiles.clear();
  m_createdFolders.clear();
  return ok;
}

void CWipeFreeSpaceRun::Report(int pass, uint64_t written) {
  if (IFreeSpaceObserver* observer = Observer()) observer->Progress(pass, written, m_freeBytes);
}
