#include "NTFSFileRecordProperties.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "ByteOrder.h"
#include "CCommonFileRecordInfo.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CPackedDataRuns.h"
#include "CResidentNTFSDataRunList.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "NTFSText.h"

namespace {

using A = CNTFSFileRecordDataRunsAttribute;
using N = CNTFSFileRecordFileNameAttribute;

constexpr int kWin32Namespace = 1;
constexpr uint32_t kStandardInformationMinValue = 40;
constexpr uint16_t kDosFlagMask = 0x1 | 0x2 | 0x4 | 0x20 | 0x400;

// UTF-16 to the program's 8-bit text; characters that have no form there
// (unpaired surrogates) become "_".
std::string NameToAnsi(std::u16string name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) name[i] = u'_';
  }
  return NTFSNameToUtf8(name);
}

}  // namespace

bool ReadFileNameInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields, int64_t* parent) {
  const uint8_t* first = record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 0);
  const uint8_t* second = record.FindAttribute(CNTFSFileRecordAttribute::kFileName, 1);
  const uint8_t* used = second && N::GetNamespace(second) == kWin32Namespace ? second : first;
  if (!used) return false;
  int64_t found = GetFoundRecordParent(first, second);
  // Names in two folders are hard links, not a long and short pair: the
  // parent goes with the name taken.
  const int64_t usedParent = static_cast<int64_t>(N::GetParentReference(used));
  if (found < 0 || (second && N::GetParentReference(first) != N::GetParentReference(second) && usedParent >= 5))
    found = usedParent;
  if (parent && found != -1) *parent = found;

  std::u16string name;
  if (!N::GetName(used, name) || name.empty()) return false;
  if (N::GetNameFlags(used) & N::kDirectoryFlag) fields.common.attributes |= kFileAttributeDirectory;
  std::string text = NameToAnsi(std::move(name));
  if (text.empty()) return false;
  fields.common.name = std::move(text);
  fields.common.creation = N::GetCreationTime(used);
  fields.common.modification = N::GetModificationTime(used);
  fields.common.access = N::GetAccessTime(used);
  fields.common.size = static_cast<int64_t>(N::GetNameDataSize(used));
  return true;
}

void ReadStandardInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields) {
  const uint8_t* header = record.FindAttribute(CNTFSFileRecordAttribute::kStandardInformation, 0);
  if (!header || !A::IsResident(header) || !A::IsValueInside(header) ||
      A::GetValueLength(header) < kStandardInformationMinValue)
    return;
  const uint8_t* value = A::GetValue(header);
  fields.common.creation = ReadLE64(value + 0);
  fields.common.modification = ReadLE64(value + 8);
  fields.common.access = ReadLE64(value + 24);
  fields.common.attributes |= static_cast<uint16_t>(ReadLE32(value + 32) & kDosFlagMask);
}

CNoneResidentNTFSDataRunList* MakeNoneResidentRunList(const CNTFSRunList& runs, uint64_t* totalClusters) {
  uint64_t total = 0;
  std::unique_ptr<CNoneResidentNTFSDataRunList> list;
  for (const NTFSRun& run : runs) {
    if (!list) list = std::make_unique<CNoneResidentNTFSDataRunList>();
    list->AddRun({run.firstLCN, run.length});
    total += run.length;
  }
  if (totalClusters) *totalClusters = total;
  return list.release();
}

CResidentNTFSDataRunList* MakeResidentRunList(const uint8_t* header, uint64_t recordSector, int attributeOffset,
                                              uint64_t* valueLength) {
  if (!header || !A::IsResident(header) || !A::IsValueInside(header) || attributeOffset < 0) return nullptr;
  const int value = attributeOffset + A::GetValueOffset(header);
  if (value >= kNTFSMaxRecordLength) return nullptr;
  auto* list = new CResidentNTFSDataRunList;
  list->SetRun(recordSector, 1, value);
  if (valueLength) *valueLength = A::GetValueLength(header);
  return list;
}

