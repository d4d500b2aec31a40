#include "StorageDeviceInfo.h"

#include <cstring>

void GetBusTypeName(uint32_t busType, char* out, int outSize) {
  static const char* const kNames[] = {"SCSI Disk Device", "ATAPI Bus",         "ATA Bus",    "1394 Disk Device",
                                       "SSA Disk Device",  "FIBER Disk Device", "USB Device", "RAID Disk Device"};
  if (!out || outSize <= 0 || busType < 1 || busType > 8) return;
  const char* name = kNames[busType - 1];
  size_t n = strlen(name);
  if (n >= static_cast<size_t>(outSize)) n = static_cast<size_t>(outSize) - 1;
  memcpy(out, name, n);
}

char* TrimDescriptorString(char* text) {
  if (!text) return text;
  size_t len = strlen(text);
  for (size_t i = len; i-- > 1;)
    if (text[i] == ' ' && text[i - 1] == ' ') text[i] = '\0';
  for (size_t i = 0; i < len; ++i)
    if (text[i] != ' ') return text + i;
  return text;
}
