#include "CWipePartitionRun.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <memory>

#include "CVolumeManager.h"
#include "DiskTable.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "IMountDriverWriter.h"
#include "RunLog.h"
#include "SafeAlloc.h"
#include "SystemVolumes.h"
#include "VolumeFormat.h"
#include "VolumeState.h"
#include "WinError.h"

namespace {

// A buffer of the program's allocator, freed on every way out.
struct Buffer {
  explicit Buffer(uint32_t bytes) : data(AllocBuffer(bytes)), size(bytes) {}
  ~Buffer() { FreeBuffer(data); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  uint8_t* data;
  uint32_t size;
};

// Failed writes are logged one by one up to this many.
constexpr uint64_t kLoggedFailures = 8;

}  // namespace

CWipePartitionRun::CWipePartitionRun()
    : CEraseRun(ERASE_MODE_PARTITION),
      m_formatter([](char letter, const platform::VolumeExpectation& expect, std::string* output) {
        return platform::QuickFormatNtfs(letter, &expect, output);
      }) {}

CWipePartitionRun::~CWipePartitionRun() {
  CancelAndJoin();
}

void CWipePartitionRun::SetParams(int sectorsPerChunk, char driveLetter, int diskNumber, uint64_t startSector,
                                  uint64_t sectorCount, int bytesPerSector, uint64_t endSector) {
  m_letter = driveLetter;
  m_disk = diskNumber;
  m_start = startSector;
  m_count = sectorCount;
  m_end = endSector;
  m_bytesPerSector = bytesPerSector;
  m_sectorsPerWrite = sectorsPerChunk;
  if (m_sectorsPerWrite <= 0 && bytesPerSector > 0) m_sectorsPerWrite = std::max(1, (4 << 20) / bytesPerSector);
  if (!m_hasExpectedDisk) {
    platform::LetteredVolume v;
    if (platform::GetLetteredVolume(driveLetter, &v)) m_expectedDisk = v.disk;
  }
}

void CWipePartitionRun::SetExpectedDisk(const platform::DiskIdentity& disk) {
  m_expectedDisk = disk;
  m_hasExpectedDisk = true;
}

std::vector<EraseItem> CWipePartitionRun::HistoryRows() const {
  EraseItem row;
  row.path = "wipe partition " + VolumeHistoryName(m_letter);
  row.result = Result();
  return {row};
}

std::string CWipePartitionRun::LogName() const {
  return std::string("Wipe of ") + m_letter;
}

int CWipePartitionRun::Execute() {
  m_formatted = false;
  m_failedWrites = 0;
  return Wipe();
}

bool CWipePartitionRun::CheckParams(std::string* why) const {
  if (!CVolumeManager::IsDriveLetter(m_letter)) {
    *why = "the volume has no drive letter";
    return false;
  }
  if (m_disk < 0 || m_disk >= platform::kMaxDisks) {
    *why = "the volume's disk is unknown";
    return false;
  }
  const int bps = m_bytesPerSector;
  if (bps < 512 || bps > 65536 || (bps & (bps - 1)) != 0) {
    *why = "the sector size " + std::to_string(bps) + " is not one a disk has";
    return false;
  }
  if (m_count == 0 || m_start > UINT64_MAX - m_count || m_end != m_start + m_count ||
      m_end > UINT64_MAX / static_cast<uint64_t>(bps)) {
    *why = "the volume's extent is not valid";
    return false;
  }
  if (m_sectorsPerWrite <= 0) {
    *why = "no write size";
    return false;
  }
  return true;
}

int CWipePartitionRun::Wipe() {
  std::string why;
  if (!CheckParams(&why)) return Fail(ERASE_PARTITION_OPEN_FAILED, why);
  if (m_extents > 1)
    return Fail(ERASE_PARTITION_OPEN_FAILED, "the volume spans " + std::to_string(m_extents) +
                                                 " extents; a partition wipe covers one extent only and is refused");
  platform::LetteredVolume volume;
  if (!platform::GetLetteredVolume(m_letter, &volume)) return Fail(ERASE_PARTITION_OPEN_FAILED, "no volume has the letter");
  if (volume.diskNumber != m_disk || volume.diskSectorSize != m_bytesPerSector)
    return Fail(ERASE_PARTITION_OPEN_FAILED, "the letter names a volume of another disk or sector size");
  // Before the lock: a lock would unmount an idle /boot/efi.
  const std::string system = platform::SystemUseOfVolume(volume.location);
  if (!system.empty()) return Fail(ERASE_PARTITION_ACCESS_DENIED, "the system runs from this volume: " + system);
  // Before the lock too: the lock would unmount a read-only mount.
  const std::string readOnly = platform::ReadOnlyUseOfVolume(volume);
  if (!readOnly.empty()) return Fail(ERASE_PARTITION_ACCESS_DENIED, "the volume is read-only: " + readOnly);

  platform::VolumeExpectation expect;
  expect.disk = m_expectedDisk;
  expect.startSector = m_start;
  expect.sectorCount = m_count;
  if (!platform::VerifyVolumeIdentity(m_letter, expect, &why))
    return Fail(ERASE_PARTITION_OPEN_FAILED, "the volume is not the one confirmed: " + why);

  uint32_t error = 0;
  std::unique_ptr<IMountDriverWriter> writer = OpenMountDriver(m_disk, &error);
  if (!writer) return Fail(ERASE_PARTITION_OPEN_FAILED, "the mount-driver writer did not open: error " + std::to_string(error));
  if (writer->GetSectorSize() != m_bytesPerSector)
    return Fail(ERASE_PARTITION_OPEN_FAILED, "the writer's sector size differs from the volume's");

  CVolumeManager manager;
  // The lock checks the identity once more just before its exclusive open.
  manager.ExpectIdentity(expect);
  if (!manager.OpenVolume(m_letter, nullptr))
    return Fail(ERASE_PARTITION_OPEN_FAILED, "the volume did not open: error " + std::to_string(manager.GetLastError()));
  if (!manager.LockVolume()) {
    const uint32_t code = manager.GetLastError();
    return Fail(code == platform::kWinAccessDenied ? ERASE_PARTITION_ACCESS_DENIED : ERASE_PARTITION_LOCK_FAILED,
                "the volume could not be locked: error " + std::to_string(code));
  }

  LogInfo("Wipe Partition erase times = %d.", Passes());
  IWipeObserver* observer = Observer();
  const uint64_t bps = static_cast<uint64_t>(m_bytesPerSector);
  Buffer chunk(static_cast<uint32_t>(kChunkSectors * bps));
  memset(chunk.data, kPattern, chunk.size);
  uint32_t firstError = 0;
  bool cancelled = false;
  for (int pass = 0; pass < Passes() && !cancelled; ++pass) {
    m_pass.store(pass);
    m_sectorsDone.store(0);
    for (uint64_t cur = m_start; cur < m_end;) {
      if (IsCancelled()) {
        cancelled = true;
        break;
      }
      const uint64_t sectors = std::min<uint64_t>(kChunkSectors, m_end - cur);
      if (observer) observer->Progress(pass, cur - m_start, false);
      // One chunk in writes of at most m_sectorsPerWrite sectors; a failed
      // write ends the chunk, the pass goes on with the next one.
      for (uint64_t done = 0; done < sectors;) {
        const uint64_t piece = std::min<uint64_t>(sectors - done, static_cast<uint64_t>(m_sectorsPerWrite));
        const uint64_t got = writer->WriteSectors(chunk.data + done * bps, cur + done, piece);
        if (got != piece) {
          const uint32_t code = writer->LastError() ? writer->LastError() : platform::kWinWriteFault;
          if (!firstError) firstError = code;
          if (m_failedWrites < kLoggedFailures)
            LogError("Wipe of %c: write of %" PRIu64 " sectors at %" PRIu64 " failed: error %u", m_letter, piece,
                     cur + done, code);
          ++m_failedWrites;
          break;
        }
        done += piece;
      }
      cur += sectors;
      m_sectorsDone.store(cur - m_start);
    }
  }

  // What was written must reach the disk before it is read back or counted.
  const bool flushed = platform::FlushLockedDisk(m_disk);
  writer.reset();
  const bool dismounted = manager.DismountVolume();
  bool verified = true;
  std::string verifyWhy;
  if (!cancelled && m_failedWrites == 0 && flushed && dismounted && Verifies())
    verified = VerifyPattern(&cancelled, &verifyWhy);
  // The lock mounts again what it unmounted; a wiped file system no longer
  // mounts, which is no failure of the wipe.
  if (!manager.UnlockVolume()) LogInfo("Wipe of %c: the volume was not mounted again", m_letter);
  if (manager.IsOpen()) manager.CloseVolume();

  if (cancelled) return Fail(ERASE_PARTITION_CANCELLED, "cancelled");
  if (m_failedWrites)
    return Fail(ERASE_PARTITION_WRITE_FAILED, std::to_string(m_failedWrites) + " writes failed, the first with error " +
                                                  std::to_string(firstError));
  if (!flushed || !dismounted) return Fail(ERASE_PARTITION_WRITE_FAILED, "the written data could not be flushed");
  if (!verified) return Fail(ERASE_PARTITION_WRITE_FAILED, verifyWhy);

  if (m_formatter) {
    std::string output;
    if (!m_formatter(m_letter, expect, &output))
      return Fail(ERASE_PARTITION_WRITE_FAILED, "the quick format failed: " + output);
    m_formatted = true;
  }
  return ERASE_COMPLETED;
}

bool CWipePartitionRun::VerifyPattern(bool* cancelled, std::string* why) {
  m_verifying.store(true);
  struct Reset {
    std::atomic<bool>& flag;
    ~Reset() { flag.store(false); }
  } reset{m_verifying};
  int error = 0;
  std::unique_ptr<platform::RawDisk> disk = platform::OpenDisk(m_disk, &error);
  if (!disk) {
    *why = "the disk did not open for the read-back: errno " + std::to_string(error);
    return false;
  }
  const uint64_t bps = static_cast<uint64_t>(m_bytesPerSector);
  Buffer data(static_cast<uint32_t>(kChunkSectors * bps));
  Buffer pattern(data.size);
  memset(pattern.data, kPattern, pattern.size);
  const int lastPass = Passes() - 1;
  IWipeObserver* observer = Observer();
  m_sectorsDone.store(0);
  for (uint64_t cur = m_start; cur < m_end;) {
    if (IsCancelled()) {
      *cancelled = true;
      return false;
    }
    const uint64_t sectors = std::min<uint64_t>(kChunkSectors, m_end - cur);
    if (observer) observer->Progress(lastPass, cur - m_start, true);
    const size_t bytes = static_cast<size_t>(sectors * bps);
    const int rc = disk->ReadAt(data.data, cur * bps, bytes);
    if (rc != 0) {
      *why = "the read-back of sector " + std::to_string(cur) + " failed: errno " + std::to_string(rc);
      return false;
    }
    if (memcmp(data.data, pattern.data, bytes) != 0) {
      size_t at = 0;
      while (at < bytes && data.data[at] == kPattern) ++at;
      *why = "the read-back found other data than the last pass wrote at sector " + std::to_string(cur + at / bps);
      return false;
    }
    cur += sectors;
    m_sectorsDone.store(cur - m_start);
  }
  return true;
}
