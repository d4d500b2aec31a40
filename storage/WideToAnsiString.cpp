#include "WideToAnsiString.h"

#include "Utf16.h"

std::string WideToAnsiString(const char16_t* text, size_t count) {
  if (text == nullptr) return std::string();
  size_t length = 0;
  while (length < count && text[length] != 0) ++length;
  return Utf16ToUtf8(text, length, U'_');
}

std::string WideToAnsiString(const std::u16string& text) {
  return WideToAnsiString(text.data(), text.size());
}
