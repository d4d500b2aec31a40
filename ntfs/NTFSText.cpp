#include "NTFSText.h"

#include <cstring>

#include "Utf16.h"

std::string NTFSNameToUtf8(const uint8_t* units, size_t count) {
  std::u16string text(count, u'\0');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char16_t>(units[2 * i] | (units[2 * i + 1] << 8));
  return Utf16ToUtf8(text);
}

std::string NTFSNameToUtf8(const std::u16string& name) {
  return Utf16ToUtf8(name);
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
