#include "NTFSIndexRecord.h"

#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CNTFSFileRecordAttribute.h"

using namespace ntfs_index;

namespace {

constexpr int kUsaOffset = 4;
constexpr int kUsaCount = 6;
constexpr int kLsn = 8;
constexpr int kVcn = 16;
constexpr uint32_t kStride = 512;
constexpr uint64_t kRecordMask = 0xFFFFFFFFFFFFull;

// The node header: offsets of the entries, counted from its own start.
struct NodeHeader {
  uint64_t first = 0;
  uint64_t used = 0;
  uint64_t allocated = 0;
};

NodeHeader ReadNodeHeader(const uint8_t* at) {
  return {ReadLE32(at), ReadLE32(at + 4), ReadLE32(at + 8)};
}

// An entry at `offset` inside [.., end): its length and flags lie inside,
// its length is at least 16 and ends inside.
bool EntryInside(const uint8_t* base, uint64_t offset, uint64_t end, uint16_t& length, uint16_t& flags) {
  if (offset + kEntryMinimumLength > end) return false;
  length = ReadLE16(base + offset + 8);
  flags = ReadLE16(base + offset + 12);
  return length >= kEntryMinimumLength && offset + length <= end;
}

struct EntryKey {
  uint64_t parent;  // record and sequence number
  uint64_t allocated;
  uint64_t real;
  uint8_t nameLength;
};

EntryKey ReadKey(const uint8_t* entry) {
  const uint8_t* key = entry + kEntryKeyOffset;
  return {ReadLE64(key), ReadLE64(key + 40), ReadLE64(key + 48), key[64]};
}

}  // namespace

bool IsIndexRecordHeader(const uint8_t* block, int length) {
  return block && length >= 4 && std::memcmp(block, "INDX", 4) == 0;
}

bool IsValidIndexRecord(const uint8_t* block, int length) {
  if (!IsIndexRecordHeader(block, length) || length < kHeaderLength + kNodeHeaderLength) return false;
  const NodeHeader h = ReadNodeHeader(block + kHeaderLength);
  const uint64_t L = static_cast<uint64_t>(length);
  if (!(kHeaderLength + h.first + kEntryMinimumLength <= kHeaderLength + h.used && h.used <= h.allocated &&
        kHeaderLength + h.allocated <= L))
    return false;
  const uint32_t usa = ReadLE16(block + kUsaOffset);
  const uint32_t count = ReadLE16(block + kUsaCount);
  if (count < 1 || count > 16 || usa < 40 || usa > 256) return false;
  if (usa + 2u * count > L || L / kStride < count - 1) return false;
  return count - 1 == static_cast<uint16_t>((h.allocated + h.first) / kStride);
}

bool CheckIndexRecordFixups(const uint8_t* block, int length) {
  if (!IsValidIndexRecord(block, length)) return false;
  const uint32_t usa = ReadLE16(block + kUsaOffset);
  const uint32_t count = ReadLE16(block + kUsaCount);
  const uint16_t usn = ReadLE16(block + usa);
  for (uint32_t k = 0; k + 1 < count; ++k)
    if (ReadLE16(block + kStride * k + kStride - 2) != usn) return false;
  return true;
}

bool ApplyIndexRecordFixups(uint8_t* block, int length) {
  if (!CheckIndexRecordFixups(block, length)) return false;
  const uint32_t usa = ReadLE16(block + kUsaOffset);
  const uint32_t count = ReadLE16(block + kUsaCount);
  for (uint32_t k = 0; k + 1 < count; ++k) std::memcpy(block + kStride * k + kStride - 2, block + usa + 2 * (k + 1), 2);
  return true;
}

bool UndoIndexRecordFixups(uint8_t* block, int length) {
  if (!IsValidIndexRecord(block, length)) return false;
  const uint32_t usa = ReadLE16(block + kUsaOffset);
  const uint32_t count = ReadLE16(block + kUsaCount);
  for (uint32_t k = 0; k + 1 < count; ++k) {
    uint8_t* end = block + kStride * k + kStride - 2;
    std::memcpy(block + usa + 2 * (k + 1), end, 2);
    std::memcpy(end, block + usa, 2);
  }
  return true;
}

