// FILE records of the MFT: header test, update-sequence fixups, attribute
// walks, and a read view that never changes the caller's buffer.
#pragma once

#include <cstdint>
#include <vector>

// Records shorter than this are never valid; bytes allocated is at most the
// maximum, so nothing past it belongs to a record.
constexpr int kNTFSMinRecordLength = 1024;
constexpr int kNTFSMaxRecordLength = 4096;
// Fixups protect every 512-byte stride of a record, whatever the sector size.
constexpr int kNTFSFixupStride = 512;

// Header fields (the record points at 48 readable bytes at least).
bool IsFileRecordHeader(const uint8_t* record);
uint16_t GetFirstAttributeOffset(const uint8_t* record);
uint32_t GetBytesInUse(const uint8_t* record);
bool IsFileRecordInUse(const uint8_t* record);
bool IsDirectoryRecord(const uint8_t* record);

// At least 1024 bytes, a sound header and sound attributes (tested with the
// fixups applied to a private copy when they check out). The buffer is never
// written.
bool IsValidFileRecord(const uint8_t* record, int length);

// Update-sequence fixups over every 512-byte stride that both the sequence
// count and `length` cover. All refuse lengths below 1024 and sequence
// arrays that do not fit in the buffer; apply runs only after the check.
// Undo turns an applied record back into its stored form byte for byte.
bool CheckFileRecordFixups(const uint8_t* record, int length);
bool ApplyFileRecordFixups(uint8_t* record, int length);
bool UndoFileRecordFixups(uint8_t* record, int length);

// Attribute walks from the first attribute while an attribute header (8
// bytes) still fits in the record: below 1016 in a 1024-byte record, 4088 in
// a 4096-byte one (large folders keep attributes there). They stop at the end marker (CountAttributes excepted), at a
// zero length, and at an attribute that does not lie wholly inside `length` bytes, so every header they hand out can be
// read up to its own length.
const uint8_t* FindAttributeInRecord(const uint8_t* record, uint32_t type, int ordinal,
                                     int length = kNTFSMinRecordLength);
int FindAttributeOffset(const uint8_t* record, uint32_t type, int ordinal, int length = kNTFSMinRecordLength);
int CountAttributes(const uint8_t* record, uint32_t type, int length = kNTFSMinRecordLength);
bool CheckAttributes(const uint8_t* record, int length);
bool HasAttributeList(const uint8_t* record, int length = kNTFSMinRecordLength);

// A read view over one record. A refused buffer gives an invalid view. When
// the fixups check out they are applied to a copy the view owns; the caller's
// buffer is never written, so it can always be written back as it was read.
class CNTFSFileRecord {
 public:
  CNTFSFileRecord(const uint8_t* buffer, int length, bool copy);
  CNTFSFileRecord(const CNTFSFileRecord&) = delete;
  CNTFSFileRecord& operator=(const CNTFSFileRecord&) = delete;

  bool IsValid() const { return m_record != nullptr; }
  // The bytes to read from (fixups applied when they checked out).
  const uint8_t* GetRecord() const { return m_record; }
  int GetLength() const { return m_length; }
  bool AreFixupsApplied() const { return m_fixupsApplied != 0; }
  // The record as stored on disk, fixups undone.
  bool CopyStoredRecord(std::vector<uint8_t>& out) const;

  const uint8_t* FindAttribute(uint32_t type, int ordinal) const;
  bool IsExtensionRecord() const;
  bool IsDirectory() const;
  bool IsInUse() const;
  bool HasRecordNumber() const;
  uint32_t GetRecordNumber() const;
  uint64_t GetLogSequenceNumber() const;
  uint64_t GetBaseRecordReference() const;

 private:
  const uint8_t* m_record = nullptr;
  int m_ownsCopy = 0;
  uint8_t m_fixupsApplied = 0;
  int m_length = 0;
  std::vector<uint8_t> m_copy;
};
