#include "NTFSFileTypeEvidence.h"

#include <string>

#include "ByteOrder.h"
#include "CFileTypeEvidenceEntry.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "NTFSRecordRuns.h"

namespace {
// $FILE_NAME value: name length at 64, name from 66.
constexpr uint32_t kNameLength = 64;
constexpr uint32_t kName = 66;
}  // namespace

bool MakeFileTypeEvidence(const CNTFSFileRecord& record, uint64_t sector, CFileTypeEvidenceEntry& entry) {
  if (!record.IsValid()) return false;
  const uint8_t* name = record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 0);
  if (!name || !CNTFSFileRecordAttribute::IsResident(name) || !CNTFSFileRecordAttribute::IsValueInside(name))
    return false;
  const uint8_t* value = CNTFSFileRecordAttribute::GetValue(name);
  const uint32_t valueLength = CNTFSFileRecordAttribute::GetValueLength(name);
  if (!value || valueLength <= kNameLength) return false;
  const uint32_t length = value[kNameLength];
  if (length == 0 || kName + 2 * length > valueLength) return false;
  CNTFSRunList runs;
  if (!CollectDataRuns(record, runs, true, nullptr) || runs.IsEmpty()) return false;
  const int64_t lcn = runs.VCNToLCN(0);
  if (lcn < 0) return false;
  std::u16string text(length, u'\0');
  for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(ReadLE16(value + kName + 2 * i));
  return entry.InitFromWideName(text.data(), text.size(), lcn, static_cast<int64_t>(sector));
}
