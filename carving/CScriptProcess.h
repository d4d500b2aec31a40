// The reader of one user-defined carving script ("*.fhs").
//
// A script is a short text (at most 1024 bytes; the text ends at its first
// zero byte) of lines separated by CR LF. Each line is a keyword, a colon and
// parameters: "REMARK:" anything, "FILEINFO: EXTNAME=..." naming the file
// type's extension, and "FILESIGN: OFFSET=0x.. TYPE=CHAR|BYTE VALUE=..."
// naming bytes that must stand at a fixed offset of a file's first sector.
// Every line must be valid, or the script is refused.
//
// The file is opened read-only (a read-only install loads its scripts), with
// plain reads; anything but a regular file is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One FILESIGN line: `length` bytes (0-16) at `offset` (0-496) of a sector.
struct CustomSignature {
  int offset = 0;
  int length = 0;
  uint8_t bytes[16] = {};
};

class CScriptProcess {
 public:
  static constexpr size_t kMaxScriptBytes = 1024;
  static constexpr int kMaxOffset = 0x1F0;
  static constexpr int kMaxSignatureBytes = 16;
  static constexpr size_t kMaxExtensionLength = 16;

  CScriptProcess() = default;
  virtual ~CScriptProcess() = default;
  CScriptProcess(const CScriptProcess&) = delete;
  CScriptProcess& operator=(const CScriptProcess&) = delete;

  // Reads the file at `path` (closing an open one first). False when it
  // cannot be opened or read, or is not a regular file.
  bool Open(const std::string& path);
  // Takes `bytes` as the file's content (as Open would have read it).
  void OpenText(const std::string& bytes);
  void Close();
  bool IsOpen() const { return m_open; }

  // True when the script is open, at most 1024 bytes long and every line
  // passes CheckLine.
  bool CheckScript();
  // Line `n` (0 first), trimmed of blanks and tabs; false past the last.
  bool GetLine(size_t n, std::string& line) const;
  size_t GetLineCount() const { return m_lines.size(); }

  // The text before the line's first ':', trimmed; "" without a ':'.
  static std::string GetKeyword(const std::string& line);
  // The value of parameter `key` ("EXTNAME", "OFFSET", "TYPE", "VALUE"),
  // "" when absent. A quoted value keeps its quotes.
  static std::string GetKeyValue(const std::string& line, const std::string& key);
  static bool CheckLine(const std::string& line);
  // FILEINFO line -> the extension in upper case (1-16 characters).
  static bool ParseFileInfo(const std::string& line, std::string& extension);
  // FILESIGN line -> one signature.
  static bool ParseSignature(const std::string& line, CustomSignature& signature);

  // The extension of the first FILEINFO line; false when there is none.
  bool ReadFileInfo(std::string& extension) const;
  // From line `cursor` on: the next FILESIGN line's signature, with the
  // cursor left after it; false at the end.
  bool ReadNextSignature(size_t& cursor, CustomSignature& signature) const;

  // Why the last Open or CheckScript failed, for the run log; "" when not.
  const std::string& GetFailure() const { return m_failure; }
  // True when the text holds line feeds but no CR LF: such a script is read
  // as a single line.
  bool HasLineFeedsOnly() const;

 private:
  void SplitLines();

  bool m_open = false;
  size_t m_fileBytes = 0;  // the file's whole length
  std::string m_text;      // its first 1024 bytes, up to the first zero byte
  std::vector<std::string> m_lines;
  std::string m_failure;
};
