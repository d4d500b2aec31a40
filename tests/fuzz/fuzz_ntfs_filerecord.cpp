// FILE records: validity, the read view, the walks and every reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "CNTFSVolumeNameReader.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"

namespace {

void ReadAttribute(const uint8_t* a) {
  using A = CNTFSFileRecordDataRunsAttribute;
  using N = CNTFSFileRecordFileNameAttribute;
  volatile uint64_t sink = A::GetType(a) + A::GetLength(a) + A::IsResident(a) + A::HasName(a) + A::GetFlags(a) +
                           A::GetValueOffset(a) + A::GetValueLength(a) + A::IsValueInside(a) + A::GetAllocatedSize(a) +
                           A::GetDataSize(a) + A::GetInitializedSize(a) + A::GetStandardInformationFlags(a) +
                           A::GetFirstVCN(a) + A::GetLastVCN(a) + A::GetRunListLength(a) + A::GetClusterCount(a) +
                           A::InferSectorsPerCluster(a) + N::GetParentReference(a) + N::GetNamespace(a) +
                           N::GetNameFlags(a) + N::GetNameDataSize(a) + N::GetCreationTime(a) + N::GetAccessTime(a);
  (void)sink;
  // An empty value may start right at the attribute's end: read only a
  // value that has bytes.
  if (const uint8_t* value = A::GetValueLength(a) ? A::GetValue(a) : nullptr) {
    volatile uint8_t last = value[A::GetValueLength(a) - 1];
    (void)last;
  }
  std::u16string name;
  N::GetName(a, name);
  N::IsName(a, u"$Volume");
  CNTFSRunList runs;
  A::DecodeRuns(a, static_cast<int>(A::GetLength(a)), runs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 48 || size > 8192) return 0;
  const std::vector<uint8_t> original(data, data + size);
  std::vector<uint8_t> buffer(original);  // exact size: ASan sees any overread
  const int length = static_cast<int>(size);
  uint8_t* record = buffer.data();

  IsFileRecordHeader(record);
  const bool valid = IsValidFileRecord(record, length);
  if (buffer != original) __builtin_trap();
  CheckFileRecordFixups(record, length);
  for (uint32_t type : {0x10u, 0x20u, 0x30u, 0x60u, 0x80u, 0xA0u}) {
    CountAttributes(record, type, length);
    for (int ordinal = 0; ordinal < 3; ++ordinal)
      if (const uint8_t* a = FindAttributeInRecord(record, type, ordinal, length)) ReadAttribute(a);
  }
  HasAttributeList(record, length);
  HasIndexAllocation(record, length);

  for (bool copy : {false, true}) {
    CNTFSFileRecord view(record, length, copy);
    if (view.IsValid() != valid) __builtin_trap();
    if (!valid) continue;
    for (uint32_t type : {0x10u, 0x30u, 0x60u, 0x80u})
      for (int ordinal = 0; ordinal < 3; ++ordinal)
        if (const uint8_t* a = view.FindAttribute(type, ordinal)) ReadAttribute(a);
    CNTFSRunList runs;
    uint64_t dataSize = 0;
    CollectDataRuns(view, runs, true, &dataSize);
    uint8_t spc = 0;
    InferRecordSectorsPerCluster(view, spc);
    GetSystemFileIndex(view);
    IsSystemFileRecord(view);
    view.IsExtensionRecord();
    view.GetRecordNumber();
    view.GetLogSequenceNumber();
    // The stored form is always the caller's bytes.
    std::vector<uint8_t> stored;
    if (!view.CopyStoredRecord(stored)) __builtin_trap();
    if (std::memcmp(stored.data(), original.data(), stored.size()) != 0) __builtin_trap();
    if (buffer != original) __builtin_trap();
  }

  char label[kNTFSVolumeNameBytes] = {};
  GetVolumeNameFromRecord(record, label, length);
  if (label[kNTFSVolumeNameBytes - 1] != 0) __builtin_trap();
  IsVolumeRecord(record, length);

  // The in-place fixups are exact inverses when the check passes.
  if (ApplyFileRecordFixups(record, length)) {
    UndoFileRecordFixups(record, length);
    if (buffer != original) __builtin_trap();
  }
  return 0;
}
