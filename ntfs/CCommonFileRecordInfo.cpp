#include "CCommonFileRecordInfo.h"

#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "IFileProperties.h"
#include "NTFSRecordHeader.h"
#include "ByteOrder.h"

namespace {
// Records below 5 are system files; none of them is a folder but the root.
constexpr uint64_t kFirstParent = 5;
}  // namespace

int64_t GetFoundRecordParent(const uint8_t* firstName, const uint8_t* secondName) {
  using N = CNTFSFileRecordFileNameAttribute;
  if (secondName && N::GetParentReference(secondName) >= kFirstParent)
    return static_cast<int64_t>(N::GetParentReference(secondName));
  if (firstName && N::GetParentReference(firstName) >= kFirstParent)
    return static_cast<int64_t>(N::GetParentReference(firstName));
  return -1;
}

CCommonFileRecordInfo::~CCommonFileRecordInfo() {
  SetProperties(nullptr);
}

void CCommonFileRecordInfo::SetProperties(IFileProperties* properties) {
  if (m_properties) m_properties->Release();
  m_properties = properties;
}

bool CCommonFileRecordInfo::SetFromRecord(const CNTFSFileRecord& record, uint64_t sector) {
  if (!record.IsValid()) return false;
  m_directory = record.IsDirectory() ? 1 : 0;
  // Records from before XP keep the update sequence at 42 and no number.
  if (record.HasRecordNumber() && ReadLE16(record.GetRecord() + ntfs_record::kUsaOffsetOffset) >= ntfs_record::kUsaOffsetWithRecordNumber)
    m_recordNumber = record.GetRecordNumber();
  m_parent = GetFoundRecordParent(record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 0),
                                  record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 1));
  m_sector = sector;
  return true;
}

bool CCommonFileRecordInfo::SetFromBuffer(const uint8_t* buffer, int length, uint64_t sector) {
  CNTFSFileRecord record(buffer, length, false);
  return SetFromRecord(record, sector);
}