bool ReadDataRunsInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields, uint64_t bytesPerCluster) {
  uint16_t& attributes = fields.common.attributes;
  int64_t& size = fields.common.size;
  std::unique_ptr<IDataRunList> list;
  CNTFSRunList runs;
  bool nonResident = false;
  record.ForEachAttribute(CNTFSFileRecordAttribute::kData, [&](const uint8_t* header, int offset, uint64_t sector) {
    if (A::HasName(header)) return true;
    if (A::IsCompressed(header)) attributes |= kFileAttributeCompressed;
    if (A::IsSparse(header)) attributes |= kNTFSAttributeSparse;
    if (A::IsResident(header)) {
      uint64_t length = 0;
      list.reset(MakeResidentRunList(header, sector, offset, &length));
      if (list) size = static_cast<int64_t>(length);
      nonResident = false;
      return false;
    }
    uint64_t dataSize = 0, firstVCN = 0;
    if (!AppendAttributeRuns(header, &dataSize, &firstVCN, runs)) return true;  // damaged pairs add nothing
    nonResident = true;
    if (firstVCN == 0 && dataSize <= static_cast<uint64_t>(INT64_MAX) &&
        (size <= 0 || size < static_cast<int64_t>(dataSize)))
      size = static_cast<int64_t>(dataSize);
    return true;
  });
  if (nonResident) {
    runs.Sort();
    uint64_t total = 0;
    list.reset(MakeNoneResidentRunList(runs, &total));
    if (size < 0) size = 0;
    if (bytesPerCluster != 0 && bytesPerCluster % 512 == 0 &&
        total <= static_cast<uint64_t>(INT64_MAX) / bytesPerCluster) {
      const int64_t limit = static_cast<int64_t>(total * bytesPerCluster);
      if (size > limit || size == 0) size = limit;
    }
  }
  if (list) fields.packedRuns.reset(PackDataRunList(list.get()));
  if ((attributes & kFileAttributeCompressed) && (attributes & kNTFSAttributeSparse))
    attributes = static_cast<uint16_t>(attributes & ~kFileAttributeCompressed);
  return true;
}

CNTFSFileProperties* MakeNTFSFileProperties(uint64_t recordSector, CNTFSExtendedFileRecord& record,
                                            uint64_t bytesPerCluster, int64_t* parent) {
  if (!record.IsValid()) return nullptr;
  NTFSFileFields fields;
  if (!ReadFileNameInformation(record, fields, parent)) return nullptr;
  ReadStandardInformation(record, fields);
  fields.recordSector = recordSector;
  if (!record.IsInUse()) fields.common.deleted = 1;
  ReadDataRunsInformation(record, fields, bytesPerCluster);
  fields.recordNumber = record.GetRecordNumber();
  CNTFSFileProperties* properties = CreateNTFSFileProperties();
  properties->SetFromRecordInfo(fields);
  return properties;
}

void FixSizeFromRunList(IFileProperties* properties, uint8_t sectorsPerCluster) {
  auto* basic = dynamic_cast<CBasicFileProperties*>(properties);
  if (!basic || basic->GetFileSize() >= 0) return;
  std::unique_ptr<IDataRunList> list(basic->GetDataRunList());
  if (!list || list->IsResident()) return;
  uint64_t clusters = 0;
  for (const DataRun& run : list->Runs()) clusters += run.length;
  const uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * 512;
  if (clusterBytes != 0 && clusters > static_cast<uint64_t>(INT64_MAX) / clusterBytes) return;
  basic->SetFileSize(static_cast<int64_t>(clusters * clusterBytes));
}

bool IsSystemFileRecordBuffer(const uint8_t* buffer, int length) {
  if (!buffer || length < kNTFSMinRecordLength) return false;
  // The record at the size it states (4096 on 4096-byte-sector volumes).
  const int size = std::min(length, static_cast<int>(RecordSizeOf(buffer, length, kNTFSMinRecordLength)));
  CNTFSFileRecord record(buffer, size, false);
  return IsSystemFileRecord(record);
}
