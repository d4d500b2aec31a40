#include "CNTFSFileRecord.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "NTFSRecordHeader.h"

namespace {
using namespace ntfs_record;
constexpr uint32_t kMaxUsaCount = 16;

// Number of 512-byte strides the fixups cover; -1 when the sequence array
// does not fit in the buffer or the buffer is too short.
int FixupStrides(const uint8_t* record, int length) {
  if (!record || length < kNTFSMinRecordLength) return -1;
  const uint32_t usaOffset = ReadLE16(record + kUsaOffsetOffset);
  const uint32_t usaCount = ReadLE16(record + kUsaCountOffset);
  if (usaCount == 0 || usaCount > kMaxUsaCount) return -1;
  if (usaOffset + 2 * usaCount > static_cast<uint32_t>(length)) return -1;
  // The array lies word-aligned before the first protected word: one that
  // covered a stride's last two bytes would rewrite itself, and applying
  // and undoing would no longer be inverses.
  if ((usaOffset & 1) != 0 || usaOffset + 2 * usaCount > kNTFSFixupStride - 2) return -1;
  return std::min<int>(static_cast<int>(usaCount) - 1, length / kNTFSFixupStride);
}

// Offsets at which an attribute may start: an 8-byte header must fit.
uint32_t WalkLimit(int length) {
  return static_cast<uint32_t>(std::min(length, kNTFSMaxRecordLength)) - 8;
}

// Calls visit(offset) for each attribute of the walk described in the header.
template <class Visit>
void WalkAttributes(const uint8_t* record, int length, bool stopAtEnd, Visit visit) {
  if (!record || length < 16) return;
  uint32_t offset = GetFirstAttributeOffset(record);
  while (offset < WalkLimit(length) && offset + 16 <= static_cast<uint32_t>(length)) {
    const uint8_t* header = record + offset;
    if (stopAtEnd && CNTFSFileRecordAttribute::GetType(header) == CNTFSFileRecordAttribute::kEnd) return;
    const uint32_t attributeLength = CNTFSFileRecordAttribute::GetLength(header);
    if (attributeLength < 16 || attributeLength > static_cast<uint32_t>(length) - offset) return;
    if (!visit(offset)) return;
    offset += attributeLength;
  }
}

}  // namespace

bool IsFileRecordHeader(const uint8_t* record) {
  if (!record || ReadLE32(record) != kFileMagic) return false;
  const uint32_t usaCount = ReadLE16(record + kUsaCountOffset);
  const uint32_t allocated = ReadLE32(record + kBytesAllocatedOffset);
  const uint32_t usaOffset = ReadLE16(record + kUsaOffsetOffset);
  if (usaCount > kMaxUsaCount) return false;
  if (allocated > static_cast<uint32_t>(kNTFSMaxRecordLength) || allocated % 1024 != 0) return false;
  if (usaCount - 1u > allocated / 512) return false;
  return usaOffset >= 42 && usaOffset <= 256;
}

uint16_t GetFirstAttributeOffset(const uint8_t* record) {
  return ReadLE16(record + kFirstAttributeOffset);
}

uint32_t GetBytesInUse(const uint8_t* record) {
  return ReadLE32(record + kBytesInUseOffset);
}

bool IsFileRecordInUse(const uint8_t* record) {
  return ReadLE16(record + kFlagsOffset) & kInUseFlag;
}

bool IsDirectoryRecord(const uint8_t* record) {
  return ReadLE16(record + kFlagsOffset) & kDirectoryFlag;
}

bool CheckFileRecordFixups(const uint8_t* record, int length) {
  const int strides = FixupStrides(record, length);
  if (strides < 0) return false;
  const uint16_t usn = ReadLE16(record + ReadLE16(record + kUsaOffsetOffset));
  for (int i = 0; i < strides; ++i)
    if (ReadLE16(record + kNTFSFixupStride * (i + 1) - 2) != usn) return false;
  return true;
}

bool ApplyFileRecordFixups(uint8_t* record, int length) {
  if (!CheckFileRecordFixups(record, length)) return false;
  const int strides = FixupStrides(record, length);
  const uint8_t* usa = record + ReadLE16(record + kUsaOffsetOffset);
  for (int i = 0; i < strides; ++i) {
    uint8_t* end = record + kNTFSFixupStride * (i + 1) - 2;
    end[0] = usa[2 * (i + 1)];
    end[1] = usa[2 * (i + 1) + 1];
  }
  return true;
}

bool UndoFileRecordFixups(uint8_t* record, int length) {
  const int strides = FixupStrides(record, length);
  if (strides < 0) return false;
  uint8_t* usa = record + ReadLE16(record + kUsaOffsetOffset);
  for (int i = 0; i < strides; ++i) {
    uint8_t* end = record + kNTFSFixupStride * (i + 1) - 2;
    usa[2 * (i + 1)] = end[0];
    usa[2 * (i + 1) + 1] = end[1];
    end[0] = usa[0];
    end[1] = usa[1];
  }
  return true;
}

