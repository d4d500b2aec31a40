// Outcome code of a whole erase run. The same number means different
// things per mode (files and folders, partition, free space); the result
// dialog shows it with the texts below.
#pragma once

#include <cstdint>

enum EraseMode : int32_t {
  ERASE_MODE_FILES = 0,
  ERASE_MODE_PARTITION = 1,
  ERASE_MODE_FREESPACE = 2,
};

enum EraseResult : int32_t {
  ERASE_COMPLETED = 0,
  // files and folders
  ERASE_FILES_CANCELLED = 1,
  ERASE_FILES_ITEMS_FAILED = 3,  // one item or more could not be erased
  // partition
  ERASE_PARTITION_LOCK_FAILED = 1,
  ERASE_PARTITION_OPEN_FAILED = 2,
  ERASE_PARTITION_WRITE_FAILED = 3,
  ERASE_PARTITION_CANCELLED = 4,
  ERASE_PARTITION_ACCESS_DENIED = 5,
  // free space
  ERASE_FREESPACE_NONE_FOUND = 1,
  ERASE_FREESPACE_OPEN_FAILED = 2,
  ERASE_FREESPACE_WRITE_FAILED = 3,
  ERASE_FREESPACE_CANCELLED = 4,
  ERASE_FREESPACE_ACCESS_DENIED = 5,  // the volume is read-only or in use
  // The free space was wiped, but the records of deleted files could not be
  // scrubbed because the volume is in use (it could not be unmounted).
  ERASE_FREESPACE_SCRUB_SKIPPED_BUSY = 6,
  // The free space was wiped; the file system (exFAT, Ext2, FAT12) has no
  // scrub of deleted names, so they are still listed. A completed run.
  ERASE_FREESPACE_NAMES_NOT_SCRUBBED = 7,
};

// The code a run of `mode` ends with when it was cancelled.
int32_t EraseCancelledResult(int32_t mode);

// Whether a run of `mode` that ended with `code` did all it could do on its
// volume: code 0, and a free-space wipe of a file system without a scrub.
bool EraseResultSucceeded(int32_t mode, int32_t code);

// "Completed!" for code 0, else "Operation failed!".
const char* EraseResultTitle(int32_t code);
// The title of a run of `mode`: "Completed!" for the codes of success,
// "Partly completed!" for free space wiped whose scrub was skipped, else
// "Operation failed!".
const char* EraseResultTitle(int32_t mode, int32_t code);
// The text under the title (untranslated source text; the dialog passes it
// through its translation).
const char* EraseResultText(int32_t mode, int32_t code);
