#include "CNTFSFileRecordDataRunsAttribute.h"

#include <climits>

#include "NTFSRecordRuns.h"

namespace {
constexpr uint32_t kFirstVCNOffset = 16;
constexpr uint32_t kLastVCNOffset = 24;
constexpr uint32_t kMappingPairsOffsetOffset = 32;
}  // namespace

uint64_t CNTFSFileRecordDataRunsAttribute::GetFirstVCN(const uint8_t* header) {
  return IsResident(header) ? 0 : ReadU64At(header, kFirstVCNOffset);
}

uint64_t CNTFSFileRecordDataRunsAttribute::GetLastVCN(const uint8_t* header) {
  return IsResident(header) ? 0 : ReadU64At(header, kLastVCNOffset);
}

const uint8_t* CNTFSFileRecordDataRunsAttribute::GetRunList(const uint8_t* header) {
  if (IsResident(header) || !HasField(header, kMappingPairsOffsetOffset, 2)) return nullptr;
  const uint16_t offset = ReadU16At(header, kMappingPairsOffsetOffset);
  return offset <= GetLength(header) ? header + offset : nullptr;
}

int CNTFSFileRecordDataRunsAttribute::GetRunListLength(const uint8_t* header) {
  const uint8_t* pairs = GetRunList(header);
  if (!pairs) return 0;
  const uint64_t length = GetLength(header) - static_cast<uint64_t>(pairs - header);
  return length > INT_MAX ? 0 : static_cast<int>(length);
}

bool CNTFSFileRecordDataRunsAttribute::DecodeRuns(const uint8_t* header, int length, CNTFSRunList& list) {
  if (!header || !IsValidAttributeHeader(header, length) || IsResident(header)) return false;
  return list.Parse(GetRunList(header), GetRunListLength(header));
}

int64_t CNTFSFileRecordDataRunsAttribute::GetClusterCount(const uint8_t* header) {
  const uint8_t* pairs = GetRunList(header);
  return pairs ? SumMappingPairsLength(pairs, GetRunListLength(header)) : -1;
}

uint8_t CNTFSFileRecordDataRunsAttribute::InferSectorsPerCluster(const uint8_t* header) {
  const uint64_t initialized = GetInitializedSize(header);
  const int64_t clusters = GetClusterCount(header);
  if (static_cast<int64_t>(initialized) <= 0 || clusters <= 0 || clusters > INT_MAX) return 0;
  return ::InferSectorsPerCluster(initialized, static_cast<int>(clusters));
}
