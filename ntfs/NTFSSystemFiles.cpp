#include "NTFSSystemFiles.h"

#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"

const NTFSSystemFileEntry NTFSSystemFileTable[kNTFSSystemFileCount] = {
    {0, u"$MFT"},     {1, u"$MFTMirr"}, {2, u"$LogFile"}, {3, u"$Volume"},  {4, u"$AttrDef"},
    {5, u"."},        {6, u"$Bitmap"},  {7, u"$Boot"},    {8, u"$BadClus"}, {9, u"$Secure"},
    {10, u"$UpCase"}, {11, u"$Extend"}, {32, u"$Quota"},  {33, u"$ObjId"},  {34, u"$Reparse"},
};

namespace {

bool HasHiddenSystemFlags(const CNTFSFileRecord& record) {
  const uint8_t* info = record.FindAttribute(CNTFSFileRecordAttribute::kStandardInformation, 0);
  if (!info) return false;
  const uint32_t flags = CNTFSFileRecordAttribute::GetStandardInformationFlags(info);
  const uint32_t wanted = CNTFSFileRecordAttribute::kDosHidden | CNTFSFileRecordAttribute::kDosSystem;
  return (flags & wanted) == wanted;
}

bool IsNamedSystemBuffer(const uint8_t* buffer, int length, const char16_t* name) {
  CNTFSFileRecord record(buffer, length, false);
  return IsNamedSystemFile(record, name);
}

}  // namespace

int GetSystemFileIndex(const CNTFSFileRecord& record) {
  if (!record.IsValid() || record.IsExtensionRecord()) return -1;
  const uint8_t* name = record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 0);
  if (!name) return -1;
  for (const NTFSSystemFileEntry& entry : NTFSSystemFileTable)
    if (CNTFSFileRecordFileNameAttribute::IsName(name, entry.name)) return static_cast<int>(entry.index);
  return -1;
}

bool IsSystemFileRecord(const CNTFSFileRecord& record) {
  return GetSystemFileIndex(record) >= 0 && HasHiddenSystemFlags(record);
}

bool IsNamedSystemFile(const CNTFSFileRecord& record, const char16_t* name) {
  if (!record.IsValid() || !HasHiddenSystemFlags(record)) return false;
  const uint8_t* fileName = record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 0);
  return fileName && CNTFSFileRecordFileNameAttribute::IsName(fileName, name);
}

bool IsMFTRecord(const CNTFSFileRecord& record) {
  return IsNamedSystemFile(record, u"$MFT");
}
bool IsMFTMirrRecord(const CNTFSFileRecord& record) {
  return IsNamedSystemFile(record, u"$MFTMirr");
}
bool IsLogFileRecord(const CNTFSFileRecord& record) {
  return IsNamedSystemFile(record, u"$LogFile");
}
bool IsBitmapRecord(const CNTFSFileRecord& record) {
  return IsNamedSystemFile(record, u"$Bitmap");
}

bool IsVolumeRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$Volume");
}
bool IsMFTRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$MFT");
}
bool IsMFTMirrRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$MFTMirr");
}
bool IsLogFileRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$LogFile");
}
bool IsAttrDefRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$AttrDef");
}
bool IsUpCaseRecord(const uint8_t* b, int n) {
  return IsNamedSystemBuffer(b, n, u"$UpCase");
}

bool HasIndexAllocation(const uint8_t* record, int length) {
  if (!record || !IsDirectoryRecord(record)) return false;
  const uint8_t* index = FindAttributeInRecord(record, CNTFSFileRecordAttribute::kIndexAllocation, 0, length);
  return index && !CNTFSFileRecordAttribute::IsResident(index);
}
