#include "EraseResult.h"

int32_t EraseCancelledResult(int32_t mode) {
  switch (mode) {
    case ERASE_MODE_PARTITION:
      return ERASE_PARTITION_CANCELLED;
    case ERASE_MODE_FREESPACE:
      return ERASE_FREESPACE_CANCELLED;
    default:
      return ERASE_FILES_CANCELLED;
  }
}

bool EraseResultSucceeded(int32_t mode, int32_t code) {
  return code == ERASE_COMPLETED || (mode == ERASE_MODE_FREESPACE && code == ERASE_FREESPACE_NAMES_NOT_SCRUBBED);
}

const char* EraseResultTitle(int32_t code) { return code == ERASE_COMPLETED ? "Completed!" : "Operation failed!"; }

const char* EraseResultTitle(int32_t mode, int32_t code) {
  if (EraseResultSucceeded(mode, code)) return "Completed!";
  if (mode == ERASE_MODE_FREESPACE && code == ERASE_FREESPACE_SCRUB_SKIPPED_BUSY) return "Partly completed!";
  return "Operation failed!";
}

const char* EraseResultText(int32_t mode, int32_t code) {
  static const char* const kCancelled = "The operation was canceled by the user.";
  static const char* const kOpenFailed = "Open volume failed.";
  static const char* const kSomeFailed = "Maybe some sectors wipe failed.";
  static const char* const kAccessDenied =
      "The partition is occupied or the partition is read-only. Close other programs or remove the read-only "
      "attribute to try again.";
  if (code == ERASE_COMPLETED) {
    switch (mode) {
      case ERASE_MODE_PARTITION:
        return "You have successfully wiped the selected \npartition/device.";
      case ERASE_MODE_FREESPACE:
        return "You have successfully wiped free disk space of the selected partition/device.";
      default:
        return "The selected files/folders have been permanently erased. \nPlease check the Erasure history to view "
               "details.";
    }
  }
  switch (mode) {
    case ERASE_MODE_FILES:
      // Items that could not be erased are listed in the history.
      if (code == ERASE_FILES_ITEMS_FAILED) return kSomeFailed;
      return kCancelled;
    case ERASE_MODE_PARTITION:
      switch (code) {
        case ERASE_PARTITION_LOCK_FAILED:
          return "Lock volume failed.";
        case ERASE_PARTITION_OPEN_FAILED:
          return kOpenFailed;
        case ERASE_PARTITION_WRITE_FAILED:
          return kSomeFailed;
        case ERASE_PARTITION_ACCESS_DENIED:
          return kAccessDenied;
        case ERASE_PARTITION_CANCELLED:
          return "The operation was canceled by the user. The partition was partly overwritten and holds no file "
                 "system until it is formatted.";
        default:
          return kCancelled;
      }
    case ERASE_MODE_FREESPACE:
      switch (code) {
        case ERASE_FREESPACE_NONE_FOUND:
          return "No free space found. Maybe it is an unformatted or unknown partition. Format the partition and "
                 "restart the program to try again.";
        case ERASE_FREESPACE_OPEN_FAILED:
          return kOpenFailed;
        case ERASE_FREESPACE_WRITE_FAILED:
          return kSomeFailed;
        case ERASE_FREESPACE_ACCESS_DENIED:
          return kAccessDenied;
        case ERASE_FREESPACE_SCRUB_SKIPPED_BUSY:
          return "The free disk space was wiped, but the traces of deleted files could not be scrubbed because the "
                 "partition is in use. Close the programs that use it and try again.";
        case ERASE_FREESPACE_NAMES_NOT_SCRUBBED:
          return "You have successfully wiped free disk space of the selected partition/device. The names of deleted "
                 "files were not scrubbed: this file system has no scrub of them.";
        default:
          return kCancelled;
      }
    default:
      return kCancelled;
  }
}
