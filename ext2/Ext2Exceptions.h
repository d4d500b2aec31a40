// The failures of the Ext2 reader. Every one derives from std::exception;
// the reader's callers catch std::exception at a few points and absorb the
// failure or append it to "Ext2Error.log".
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class CExt2BadSuperBlock : public std::exception {};
class CExt2BadGroupDescriptor : public std::exception {};
class CExt2ReadSectorError : public std::exception {};

// The file system uses an incompatible feature the reader does not read;
// it is refused as a whole rather than misread. what() names the features.
class CExt2UnsupportedFeature : public std::exception {
 public:
  explicit CExt2UnsupportedFeature(const std::string& features)
      : m_text("the file system uses features this program cannot read: " + features) {}
  const char* what() const noexcept override { return m_text.c_str(); }

 private:
  std::string m_text;
};

// A processor fault while parsing. The reader checks its input before every
// operation that could fault, so nothing raises this on its own here; it is
// kept so the catch points and the log read the same for any caller that
// turns a fault into an exception.
class CStructuredException : public std::exception {
 public:
  explicit CStructuredException(uint32_t code, const void* address = nullptr) : m_code(code), m_address(address) {}
  const char* what() const noexcept override;
  uint32_t Code() const { return m_code; }
  const void* Address() const { return m_address; }

 private:
  uint32_t m_code;
  const void* m_address;
};

// A system error code with its text (filled from strerror when empty).
class Ext2SystemError : public std::exception {
 public:
  Ext2SystemError(std::string text, int code) : m_text(std::move(text)), m_code(code) {}
  const char* what() const noexcept override;
  int Code() const { return m_code; }

 private:
  mutable std::string m_text;
  int m_code;
};

// Kept for the entry points that install it; nothing needs installing
// because the reader never lets a fault happen.
void InstallStructuredExceptionTranslator();

// Appends `text` and a line end to "Ext2Error.log" in the current folder.
// Best effort: nothing happens when the file cannot be opened or text is null.
void AppendExt2ErrorLog(const char* text);
// The two lines written per caught exception: its type name, then what().
void LogExt2Exception(const std::exception& e);
// The same two lines as error lines of the run log (RunLog.h).
void ReportExt2Exception(const std::exception& e);
