// A FILE record found by a search: where it lies, what it is, and the
// properties made from it.
#pragma once

#include <cstdint>

#include "CNTFSFileRecord.h"

class IFileProperties;

class CCommonFileRecordInfo {
 public:
  CCommonFileRecordInfo() = default;
  CCommonFileRecordInfo(const CCommonFileRecordInfo&) = delete;
  CCommonFileRecordInfo& operator=(const CCommonFileRecordInfo&) = delete;
  // Releases the properties' reference.
  ~CCommonFileRecordInfo();
  // Deletes the info (null allowed).
  static void Delete(CCommonFileRecordInfo* info) { delete info; }

  // False for an invalid view. Takes the directory flag, the record number
  // (when the record holds one), the parent (second $FILE_NAME's when at
  // least 5, else the first's when at least 5, else -1) and the sector.
  bool SetFromRecord(const CNTFSFileRecord& record, uint64_t sector);
  bool SetFromBuffer(const uint8_t* buffer, int length, uint64_t sector);

  int IsDirectory() const { return m_directory; }
  void SetDirectory(int directory) { m_directory = directory; }
  uint64_t GetSector() const { return m_sector; }
  void SetSector(uint64_t sector) { m_sector = sector; }
  int64_t GetParentRecordNumber() const { return m_parent; }
  void SetParentRecordNumber(int64_t parent) { m_parent = parent; }
  int64_t GetRecordNumber() const { return m_recordNumber; }
  void SetRecordNumber(int64_t number) { m_recordNumber = number; }
  IFileProperties* GetProperties() const { return m_properties; }
  // Takes over one reference to `properties` and releases the old one.
  void SetProperties(IFileProperties* properties);

 private:
  int m_directory = 0;
  uint64_t m_sector = 0;
  int64_t m_parent = -1;
  IFileProperties* m_properties = nullptr;
  int64_t m_recordNumber = -1;
};

// The parent rule of found records: the second $FILE_NAME's parent when it is
// at least 5, else the first's when at least 5, else -1.
int64_t GetFoundRecordParent(const uint8_t* firstName, const uint8_t* secondName);