bool IndexEntriesShareParent(const uint8_t* block, int length) {
  if (!IsValidIndexRecord(block, length)) return false;
  const NodeHeader h = ReadNodeHeader(block + kHeaderLength);
  const uint64_t end = kHeaderLength + h.used;
  uint64_t offset = kHeaderLength + h.first;
  bool haveParent = false;
  uint64_t parent = 0;
  while (offset < end) {
    uint16_t entryLength = 0, flags = 0;
    if (offset + kEntryMinimumLength <= end && ReadLE16(block + offset + 8) == 0 &&
        !(ReadLE16(block + offset + 12) & kEntryLast))
      return true;  // a zero length ends the entries
    if (!EntryInside(block, offset, end, entryLength, flags)) return false;
    if (flags & kEntryLast) return true;
    if (flags != kEntryHasSubNode) {
      if (entryLength < kEntryWithKeyLength) return false;
      const EntryKey key = ReadKey(block + offset);
      if (key.allocated < key.real) return false;
      if (!haveParent) {
        haveParent = true;
        parent = key.parent;
      } else if (key.parent != parent) {
        return false;
      }
    }
    offset += entryLength;
  }
  return true;
}

bool AnalyzeIndexRecordBuffer(const uint8_t* block, int length) {
  if (!IsValidIndexRecord(block, length)) return false;
  const NodeHeader h = ReadNodeHeader(block + kHeaderLength);
  std::vector<uint8_t> copy(block, block + kHeaderLength + h.allocated);
  const int size = static_cast<int>(copy.size());
  if (!ApplyIndexRecordFixups(copy.data(), size)) return false;
  return IndexEntriesShareParent(copy.data(), size);
}

int64_t GetIndexRecordParentReference(const uint8_t* block, int length) {
  if (!IsValidIndexRecord(block, length)) return -1;
  const NodeHeader h = ReadNodeHeader(block + kHeaderLength);
  const uint64_t offset = kHeaderLength + h.first;
  if (offset + kEntryKeyOffset + 8 > kHeaderLength + h.used) return -1;
  return static_cast<int64_t>(ReadLE64(block + offset + kEntryKeyOffset) & kRecordMask);
}

uint64_t GetIndexRecordVCN(const uint8_t* block) {
  return ReadLE64(block + kVcn);
}

uint64_t GetIndexRecordLSN(const uint8_t* block) {
  return ReadLE64(block + kLsn);
}

bool IsIndexRootValueComplete(const uint8_t* attribute, int64_t bytesLeft) {
  if (!CNTFSFileRecordAttribute::IsValidAttributeHeader(attribute, bytesLeft) ||
      !CNTFSFileRecordAttribute::IsResident(attribute))
    return false;
  const uint8_t* value = CNTFSFileRecordAttribute::GetValue(attribute);
  const uint64_t valueLength = CNTFSFileRecordAttribute::GetValueLength(attribute);
  if (!value || valueLength < 16 + kNodeHeaderLength) return false;
  const NodeHeader h = ReadNodeHeader(value + 16);
  return h.first + kEntryMinimumLength <= h.used && 16 + h.used <= valueLength;
}

int64_t GetIndexRootParentReference(const uint8_t* attribute, int64_t bytesLeft) {
  if (!IsIndexRootValueComplete(attribute, bytesLeft)) return -1;
  const uint8_t* node = CNTFSFileRecordAttribute::GetValue(attribute) + 16;
  const NodeHeader h = ReadNodeHeader(node);
  int64_t result = -1;
  for (uint64_t offset = h.first; offset < h.used;) {
    uint16_t entryLength = 0, flags = 0;
    if (!EntryInside(node, offset, h.used, entryLength, flags) || (flags & kEntryLast)) break;
    if (entryLength < kEntryWithKeyLength) break;
    const EntryKey key = ReadKey(node + offset);
    if (flags != kEntryHasSubNode && (key.nameLength == 0 || key.allocated < key.real)) break;
    const int64_t parent = static_cast<int64_t>(key.parent & kRecordMask);
    if (result == -1)
      result = parent;
    else if (parent != result)
      return -1;
    offset += entryLength;
  }
  return result;
}

bool IsClusterAligned(uint64_t sector, uint64_t cluster, uint64_t base, uint32_t sectorsPerCluster) {
  if (sectorsPerCluster == 0 || sector < base) return false;
  const uint64_t d = sector - base;
  return d % sectorsPerCluster == 0 && d / sectorsPerCluster == cluster;
}
