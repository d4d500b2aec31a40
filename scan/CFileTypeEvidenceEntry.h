// One piece of file-name evidence a file-system search gathers: the type of a
// file as its name's extension tells it, where the file's data begins and
// where the record that named it lies. CFileTypeEvidence compares these with
// the files the RAW search carved by their signatures.
//
// The extension -> type-id lookup belongs to the carving engine, which
// registers it with RegisterFileTypeIdLookup; until it does, no name gives a
// type and no entry is filled.
#pragma once

#include <cstddef>
#include <cstdint>

// The file-type id of an extension of 1 to kMaxExtensionLength UTF-16
// characters (without the dot, in any case), or 0 when none is known.
using FileTypeIdLookup = uint16_t (*)(const char16_t* extension, size_t count);

// Replaces the lookup; null removes it. Safe against lookups on other threads.
void RegisterFileTypeIdLookup(FileTypeIdLookup lookup);

// Longer extensions name no type.
constexpr size_t kMaxExtensionLength = 4;

// The type id of a name of `length` characters through the registered
// lookup, asked for the characters after the name's last dot (8-bit
// characters widened as they are). 0 when no lookup is registered, for a
// name shorter than 3, without a dot, whose only dot is its first
// character, ending in a dot, or whose extension is longer than
// kMaxExtensionLength, and for an extension the lookup does not know.
uint16_t FileTypeIdOfName(const char16_t* name, size_t length);
uint16_t FileTypeIdOfName(const char* name, size_t length);

class CFileTypeEvidenceEntry {
 public:
  // `name` is `length` UTF-16 units long (the length a $FILE_NAME attribute
  // or an exFAT name entry gives); `firstCluster` is a run cluster, counted
  // from the partition's CSearchedPartitionInfo::GetClusterStartSector;
  // `recordSector` is the device sector of the record that named the file.
  // False, and the entry unchanged, when the name gives no type or the
  // cluster or the sector is negative.
  bool InitFromWideName(const char16_t* name, size_t length, int64_t firstCluster, int64_t recordSector);
  // The same for an 8-bit name of `length` bytes.
  bool InitFromNarrowName(const char* name, size_t length, int64_t firstCluster, int64_t recordSector);

  uint16_t GetTypeId() const { return m_typeId; }             // 0: none
  int64_t GetFirstCluster() const { return m_firstCluster; }  // -1: not known
  int64_t GetRecordSector() const { return m_recordSector; }  // -1: not known

 private:
  bool Init(uint16_t typeId, int64_t firstCluster, int64_t recordSector);

  uint16_t m_typeId = 0;
  int64_t m_firstCluster = -1;
  int64_t m_recordSector = -1;
};
