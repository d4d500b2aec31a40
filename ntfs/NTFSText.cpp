#include "NTFSText.h"

#include <cstring>

namespace {

void AppendCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

template <class Unit>
std::string Convert(size_t count, Unit unit) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count) {
      const uint32_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    AppendCodePoint(out, cp);
  }
  return out;
}

}  // namespace

std::string NTFSNameToUtf8(const uint8_t* units, size_t count) {
  return Convert(count, [units](size_t i) { return static_cast<uint32_t>(units[2 * i] | (units[2 * i + 1] << 8)); });
}

std::string NTFSNameToUtf8(const std::u16string& name) {
  return Convert(name.size(), [&name](size_t i) { return static_cast<uint32_t>(name[i]); });
}

void CopyUtf8Capped(const std::string& text, char* out, size_t capacity) {
  if (!out || capacity == 0) return;
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  // Step back over continuation bytes so no character is cut.
  if (n < text.size())
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}
