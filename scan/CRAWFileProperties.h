// The properties of a carved file.
#pragma once

#include <memory>
#include <string>

#include "CPackedDataRuns.h"
#include "IFileProperties.h"

class CRawFileInfo;

class CRAWFileProperties : public IFileProperties {
 public:
  // Longest name, date text or type name kept: the length bytes count the
  // terminating zero and hold at most 255.
  static constexpr size_t kMaxText = 254;

  // The name length byte (counting the terminator; 0 before a name is set).
  int GetNameLength() const override { return m_nameLength; }
  // Does nothing: carved files are named by SetRawFileName.
  void SetName(const char*) override {}
  const char* GetName() const override { return m_name.c_str(); }
  int64_t GetFileSize() const override { return m_size; }
  uint16_t GetAttributes() const override { return m_attributes; }
  std::string GetTimeText() const override { return m_dateText; }
  // From the date text "%d:%d:%d %d:%d:%d" (missing fields 0); 0 for an
  // empty or invalid text.
  uint64_t GetCreationTime() const override;
  uint64_t GetModificationTime() const override { return GetCreationTime(); }
  uint64_t GetAccessTime() const override { return 0; }
  uint8_t IsDeleted() const override { return m_deleted; }
  void SetDeleted(uint8_t deleted) override { m_deleted = deleted; }
  IDataRunList* GetDataRunList() const override { return m_packed ? m_packed->Unpack() : nullptr; }
  int GetSupportedFields() const override { return 0x1CF; }
  uint8_t GetStatusFlag() const override { return m_status; }
  int SetStatusFlag(uint8_t value) override {
    m_status = value;
    return 1;
  }
  bool Save(IScanStream* stream) const override;
  EPartitionKind GetSearchKind() const override { return EPartitionKind::RAW; }
  bool Load(IScanStream* stream) override;
  void GetRawFileType(int& typeId, std::string& typeName) const override;
  void GetRawExtent(uint64_t& first, uint64_t& second) const override;

  void SetAttributes(uint16_t attributes) { m_attributes = attributes; }
  // Each text is cut to kMaxText bytes (at a character boundary) before its
  // length byte is computed.
  void SetRawFileName(const char* name);
  void SetTimeText(const std::string& text);
  // Trailing blanks go; \ / : ? " < > | * CR LF become "_".
  void SetRawFileType(int typeId, const std::string& typeName);
  void SetRawExtent(uint64_t first, uint64_t second);
  // Size, date text, type and one run {start sector, size in 512-byte
  // sectors rounded up}. Answers 1.
  int SetFromRawFileInfo(const CRawFileInfo& info);

 private:
  std::string m_name;
  uint8_t m_nameLength = 0;
  int64_t m_size = 0;
  uint16_t m_attributes = 0;
  uint8_t m_status = 0;
  uint8_t m_deleted = 0;
  std::string m_dateText;
  uint8_t m_dateTextLength = 0;
  int m_typeId = -1;
  std::string m_typeName;
  uint8_t m_typeNameLength = 0;
  std::unique_ptr<CPackedDataRuns> m_packed;
  uint64_t m_extent1 = 0;
  uint64_t m_extent2 = 0;
};

CRAWFileProperties* CreateRAWFileProperties();
CRAWFileProperties* LoadRAWFileProperties(IScanStream* stream);
// `text` cut to at most `maxBytes` bytes without splitting a UTF-8 character.
std::string ClampUtf8(const std::string& text, size_t maxBytes);
