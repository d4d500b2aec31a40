// Scrubs the MFT records of deleted files on an NTFS volume: every record
// slot that is provably free keeps its header (the first 48 bytes; 42 in
// records of the older layout) and has the rest, update sequence included,
// zeroed, so no name, attribute or resident data of a deleted file survives
// and the stored record stays consistent (its update sequence number and
// every stride's last two bytes are all zero).
//
// The volume is read through its (strict) volume device; changed sectors are
// written through the mount-driver writer of the volume's disk, at the
// volume's start on that disk. The caller holds the volume locked.
//
// A slot is scrubbed only when all of these hold: it starts with "FILE", its
// allocated size is the record size, its record number is its position, its
// in-use flag is clear, and the $MFT's own $BITMAP has its bit clear.
// Records of the older layout (update sequence below byte 48) carry no
// number: their number is their position in the $MFT, as the whole run list
// gives it, and their update sequence must have the place and length that
// layout gives it. A free record (its bit and in-use flag clear) that fails
// a check is left alone; when it holds something of a file (any attribute
// but the standard information) it makes the scrub incomplete. The
// $MFT's runs (also those kept in extension records of record 0) must be
// gap-free, inside the volume and cover its data size. Records are handled
// whole whatever the cluster size; fixups are never applied to the buffer
// that is written back. What changed goes back as whole aligned blocks of
// the disk (CScrubBlockWriter) cut from the buffer just read; only blocks
// holding a changed byte are written.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSRunList.h"
#include "EngineError.h"

class IStorageDevice;
class IMountDriverWriter;
class CScrubBlockWriter;

// Results of CNTFSMFTWiper::Wipe: 0 when every free record was scrubbed,
// else a code whose upper 16 bits name where it failed and whose lower 16
// bits the error.
enum NTFSWipeError : int {
  kNTFSWipeNoDevice = MakeEngineError(0x6C, 0x5),               // no volume device
  kNTFSWipeBadBootSector = MakeEngineError(0x7E, 0x15),         // sector 0 is not a valid NTFS boot sector
  kNTFSWipeNoMFT = MakeEngineError(0x89, 0x16),                 // no usable $MFT record 0 (nor its mirror copy)
  kNTFSWipeNoWriter = MakeEngineError(0xB2, 0xE),               // the mount-driver writer cannot be opened
  kNTFSWipeNoMemory = MakeEngineError(0xBD, 0x4),               // a buffer cannot be allocated
  kNTFSWipeReadFailed = MakeEngineError(0xDF, 0x6),             // a cluster of the $MFT cannot be read
  kNTFSWipeBootSectorUnreadable = MakeEngineError(0x7E, 0x1E),  // sector 0 of the volume cannot be read
  kNTFSWipeNotStrict = MakeEngineError(0x7F, 0x5),              // the volume device answers failed reads with zeros
  kNTFSWipeBadGeometry = MakeEngineError(0x80, 0xD),            // geometry disagrees with the device
  kNTFSWipeDiskUnreadable = MakeEngineError(0x81, 0x1E),        // the disk sector at the volume start cannot be read
  kNTFSWipeWrongTarget = MakeEngineError(0x82, 0xD),            // that sector is not the volume's boot sector
  kNTFSWipeBadRunList = MakeEngineError(0x8A, 0xD),             // the $MFT runs are not whole, or leave the volume
  kNTFSWipeBadExtension = MakeEngineError(0x8B, 0xD),           // an extension record of $MFT is unreadable or foreign
  kNTFSWipeBadBitmap = MakeEngineError(0x8C, 0xD),              // the $MFT's $BITMAP is missing or unreadable
  kNTFSWipeWriteFailed = MakeEngineError(0xE0, 0x1D),           // a write failed or was refused (see GetLastWriteError)
  kNTFSWipeCancelled = MakeEngineError(0xE1, 0x4C7),            // stopped by the cancel flag before the end
  kNTFSWipeIncomplete = engine_error::kScrubIncomplete,         // free records of files left unscrubbed
};

struct NTFSWipeStats {
  uint64_t recordsScrubbed = 0;  // free records whose bytes 48 and up changed
  uint64_t recordsFree = 0;      // records that met every condition
  uint64_t recordsUnconfirmed = 0;  // free records of files left alone: their size, number or layout did not check
  uint64_t sectorsWritten = 0;   // volume sectors written (whole blocks, changed or not)
  uint64_t writes = 0;           // write calls made
};

class CNTFSMFTWiper {
 public:
  CNTFSMFTWiper() = default;
  CNTFSMFTWiper(const CNTFSMFTWiper&) = delete;
  CNTFSMFTWiper& operator=(const CNTFSMFTWiper&) = delete;

