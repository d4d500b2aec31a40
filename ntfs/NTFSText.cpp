#include "NTFSText.h"

#include <cstring>

#include "ByteOrder.h"
#include "Utf16.h"

std::string NTFSNameToUtf8(const uint8_t* units, size_t count) {
  std::u16string name(count, u'\0');
  for (size_t i = 0; i < count; ++i) name[i] = static_cast<char16_t>(ReadLE16(units + 2 * i));
  return Utf16ToUtf8(name);
}

std::string NTFSNameToUtf8(const std::u16string& name) { return Utf16ToUtf8(name); }

void CopyUtf8Capped(const std::string& text, char* out, size_t capacity) {
  if (!out || capacity == 0) return;
  // Cut at a character boundary so no character is split.
  const std::string cut = CutUtf8(text, capacity - 1);
  std::memcpy(out, cut.data(), cut.size());
  out[cut.size()] = 0;
}
