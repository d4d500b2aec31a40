// The fields that the NTFS, FAT and Ext2 properties share (name, size,
// attribute word, three FILETIMEs, deleted and status flags, packed runs),
// and the saved-form pieces they share.
#pragma once

#include <memory>
#include <string>

#include "CPackedDataRuns.h"
#include "IFileProperties.h"

// The saved fields the three members share.
struct FileCommonFields {
  std::string name;
  int64_t size = 0;
  uint16_t attributes = 0;
  uint64_t creation = 0, modification = 0, access = 0;
  uint8_t deleted = 0;
};

class CBasicFileProperties : public IFileProperties {
 public:
  void SetName(const char* name) override { m_name = name ? name : ""; }
  const char* GetName() const override { return m_name.c_str(); }
  int64_t GetFileSize() const override { return m_size; }
  uint16_t GetAttributes() const override { return m_attributes; }
  uint64_t GetCreationTime() const override { return m_creation; }
  uint64_t GetModificationTime() const override { return m_modification; }
  uint64_t GetAccessTime() const override { return m_access; }
  uint8_t IsDeleted() const override { return m_deleted; }
  void SetDeleted(uint8_t deleted) override { m_deleted = deleted; }
  IDataRunList* GetDataRunList() const override;
  uint8_t GetStatusFlag() const override { return m_status; }
  // Stores the value and answers the old one.
  int SetStatusFlag(uint8_t value) override;

  void SetFileSize(int64_t size) { m_size = size; }
  void SetAttributes(uint16_t attributes) { m_attributes = attributes; }
  void SetCreationTime(uint64_t t) { m_creation = t; }
  void SetModificationTime(uint64_t t) { m_modification = t; }
  void SetAccessTime(uint64_t t) { m_access = t; }
  const CPackedDataRuns* GetPackedRuns() const { return m_packed.get(); }
  // Packs the list in place of earlier runs; the list stays the caller's.
  void PackRuns(const IDataRunList* list);

 protected:
  // Saved fields shared by the three members: u16 name length, the name
  // bytes, size, attribute word, three times, deleted. `withTerminator`:
  // the length and bytes count the terminating zero.
  using Common = FileCommonFields;
  bool SaveCommon(IScanStream* s, bool withTerminator) const;
  static bool LoadCommon(IScanStream* s, Common& out);
  // Takes the fields over; the status flag stays.
  void Assign(Common&& c);
  // u32 1 and the packed runs, or u32 0.
  bool SaveOptionalRuns(IScanStream* s) const;
  static bool LoadOptionalRuns(IScanStream* s, std::unique_ptr<CPackedDataRuns>& out);
  // The saved form of the FAT and exFAT members: the common fields (no
  // terminator), two u32 words, the optional runs. Load takes everything
  // over and clears the status flag, or changes nothing.
  bool SaveWithTwoWords(IScanStream* s, uint32_t first, uint32_t second) const;
  bool LoadWithTwoWords(IScanStream* s, uint32_t& first, uint32_t& second);

  std::string m_name;
  int64_t m_size = 0;
  uint16_t m_attributes = 0;
  uint64_t m_creation = 0;
  uint64_t m_modification = 0;
  uint64_t m_access = 0;
  uint8_t m_deleted = 0;
  uint8_t m_status = 0;
  std::unique_ptr<CPackedDataRuns> m_packed;
};

// A new properties object of type T loaded from the stream, or null.
template <class T>
T* LoadFileProperties(IScanStream* stream) {
  T* p = new T;
  if (!p->Load(stream)) {
    p->Release();
    return nullptr;
  }
  return p;
}

// The text of `bytes` up to its first zero.
std::string TextUpToZero(const std::vector<uint8_t>& bytes);
