// What a disk says about itself, for the disk tables of the log.
#pragma once

#include <cstdint>

struct StorageDeviceInfo {
  uint32_t busType = 0;  // the storage bus-type number (7 USB, 3 ATA, 1 SCSI, 17 NVMe ...)
  char vendor[260] = {};
  char product[260] = {};
  char productRevision[260] = {};
  char serialNumber[260] = {};
  char busTypeText[260] = {};
};

// The text of bus types 1 to 8 ("USB Device" for 7); other types write nothing.
void GetBusTypeName(uint32_t busType, char* out, int outSize);
// Cuts the text after the first blank of its first run of two or more
// blanks and returns its first non-blank character (the text itself when
// all are blanks).
char* TrimDescriptorString(char* text);
