// The record of one carved file: where it starts, how large it is (0: not
// known yet), which file type and which analyser found it, and the texts
// and extent the analyser reported. Made by whoever finds the file, then
// owned and deleted by the found-file store of the recovery.
#pragma once

#include <cstdint>
#include <string>

#include "SanitizeFileName.h"

class IRawFileAnalyser;

class CRawFileInfo {
 public:
  // The analyser type id of a record no analyser has claimed.
  static constexpr int kNoAnalyserTypeId = 0xFFFF;

  CRawFileInfo() = default;
  CRawFileInfo(uint64_t startSector, uint64_t fileSize, std::string dateText, int rawTypeId,
               const std::string& rawTypeName)
      : m_startSector(startSector), m_fileSize(fileSize), m_dateText(std::move(dateText)) {
    SetRawFileType(rawTypeId, rawTypeName);
  }

  uint64_t GetStartSector() const { return m_startSector; }
  void SetStartSector(uint64_t s) { m_startSector = s; }
  uint64_t GetFileSize() const { return m_fileSize; }
  void SetFileSize(uint64_t s) { m_fileSize = s; }

  // Row of the file-type table; may be a variant of the analyser's own type.
  int GetFileType() const { return m_fileType; }
  void SetFileType(int id) { m_fileType = id; }
  int GetAnalyserTypeId() const { return m_analyserTypeId; }
  void SetAnalyserTypeId(int id) { m_analyserTypeId = id; }

  // Placed in front of the carved file's number; stored through
  // SanitizeFileName.
  const std::string& GetNamePrefix() const { return m_namePrefix; }
  void SetNamePrefix(const std::string& t) { m_namePrefix = SanitizeFileName(t); }
  // Stored unchanged.
  const std::string& GetDateText() const { return m_dateText; }
  void SetDateText(const std::string& t) { m_dateText = t; }

  // The sub-classification handed on to the file's properties; the name is
  // stored through SanitizeFileName.
  void GetRawFileType(int& typeId, std::string& typeName) const {
    typeId = m_rawTypeId;
    typeName = m_rawTypeName;
  }
  int GetRawFileTypeId() const { return m_rawTypeId; }
  void SetRawFileType(int typeId, const std::string& typeName) {
    m_rawTypeId = typeId;
    m_rawTypeName = SanitizeFileName(typeName);
  }

  // The analyser that matched; not owned.
  IRawFileAnalyser* GetAnalyser() const { return m_analyser; }
  void SetAnalyser(IRawFileAnalyser* a) { m_analyser = a; }

  void GetExtent(uint64_t& first, uint64_t& second) const {
    first = m_extentFirst;
    second = m_extentSecond;
  }
  void SetExtent(uint64_t first, uint64_t second) {
    m_extentFirst = first;
    m_extentSecond = second;
  }

 private:
  uint64_t m_startSector = 0;
  uint64_t m_fileSize = 0;
  int m_fileType = 0;
  int m_analyserTypeId = kNoAnalyserTypeId;
  std::string m_namePrefix;
  std::string m_dateText;
  int m_rawTypeId = -1;
  std::string m_rawTypeName;
  IRawFileAnalyser* m_analyser = nullptr;
  uint64_t m_extentFirst = 0;
  uint64_t m_extentSecond = 0;
};
