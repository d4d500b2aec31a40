#include "CScriptProcess.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool SameIgnoringCase(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "0x" or "0X" and 1 to 8 hexadecimal digits, at most `maxLength`
// characters in all and a value of at most `maxValue`.
bool ParseHex(const std::string& text, size_t maxLength, uint32_t maxValue, int& value) {
  if (text.size() < 3 || text.size() > maxLength || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
  uint64_t v = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    const int d = HexDigit(text[i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint64_t>(d);
  }
  if (v > maxValue) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

bool CScriptProcess::Open(const std::string& path) {
  Close();
  // Non-blocking, so that a FIFO or device named like a script cannot hold
  // up the run; anything but a regular file is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    m_failure = std::string("it cannot be opened (") + strerror(errno) + ")";
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    m_failure = "it is not a regular file";
    return false;
  }
  std::string bytes(kMaxScriptBytes, '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      m_failure = std::string("it cannot be read (") + strerror(errno) + ")";
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  OpenText(bytes);
  m_fileBytes = std::max(static_cast<size_t>(st.st_size), got);
  return true;
}

void CScriptProcess::OpenText(const std::string& bytes) {
  Close();
  m_fileBytes = bytes.size();
  const std::string head = bytes.substr(0, kMaxScriptBytes);
  m_text = head.substr(0, head.find('\0'));
  SplitLines();
  m_open = true;
}

void CScriptProcess::Close() {
  m_open = false;
  m_fileBytes = 0;
  m_text.clear();
  m_lines.clear();
  m_failure.clear();
}

void CScriptProcess::SplitLines() {
  m_lines.clear();
  size_t start = 0;
  for (;;) {
    const size_t end = m_text.find("\r\n", start);
    m_lines.push_back(Trim(m_text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) break;
    start = end + 2;
  }
}

bool CScriptProcess::CheckScript() {
  if (!m_open) {
    m_failure = "it is not open";
    return false;
  }
  if (m_fileBytes > kMaxScriptBytes) {
    m_failure = "it is longer than 1024 bytes";
    return false;
  }
  for (size_t i = 0; i < m_lines.size(); ++i) {
    if (!CheckLine(m_lines[i])) {
      m_failure = "line " + std::to_string(i + 1) + " is not valid";
      return false;
    }
  }
  return true;
}

bool CScriptProcess::GetLine(size_t n, std::string& line) const {
  if (n >= m_lines.size()) return false;
  line = m_lines[n];
  return true;
}

std::string CScriptProcess::GetKeyword(const std::string& line) {
  const size_t colon = line.find(':');
  return colon == std::string::npos ? std::string() : Trim(line.substr(0, colon));
}

std::string CScriptProcess::GetKeyValue(const std::string& line, const std::string& key) {
  const size_t at = line.find(key);
  if (key.empty() || at == std::string::npos) return std::string();
  const size_t equals = line.find('=', at);
  if (equals == std::string::npos) return std::string();
  for (size_t i = at + key.size(); i < equals; ++i)
    if (!IsBlank(line[i])) return std::string();
  size_t start = equals + 1;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start >= line.size()) return std::string();
  if (line[start] == '"') return line.substr(start, line.rfind('"') - start + 1);
  const size_t end = line.find_first_of(" \t\n", start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool CScriptProcess::CheckLine(const std::string& line) {
  if (line.find(':') == std::string::npos) return false;
  const std::string keyword = GetKeyword(line);
  if (SameIgnoringCase(keyword, "REMARK")) return true;
  if (SameIgnoringCase(keyword, "FILEINFO")) {
    std::string extension;
    return ParseFileInfo(line, extension);
  }
  if (SameIgnoringCase(keyword, "FILESIGN")) {
    CustomSignature signature;
    return ParseSignature(line, signature);
  }
  return false;
}

bool CScriptProcess::ParseFileInfo(const std::string& line, std::string& extension) {
  // The value loses its first and last characters (a quoted value its
  // quotes).
  const std::string value = GetKeyValue(line, "EXTNAME");
  if (value.size() < 2) return false;
  std::string inner = value.substr(1, value.size() - 2);
  if (inner.empty() || inner.size() > kMaxExtensionLength) return false;
  for (char& c : inner)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  extension = inner;
  return true;
}

bool CScriptProcess::ParseSignature(const std::string& line, CustomSignature& signature) {
  CustomSignature parsed;
  if (!ParseHex(GetKeyValue(line, "OFFSET"), 10, kMaxOffset, parsed.offset)) return false;
  const std::string type = GetKeyValue(line, "TYPE");
  const std::string value = GetKeyValue(line, "VALUE");
  if (value.empty() || value.back() == ',') return false;
  if (SameIgnoringCase(type, "CHAR")) {
    // The text between the quotes, byte for byte.
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
    const size_t length = value.size() - 2;
    if (length > static_cast<size_t>(kMaxSignatureBytes)) return false;
    memcpy(parsed.bytes, value.data() + 1, length);
    parsed.length = static_cast<int>(length);
  } else if (SameIgnoringCase(type, "BYTE")) {
    size_t start = 0;
    for (;;) {
      const size_t comma = value.find(',', start);
      const bool last = comma == std::string::npos;
      const std::string item = value.substr(start, last ? std::string::npos : comma - start);
      int byte = 0;
      if (parsed.length == kMaxSignatureBytes || !ParseHex(item, last ? 4 : 10, 0xFF, byte)) return false;
      parsed.bytes[parsed.length++] = static_cast<uint8_t>(byte);
      if (last) break;
      start = comma + 1;
    }
  } else {
    return false;
  }
  signature = parsed;
  return true;
}

bool CScriptProcess::ReadFileInfo(std::string& extension) const {
  for (const std::string& line : m_lines)
    if (SameIgnoringCase(GetKeyword(line), "FILEINFO")) return ParseFileInfo(line, extension);
  return false;
}

bool CScriptProcess::ReadNextSignature(size_t& cursor, CustomSignature& signature) const {
  while (cursor < m_lines.size()) {
    const std::string& line = m_lines[cursor++];
    if (SameIgnoringCase(GetKeyword(line), "FILESIGN")) return ParseSignature(line, signature);
  }
  return false;
}

bool CScriptProcess::HasLineFeedsOnly() const {
  return m_text.find('\n') != std::string::npos && m_text.find("\r\n") == std::string::npos;
}
