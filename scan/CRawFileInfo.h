// The record of one carved file: where it starts, how large it is (0: not
// known), its date text and its carving type.
#pragma once

#include <cstdint>
#include <string>

class CRawFileInfo {
 public:
  CRawFileInfo() = default;
  CRawFileInfo(uint64_t startSector, uint64_t fileSize, std::string dateText, int typeId, std::string typeName)
      : m_startSector(startSector),
        m_fileSize(fileSize),
        m_dateText(std::move(dateText)),
        m_typeId(typeId),
        m_typeName(std::move(typeName)) {}

  uint64_t GetStartSector() const { return m_startSector; }
  void SetStartSector(uint64_t s) { m_startSector = s; }
  uint64_t GetFileSize() const { return m_fileSize; }
  void SetFileSize(uint64_t s) { m_fileSize = s; }
  const std::string& GetDateText() const { return m_dateText; }
  void SetDateText(const std::string& t) { m_dateText = t; }
  void GetRawFileType(int& typeId, std::string& typeName) const {
    typeId = m_typeId;
    typeName = m_typeName;
  }
  int GetRawFileTypeId() const { return m_typeId; }
  void SetRawFileType(int typeId, const std::string& typeName) {
    m_typeId = typeId;
    m_typeName = typeName;
  }

 private:
  uint64_t m_startSector = 0;
  uint64_t m_fileSize = 0;
  std::string m_dateText;
  int m_typeId = -1;
  std::string m_typeName;
};
