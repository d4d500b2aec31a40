// The partition wipe, without any window: it overwrites the whole
// partition-table extent of one volume with 0xFF bytes once per pass of the
// chosen method, reads the last pass back for the methods that verify, and
// then quick-formats the volume as NTFS. The progress dialog
// (CErasePtProgressDlg), vtctl and the tests all drive this class.
//
// Safety: the run refuses volumes of more than one extent, the volumes the
// system runs from ("/", /boot, /boot/efi, /usr, /home, active swap) and
// read-only volumes (a read-only mount or device);
// it checks, just before the volume is opened for writing, that the letter
// still names the confirmed volume (disk identity, start, size); every
// write goes through the guarded mount-driver writer while the volume is
// locked; every failed write, flush, read-back or format is remembered and
// makes the result a failure, and a failed or cancelled run is not
// formatted.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "CEraseRun.h"
#include "IWipeObserver.h"
#include "VolumeLock.h"

class CWipePartitionRun : public CEraseRun {
 public:
  // The pattern every pass writes.
  static constexpr uint8_t kPattern = 0xFF;
  // Sectors per chunk of a pass (the unit of progress and of the cancel
  // check): 2 MiB with 512-byte sectors.
  static constexpr uint32_t kChunkSectors = 4096;

  // Formats the wiped volume; true when the format succeeded. `output`
  // receives what the formatter said.
  using Formatter =
      std::function<bool(char letter, const platform::VolumeExpectation& expect, std::string* output)>;

  CWipePartitionRun();
  ~CWipePartitionRun() override;  // cancels and waits for a started run
  CWipePartitionRun(const CWipePartitionRun&) = delete;
  CWipePartitionRun& operator=(const CWipePartitionRun&) = delete;

  // The volume the user confirmed. sectorsPerChunk is the largest write in
  // sectors (the page passes 4 MiB / bytes per sector; 0 takes that);
  // endSector must be startSector + sectorCount. The disk identity the run
  // expects is taken from the letter's volume now, unless SetExpectedDisk
  // gives the one of the confirmed row.
  void SetParams(int sectorsPerChunk, char driveLetter, int diskNumber, uint64_t startSector, uint64_t sectorCount,
                 int bytesPerSector, uint64_t endSector);
  void SetExpectedDisk(const platform::DiskIdentity& disk);
  // How many extents the volume has (a dynamic volume's members); more than
  // one is refused.
  void SetExtentCount(int extents) { m_extents = extents; }
  // The format after a successful wipe. Default: platform::QuickFormatNtfs.
  // An empty function leaves the volume unformatted (tests and benchmarks).
  void SetFormatter(Formatter formatter) { m_formatter = std::move(formatter); }
  // May be null. Not owned.
  void SetObserver(IWipeObserver* observer) { SetRunObserver(observer); }

  // A cancel (CEraseRun::Cancel) is seen before every write and read. The
  // pass count's method decides whether the last pass is read back
  // (CEraseRun::Verifies).

  // Any thread, while the run goes: the pass going on (0-based), the
  // sectors it has passed, whether the read-back is going on.
  int CurrentPass() const { return m_pass.load(); }
  uint64_t SectorsDone() const { return m_sectorsDone.load(); }
  bool IsVerifying() const { return m_verifying.load(); }

  // After the run (CEraseRun::Result: ERASE_COMPLETED or one of the
  // ERASE_PARTITION_* codes, CEraseRun::Message: why it failed): whether the
  // volume was formatted and the number of failed writes. Its history row
  // is "wipe partition X".
  bool Formatted() const { return m_formatted; }
  uint64_t FailedWrites() const { return m_failedWrites; }

  char DriveLetter() const { return m_letter; }
  int DiskNumber() const { return m_disk; }
  uint64_t StartSector() const { return m_start; }
  uint64_t SectorCount() const { return m_count; }
  int BytesPerSector() const { return m_bytesPerSector; }

 protected:
  int Execute() override;
  std::vector<EraseItem> HistoryRows() const override;
  std::string LogName() const override;

 private:
  int Wipe();
  bool CheckParams(std::string* why) const;
  // Reads the partition back; false on a failed read or a byte other than
  // the pattern (*why says which), or on cancel (with *cancelled set).
  bool VerifyPattern(bool* cancelled, std::string* why);
  IWipeObserver* Observer() const { return static_cast<IWipeObserver*>(RunObserver()); }

  char m_letter = 0;
  int m_disk = -1;
  uint64_t m_start = 0;
  uint64_t m_count = 0;
  uint64_t m_end = 0;
  int m_bytesPerSector = 512;
  int m_sectorsPerWrite = 0;
  int m_extents = 1;
  platform::DiskIdentity m_expectedDisk;
  bool m_hasExpectedDisk = false;
  Formatter m_formatter;

  std::atomic<int> m_pass{0};
  std::atomic<uint64_t> m_sectorsDone{0};
  std::atomic<bool> m_verifying{false};
  bool m_formatted = false;
  uint64_t m_failedWrites = 0;
};
