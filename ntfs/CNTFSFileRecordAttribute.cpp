#include "CNTFSFileRecordAttribute.h"

#include "ByteOrder.h"
#include "CNTFSRunList.h"

namespace {
// Resident and non-resident header fields.
constexpr uint32_t kNonResidentFlagOffset = 8;
constexpr uint32_t kNameLengthOffset = 9;
constexpr uint32_t kNameOffsetOffset = 10;
constexpr uint32_t kFlagsOffset = 12;
constexpr uint32_t kValueLengthOffset = 16;
constexpr uint32_t kValueOffsetOffset = 20;
constexpr uint32_t kMappingPairsOffsetOffset = 32;
constexpr uint32_t kAllocatedSizeOffset = 40;
constexpr uint32_t kDataSizeOffset = 48;
constexpr uint32_t kInitializedSizeOffset = 56;
// $STANDARD_INFORMATION value (at the fixed offset 24): DOS flags at 32.
constexpr uint32_t kStandardInformationFlagsOffset = 24 + 32;
}  // namespace

uint32_t CNTFSFileRecordAttribute::GetType(const uint8_t* header) {
  return ReadLE32(header);
}

uint32_t CNTFSFileRecordAttribute::GetLength(const uint8_t* header) {
  return ReadLE32(header + 4);
}

bool CNTFSFileRecordAttribute::HasField(const uint8_t* header, uint32_t offset, uint32_t width) {
  return static_cast<uint64_t>(offset) + width <= GetLength(header);
}

uint16_t CNTFSFileRecordAttribute::ReadU16At(const uint8_t* header, uint32_t offset) {
  return HasField(header, offset, 2) ? ReadLE16(header + offset) : 0;
}

uint32_t CNTFSFileRecordAttribute::ReadU32At(const uint8_t* header, uint32_t offset) {
  return HasField(header, offset, 4) ? ReadLE32(header + offset) : 0;
}

uint64_t CNTFSFileRecordAttribute::ReadU64At(const uint8_t* header, uint32_t offset) {
  return HasField(header, offset, 8) ? ReadLE64(header + offset) : 0;
}

bool CNTFSFileRecordAttribute::IsResident(const uint8_t* header) {
  return header[kNonResidentFlagOffset] == 0;
}

bool CNTFSFileRecordAttribute::HasName(const uint8_t* header) {
  return header[kNameLengthOffset] != 0;
}

uint16_t CNTFSFileRecordAttribute::GetFlags(const uint8_t* header) {
  return ReadU16At(header, kFlagsOffset);
}

uint16_t CNTFSFileRecordAttribute::GetValueOffset(const uint8_t* header) {
  return IsResident(header) ? ReadU16At(header, kValueOffsetOffset) : 0;
}

uint32_t CNTFSFileRecordAttribute::GetValueLength(const uint8_t* header) {
  return IsResident(header) ? ReadU32At(header, kValueLengthOffset) : 0;
}

bool CNTFSFileRecordAttribute::IsValueInside(const uint8_t* header) {
  return IsResident(header) && HasField(header, kResidentHeaderSize - 2, 2) &&
         HasField(header, GetValueOffset(header), GetValueLength(header));
}

const uint8_t* CNTFSFileRecordAttribute::GetValue(const uint8_t* header) {
  return IsValueInside(header) ? header + GetValueOffset(header) : nullptr;
}

uint64_t CNTFSFileRecordAttribute::GetAllocatedSize(const uint8_t* header) {
  return IsResident(header) ? 0 : ReadU64At(header, kAllocatedSizeOffset);
}

uint64_t CNTFSFileRecordAttribute::GetDataSize(const uint8_t* header) {
  return IsResident(header) ? 0 : ReadU64At(header, kDataSizeOffset);
}

uint64_t CNTFSFileRecordAttribute::GetInitializedSize(const uint8_t* header) {
  return IsResident(header) ? 0 : ReadU64At(header, kInitializedSizeOffset);
}

uint32_t CNTFSFileRecordAttribute::GetStandardInformationFlags(const uint8_t* header) {
  if (!IsResident(header) || GetType(header) != kStandardInformation) return 0;
  return ReadU32At(header, kStandardInformationFlagsOffset);
}

bool CNTFSFileRecordAttribute::IsValidAttributeHeader(const uint8_t* header, int64_t bytesLeft) {
  if (!header || bytesLeft < 16) return false;
  const uint32_t length = GetLength(header);
  if (length > bytesLeft) return false;
  const bool resident = IsResident(header);
  if (length < (resident ? kResidentHeaderSize : kNonResidentHeaderSize)) return false;
  if (HasName(header) && !HasField(header, ReadLE16(header + kNameOffsetOffset), 2u * header[kNameLengthOffset]))
    return false;
  if (resident) return IsValueInside(header);
  const uint16_t pairsOffset = ReadLE16(header + kMappingPairsOffsetOffset);
  if (pairsOffset > length) return false;
  if (GetType(header) == kData)
    return ValidateMappingPairs(header + pairsOffset, static_cast<int>(length - pairsOffset));
  return true;
}
