#include "CNTFSFileRecordFileNameAttribute.h"

#include "ByteOrder.h"

namespace {
constexpr uint32_t kValue = 24;  // fixed start of the value
constexpr uint32_t kParentOffset = kValue + 0;
constexpr uint32_t kCreationOffset = kValue + 8;
constexpr uint32_t kModificationOffset = kValue + 16;
constexpr uint32_t kAccessOffset = kValue + 32;
constexpr uint32_t kDataSizeOffset = kValue + 48;
constexpr uint32_t kFlagsOffset = kValue + 56;
constexpr uint32_t kNameLengthOffset = kValue + 64;
constexpr uint32_t kNamespaceOffset = kValue + 65;
constexpr uint32_t kNameOffset = kValue + 66;
}  // namespace

uint64_t CNTFSFileRecordFileNameAttribute::GetParentReference(const uint8_t* header) {
  return ReadU64At(header, kParentOffset) & 0xFFFFFFFFFFFFull;
}

uint64_t CNTFSFileRecordFileNameAttribute::GetCreationTime(const uint8_t* header) {
  return ReadU64At(header, kCreationOffset);
}

uint64_t CNTFSFileRecordFileNameAttribute::GetModificationTime(const uint8_t* header) {
  return ReadU64At(header, kModificationOffset);
}

uint64_t CNTFSFileRecordFileNameAttribute::GetAccessTime(const uint8_t* header) {
  return ReadU64At(header, kAccessOffset);
}

uint64_t CNTFSFileRecordFileNameAttribute::GetNameDataSize(const uint8_t* header) {
  return ReadU64At(header, kDataSizeOffset);
}

uint32_t CNTFSFileRecordFileNameAttribute::GetNameFlags(const uint8_t* header) {
  return ReadU32At(header, kFlagsOffset);
}

int CNTFSFileRecordFileNameAttribute::GetNamespace(const uint8_t* header) {
  if (!HasField(header, kNamespaceOffset, 1)) return 0;
  const int space = header[kNamespaceOffset];
  return space > 4 ? 4 : space;
}

const uint8_t* CNTFSFileRecordFileNameAttribute::NameBytes(const uint8_t* header, int& count) {
  count = 0;
  if (!IsResident(header) || !HasField(header, kNameLengthOffset, 1)) return nullptr;
  const int length = header[kNameLengthOffset];
  if (!HasField(header, kNameOffset, 2u * length)) return nullptr;
  count = length;
  return header + kNameOffset;
}

int CNTFSFileRecordFileNameAttribute::GetNameLength(const uint8_t* header) {
  int count = 0;
  return NameBytes(header, count) ? count : -1;
}

bool CNTFSFileRecordFileNameAttribute::GetName(const uint8_t* header, std::u16string& name) {
  int count = 0;
  const uint8_t* bytes = NameBytes(header, count);
  if (!bytes) return false;
  name.resize(count);
  for (int i = 0; i < count; ++i) name[i] = static_cast<char16_t>(ReadLE16(bytes + 2 * i));
  return true;
}

bool CNTFSFileRecordFileNameAttribute::IsName(const uint8_t* header, const char16_t* name) {
  if (!name) return false;
  int count = 0;
  const uint8_t* bytes = NameBytes(header, count);
  if (!bytes) return false;
  int i = 0;
  for (; i < count; ++i)
    if (name[i] == 0 || name[i] != ReadLE16(bytes + 2 * i)) return false;
  return name[i] == 0;
}

bool CNTFSFileRecordFileNameAttribute::HasValidCharacters(const char16_t* name, int count) {
  if (!name) return false;
  for (int i = 0; i < count && name[i] != 0; ++i) {
    switch (name[i]) {
      case u'"':
      case u'*':
      case u'/':
      case u':':
      case u'<':
      case u'>':
      case u'?':
      case u'\\':
      case u'|':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool IsValidFileNameAttribute(const uint8_t* header, int64_t bytesLeft) {
  using A = CNTFSFileRecordFileNameAttribute;
  if (!A::IsValidAttributeHeader(header, bytesLeft)) return false;
  if (A::GetType(header) != CNTFSFileRecordAttribute::kFileName || !A::IsResident(header)) return false;
  // The readers take the value at offset 24; the name must also lie inside
  // the value the header announces.
  const int count = A::GetNameLength(header);
  if (count < 0 || A::GetValueOffset(header) != 24 || A::GetValueLength(header) < 66 + 2 * static_cast<uint32_t>(count))
    return false;
  char16_t name[256];
  const uint8_t* bytes = header + kNameOffset;
  for (int i = 0; i < count; ++i) name[i] = static_cast<char16_t>(ReadLE16(bytes + 2 * i));
  return A::HasValidCharacters(name, count);
}
