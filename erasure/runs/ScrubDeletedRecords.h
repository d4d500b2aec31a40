// The scrub of a volume's deleted-file records before its free space is
// filled: the volume is locked (unmounted, held exclusively), the engine's
// quick search for its type rewrites the records of deleted files through
// the guarded mount-driver writer, and the volume is released and mounted
// again where it was. The free-space run and `vtctl scrub` both call this.
//
// The quick searches are the engines' (the NTFS MFT wiper, the FAT directory
// scrub), found in the scan registry: the program and vtctl register them at
// start (RegisterNTFSQuickSearch, RegisterFATQuickSearch); without them every
// scrub is reported as skipped.
//
// Only FAT16, FAT32 and NTFS volumes are scrubbed. A volume that cannot be
// unmounted, a volume of several extents and a type whose quick search is
// not available are skipped and say so; nothing is scrubbed while mounted.
// A read-only volume (mounted read-only, or on a read-only device) is
// refused before its mounts are touched.
#pragma once

#include <atomic>
#include <cstdint>

#include "FileSystemTypes.h"
#include "VolumeLock.h"

enum class EScrubOutcome {
  NotApplicable,       // the type has no deleted-record scrub (exFAT, Ext2, HFS+, RAW)
  Done,                // the quick search ran and succeeded
  SkippedBusy,         // the volume could not be locked (in use)
  SkippedMultiExtent,  // spanned, striped, mirrored or RAID-5 volume
  SkippedUnavailable,  // no quick search for the type in this build
  RefusedReadOnly,     // a read-only mount or device: nothing unmounted, nothing written
  Incomplete,          // ran to its end, but left records of deleted files it could not confirm
  Failed,              // no such volume, identity mismatch, open or engine failure
  Cancelled,           // the caller's cancel flag stopped it
};

struct ScrubOptions {
  bool multiExtent = false;
  // Checked before the volume is opened for writing; null: not checked.
  const platform::VolumeExpectation* expect = nullptr;
  // Polled while the quick search runs; nonzero stops it between records.
  const std::atomic<int>* cancel = nullptr;
};

struct ScrubReport {
  EScrubOutcome outcome = EScrubOutcome::NotApplicable;
  int engineCode = 0;     // the quick search's result (0: success)
  uint32_t winError = 0;  // the lock's error when it failed (19 for a read-only volume)
  bool remounted = true;  // false when a mount the lock took away was not put back
};

// FAT16, FAT32 and NTFS.
bool ScrubApplies(EFileSystemType type);
// Whether an engine's result means the scrub ran to its end.
bool ScrubSucceeded(EFileSystemType type, int engineCode);
// Whether the outcome leaves nothing undone (scrubbed, or nothing to scrub).
bool ScrubComplete(const ScrubReport& report);
// A line for logs and the console: "scrub done", "scrub skipped: ...".
const char* ScrubOutcomeText(EScrubOutcome outcome);

// Scrubs the volume of `letter` as a volume of `type`. The quick search
// reads through a strict volume device of its own and writes through the
// mount driver of the volume's disk.
ScrubReport ScrubDeletedRecords(char letter, EFileSystemType type, const ScrubOptions& options = {});
