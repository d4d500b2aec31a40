// Recognition of the NTFS system files by the name in their FILE record.
#pragma once

#include <cstdint>

#include "CNTFSFileRecord.h"

struct NTFSSystemFileEntry {
  uint32_t index;
  const char16_t* name;
};

constexpr int kNTFSSystemFileCount = 15;
extern const NTFSSystemFileEntry NTFSSystemFileTable[kNTFSSystemFileCount];

// The table index whose name equals the record's first $FILE_NAME; -1 for an
// invalid view, an extension record or a record without a match.
int GetSystemFileIndex(const CNTFSFileRecord& record);
// A table name and both the hidden and system flags.
bool IsSystemFileRecord(const CNTFSFileRecord& record);
// Hidden and system flags in $STANDARD_INFORMATION and `name` as the first
// $FILE_NAME.
bool IsNamedSystemFile(const CNTFSFileRecord& record, const char16_t* name);

bool IsMFTRecord(const CNTFSFileRecord& record);
bool IsMFTMirrRecord(const CNTFSFileRecord& record);
bool IsLogFileRecord(const CNTFSFileRecord& record);
bool IsBitmapRecord(const CNTFSFileRecord& record);

// The same tests on a record buffer as read from disk (not changed).
bool IsVolumeRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);
bool IsMFTRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);
bool IsMFTMirrRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);
bool IsLogFileRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);
bool IsAttrDefRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);
bool IsUpCaseRecord(const uint8_t* buffer, int length = kNTFSMinRecordLength);

// A directory record whose first $INDEX_ALLOCATION is non-resident.
bool HasIndexAllocation(const uint8_t* record, int length = kNTFSMinRecordLength);
