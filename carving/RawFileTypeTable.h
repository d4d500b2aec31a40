// The file-type table of RAW carving. Every carved file, and every file a
// directory entry names, is classified by a file-type id: rows 0-110 are
// built in (an extension of at most 8 characters without the dot, and a
// description); rows 1000-1999 are claimed at run time by the carving
// scripts and seen by the analysers only. Id 0 ("Raw") means no known type.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

constexpr int kRawFileTypeRows = 2000;
constexpr int kLastFixedRawFileType = 110;
constexpr int kFirstScriptFileType = 1000;
constexpr int kLastScriptFileType = 1999;
constexpr size_t kMaxRawExtensionLength = 8;
// A script's extension (1-16 characters) is kept whole in its row.
constexpr size_t kMaxScriptExtensionLength = 16;

// The table as built in: the texts of rows 0-110, "" for every other row
// (also 1000-1999, whatever the scripts claimed) and for ids outside it.
// The extension map and the carved-file naming read these.
const char* GetRawFileExtension(int id);
const char* GetRawFileDescription(int id);

// The analysers' view of the table: the built-in rows, and rows 1000-1999
// as the carving scripts claim them. Process-wide; safe to use from several
// threads.
class CAnalyserFileTypeTable {
 public:
  static CAnalyserFileTypeTable& Instance();

  // The extension of row `id`: a built-in row, a claimed script row, or "".
  std::string GetExtension(int id) const;
  // The script row holding `extension` already (compared ignoring case),
  // else the first empty one, which now holds it (up to 16 characters).
  // -1 for an empty extension or when all 1000 rows hold others.
  int ClaimScriptRow(const std::string& extension);
  // Empties every script row (tests).
  void ForgetScriptRows();

 private:
  CAnalyserFileTypeTable() = default;
  mutable std::mutex m_lock;
  std::string m_scriptRows[kLastScriptFileType - kFirstScriptFileType + 1];
};