bool IsValidFileRecord(const uint8_t* record, int length) {
  if (!record || length < kNTFSMinRecordLength || !IsFileRecordHeader(record)) return false;
  // Bytes allocated is at most 4096: nothing beyond belongs to the record.
  const int used = std::min(length, kNTFSMaxRecordLength);
  // Every reader of a found record tests it again (each view, each system
  // file check): the last answer is kept with the bytes it was given.
  struct LastAnswer {
    uint8_t bytes[kNTFSMaxRecordLength];
    int used = 0;
    bool valid = false;
  };
  thread_local LastAnswer last;
  if (last.used == used && std::memcmp(last.bytes, record, used) == 0) return last.valid;
  uint8_t copy[kNTFSMaxRecordLength];
  std::memcpy(copy, record, used);
  ApplyFileRecordFixups(copy, used);  // a torn record is tested as it stands
  const bool valid = CheckAttributes(copy, used);
  std::memcpy(last.bytes, record, used);
  last.used = used;
  last.valid = valid;
  return valid;
}

const uint8_t* FindAttributeInRecord(const uint8_t* record, uint32_t type, int ordinal, int length) {
  const int offset = FindAttributeOffset(record, type, ordinal, length);
  return offset < 0 ? nullptr : record + offset;
}

int FindAttributeOffset(const uint8_t* record, uint32_t type, int ordinal, int length) {
  int found = -1;
  int seen = 0;
  WalkAttributes(record, length, true, [&](uint32_t offset) {
    if (CNTFSFileRecordAttribute::GetType(record + offset) != type) return true;
    if (seen++ != ordinal) return true;
    found = static_cast<int>(offset);
    return false;
  });
  return found;
}

int CountAttributes(const uint8_t* record, uint32_t type, int length) {
  int count = 0;
  WalkAttributes(record, length, false, [&](uint32_t offset) {
    if (CNTFSFileRecordAttribute::GetType(record + offset) == type) ++count;
    return true;
  });
  return count;
}

bool CheckAttributes(const uint8_t* record, int length) {
  if (!record || length < 24) return false;
  uint32_t offset = GetFirstAttributeOffset(record);
  while (offset < WalkLimit(length)) {
    if (offset + 4 > static_cast<uint32_t>(length)) return false;
    const uint8_t* header = record + offset;
    const uint32_t type = CNTFSFileRecordAttribute::GetType(header);
    if (type == CNTFSFileRecordAttribute::kEnd) break;
    if (offset + 8 <= static_cast<uint32_t>(length) && CNTFSFileRecordAttribute::GetLength(header) == 0) break;
    const int64_t bytesLeft = static_cast<int64_t>(length) - offset;
    if (!CNTFSFileRecordAttribute::IsValidAttributeHeader(header, bytesLeft)) return false;
    if (type == CNTFSFileRecordAttribute::kFileName && !IsValidFileNameAttribute(header, bytesLeft)) return false;
    offset += CNTFSFileRecordAttribute::GetLength(header);  // at least 24 once valid
  }
  return true;
}

bool HasAttributeList(const uint8_t* record, int length) {
  return FindAttributeInRecord(record, CNTFSFileRecordAttribute::kAttributeList, 0, length) != nullptr;
}

CNTFSFileRecord::CNTFSFileRecord(const uint8_t* buffer, int length, bool copy) {
  if (!buffer || !IsValidFileRecord(buffer, length)) return;
  m_length = std::min(length, kNTFSMaxRecordLength);
  const bool fixups = CheckFileRecordFixups(buffer, m_length);
  if (copy || fixups) {
    m_copy.assign(buffer, buffer + m_length);
    m_ownsCopy = 1;
    if (fixups) m_fixupsApplied = ApplyFileRecordFixups(m_copy.data(), m_length) ? 1 : 0;
    m_record = m_copy.data();
  } else {
    m_record = buffer;
  }
}

bool CNTFSFileRecord::CopyStoredRecord(std::vector<uint8_t>& out) const {
  if (!m_record) return false;
  out.assign(m_record, m_record + m_length);
  if (m_fixupsApplied) UndoFileRecordFixups(out.data(), m_length);
  return true;
}

const uint8_t* CNTFSFileRecord::FindAttribute(uint32_t type, int ordinal) const {
  return m_record ? FindAttributeInRecord(m_record, type, ordinal, m_length) : nullptr;
}

uint64_t CNTFSFileRecord::GetBaseRecordReference() const {
  return m_record ? ReadLE64(m_record + kBaseReferenceOffset) : 0;
}

bool CNTFSFileRecord::IsExtensionRecord() const {
  return GetBaseRecordReference() != 0;
}

bool CNTFSFileRecord::IsDirectory() const {
  return m_record && IsDirectoryRecord(m_record);
}

bool CNTFSFileRecord::IsInUse() const {
  return m_record && IsFileRecordInUse(m_record);
}

bool CNTFSFileRecord::HasRecordNumber() const {
  return m_record && ReadLE16(m_record + kRecordNumberMarkerOffset) == 0;
}

uint32_t CNTFSFileRecord::GetRecordNumber() const {
  return m_record ? ReadLE32(m_record + kRecordNumberOffset) : 0;
}

uint64_t CNTFSFileRecord::GetLogSequenceNumber() const {
  return m_record ? ReadLE64(m_record + kLsnOffset) : 0;
}