  // Where writes go: disk `diskNumber` of the disk table, the volume starting
  // at disk sector `partitionStart` (the fields of the wipe target).
  void SetOptions(int diskNumber, uint64_t partitionStart);
  // The device that reads disk `diskNumber` for the target check; null (the
  // default) opens that disk of the disk table, strict.
  void SetDiskDevice(IStorageDevice* disk) { m_disk = disk; }
  // Polled between batches of records; nonzero stops the scrub (kNTFSWipeCancelled).
  void SetCancelFlag(const std::atomic<int>* cancel) { m_cancel = cancel; }

  // Scrubs the volume; 0 or an NTFSWipeError.
  int Wipe(IStorageDevice* volume);
  // The same in one call.
  int Wipe(IStorageDevice* volume, int diskNumber, uint64_t partitionStart, const std::atomic<int>* cancel);

  const NTFSWipeStats& GetStats() const { return m_stats; }
  // The volume's boot sector as the last scrub read it (invalid before).
  const CNTFSDBR& GetBootSector() const { return m_dbr; }
  // The writer's error of the failed write (87 bad arguments, 644 outside
  // the locked volume, else errno); 0 when no write failed.
  uint32_t GetLastWriteError() const { return m_lastWriteError; }

  // What the scrub makes of a record slot (as stored, fixups not applied).
  enum class ESlot {
    Kept,         // not scrubbed: no "FILE", its bitmap bit or in-use flag set, or unconfirmed but empty
    Free,         // provably free: scrubbed
    Unconfirmed,  // free and holding something of a file, but its size, number or layout does not check:
                  // left alone, the scrub is incomplete
  };
  // The verdict on a slot, given its position in the $MFT and its bit in
  // the $MFT's bitmap; for a free slot *scrubFrom (may be null) receives
  // the offset from which it is zeroed.
  static ESlot ClassifyRecordSlot(const uint8_t* slot, uint32_t recordSize, uint64_t recordNumber, bool bitmapBitSet,
                                  uint32_t* scrubFrom = nullptr);
  // Whether a record slot may be scrubbed (ClassifyRecordSlot says Free).
  static bool IsFreeRecordSlot(const uint8_t* slot, uint32_t recordSize, uint64_t recordNumber, bool bitmapBitSet);

 private:
  struct MFTLayout {
    CNTFSRunList runs;            // sorted by VCN, checked whole
    uint64_t dataSize = 0;        // bytes of the $MFT's $DATA
    uint64_t recordCount = 0;     // whole records inside dataSize
    std::vector<uint8_t> bitmap;  // the $MFT's $BITMAP as far as it was read
    uint64_t bitmapBits = 0;      // bits that hold the bitmap's real value
  };

  bool ReadVolumeBytes(uint64_t byteOffset, uint32_t length, uint8_t* out);
  bool ReadMFTBytes(const CNTFSRunList& runs, uint64_t mftOffset, uint32_t length, uint8_t* out);
  int ReadBootSector();
  int CheckDiskBootSector();
  int FindMFT(MFTLayout& layout);
  int LoadMFTRecord(uint64_t byteOffset, std::vector<uint8_t>& record);
  int CollectMFTRuns(const std::vector<uint8_t>& base, MFTLayout& layout);
  int CheckRunList(MFTLayout& layout);
  int ReadMFTBitmap(MFTLayout& layout);
  int WipeFreeMFTRecords(const MFTLayout& layout);
  int ScrubBatches(const MFTLayout& layout, CScrubBlockWriter& out, std::vector<uint8_t>& buffer,
                   std::vector<uint8_t>& changed);

  IStorageDevice* m_volume = nullptr;
  IStorageDevice* m_disk = nullptr;
  IMountDriverWriter* m_writer = nullptr;
  const std::atomic<int>* m_cancel = nullptr;
  int m_diskNumber = -1;
  uint64_t m_partitionStart = 0;

  CNTFSDBR m_dbr;
  std::vector<uint8_t> m_bootSector;  // sector 0 of the volume as read
  uint32_t m_sectorSize = 0;
  uint32_t m_diskSectorSize = 0;
  uint32_t m_clusterBytes = 0;
  uint32_t m_recordSize = 0;
  uint64_t m_volumeBytes = 0;  // the smaller of the file system and the volume device
  uint64_t m_volumeClusters = 0;
  // The $MFT record's own extension records hold its $BITMAP too.
  std::vector<std::vector<uint8_t>> m_mftRecords;  // record 0 then its extensions, as read

  NTFSWipeStats m_stats;
  uint32_t m_lastWriteError = 0;
};
