// What the disk and the volume device share: a raw disk from the platform
// layer, opened through an opener that can be called again after the medium
// went away, a sector reader with its bad-sector map, a lock, and the
// strict flag.
//
// A strict device reports every failed read as failed, whatever the scan
// options say about skipping bad sectors: scrubs, wipes and verification
// open their devices strict; recovery scans do not.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "CSectorReader.h"
#include "IStorageDevice.h"
#include "RawDisk.h"

using RawDiskOpener = std::function<std::unique_ptr<platform::IRawDisk>(int* error)>;

class CRawBackedDevice : public IStorageDevice {
 public:
  int Close() override;
  bool IsOpen() const;
  // The raw disk's sector size; 512 while closed (never 0).
  int GetSectorSize() override;

  bool IsStrict() const { return m_strict; }
  CBadSectorMap& GetBadSectorMap() { return m_reader.GetBadSectorMap(); }
  // The errno of the last failed read (0 after a good one).
  int GetLastReadError() const { return m_lastError; }

 protected:
  CRawBackedDevice(RawDiskOpener opener, bool strict);
  // Replaces the raw disk by a fresh one from the opener (the old one is
  // closed first). Call with m_lock held.
  bool ReopenLocked();
  // One read through the sector reader, with the skip option unless strict.
  // Call with m_lock held.
  int ReadLocked(void* buffer, uint64_t first, uint64_t count, int* error);
  // The raw disk's size in sectors; 0 while closed. Takes m_lock.
  uint64_t RawSectorCount();
  int SectorSizeLocked();

  RawDiskOpener m_opener;
  std::unique_ptr<platform::IRawDisk> m_disk;
  CSectorReader m_reader;
  mutable std::mutex m_lock;
  bool m_strict = false;
  int m_lastError = 0;
};
