// One item of an erase run, and one row of the erasure history.
#pragma once

#include <cstdint>
#include <string>

struct EraseItem {
  std::string path;       // full path, "/" as separator
  int32_t algorithm = 0;  // pass count of the method (history rows); 0 in erase lists
  int32_t isFolder = 0;   // 0 file, 1 folder
  int32_t result = 0;     // ERASE_ITEM_ERASED or a failure code below
};

// Item results. Failures keep the Windows error numbers that history files
// already hold, so that old and new rows read alike.
enum : int32_t {
  ERASE_ITEM_ERASED = 0,
  ERASE_ITEM_FOLDER_NOT_REMOVED = 1,  // folder still had content, or removal failed
  ERASE_ITEM_NOT_FOUND = 2,
  ERASE_ITEM_ACCESS_DENIED = 5,  // also: a volume root, another file system, a path that changed
  ERASE_ITEM_VERIFY_FAILED = 23,  // the last pass did not read back as written
  ERASE_ITEM_SHARING_VIOLATION = 32,
  ERASE_ITEM_NOT_SUPPORTED = 50,  // device node, FIFO or socket: never opened
  ERASE_ITEM_DISK_FULL = 112,
  ERASE_ITEM_NAME_TOO_LONG = 206,
  ERASE_ITEM_IO_ERROR = 1117,
  ERASE_ITEM_CANCELLED = 1223,  // the overwrite was cancelled; the file stays
  ERASE_ITEM_GENERAL_FAILURE = 31,
};

// The item result for a failed system call's errno.
int32_t EraseItemResultFromErrno(int err);
