// "INDX" index blocks of folder indexes and the resident $INDEX_ROOT: the
// block tests, their update-sequence fixups, and the folder their entries
// name as parent. Every reader takes the bytes available and reads nothing
// outside them: a block's entries are walked only inside its used size, and
// every entry's length and key lie inside that range.
#pragma once

#include <cstdint>

// Block header (offsets in the block).
namespace ntfs_index {
constexpr int kHeaderLength = 24;      // the node header starts here
constexpr int kNodeHeaderLength = 16;  // first-entry offset, used, allocated, flags
constexpr int kEntryKeyOffset = 16;    // the $FILE_NAME key of an entry
constexpr int kEntryMinimumLength = 16;
// An entry that carries a $FILE_NAME key with the fields read here.
constexpr int kEntryWithKeyLength = kEntryKeyOffset + 66;
constexpr uint16_t kEntryHasSubNode = 1;
constexpr uint16_t kEntryLast = 2;
}  // namespace ntfs_index

bool IsIndexRecordHeader(const uint8_t* block, int length);
// "INDX"; 24 + first-entry offset + 16 <= 24 + used <= 24 + allocated <=
// `length`; an update-sequence count of 1 to 16 whose array lies in the
// block at an offset from 40 to 256 and whose strides the length covers,
// with count - 1 = (allocated + first-entry offset) / 512.
bool IsValidIndexRecord(const uint8_t* block, int length);

// Fixups over the first count - 1 strides of 512 bytes of a valid block.
bool CheckIndexRecordFixups(const uint8_t* block, int length);
bool ApplyIndexRecordFixups(uint8_t* block, int length);
bool UndoIndexRecordFixups(uint8_t* block, int length);

// The entries of a valid block (fixups applied) all name one parent: true at
// the last entry or an entry of length 0; false for an entry that does not
// lie inside the used range, one whose allocated size is below its real size
// and one naming another parent (record and sequence number). Entries that
// only point at a sub-node are skipped.
bool IndexEntriesShareParent(const uint8_t* block, int length);

// A valid block whose fixups check out and whose entries share a parent.
// The caller's bytes are never written.
bool AnalyzeIndexRecordBuffer(const uint8_t* block, int length);

// The parent record number (48 bits) of the first entry; -1 when the first
// entry's key does not lie inside the block's used range.
int64_t GetIndexRecordParentReference(const uint8_t* block, int length);
uint64_t GetIndexRecordVCN(const uint8_t* block);
uint64_t GetIndexRecordLSN(const uint8_t* block);

// A resident $INDEX_ROOT whose value holds its whole index node (16 bytes of
// root, then the node header and its used bytes).
bool IsIndexRootValueComplete(const uint8_t* attribute, int64_t bytesLeft);
// The folder the entries of a $INDEX_ROOT name as parent: -1 without a valid
// attribute or a complete value, without a keyed entry, or when two entries
// disagree.
int64_t GetIndexRootParentReference(const uint8_t* attribute, int64_t bytesLeft);

// (sector - base) is a whole number of clusters of k sectors, `cluster` of them.
bool IsClusterAligned(uint64_t sector, uint64_t cluster, uint64_t base, uint32_t sectorsPerCluster);
