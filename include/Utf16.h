// UTF-16 (on-disk text) to UTF-8 (the program's 8-bit text) and back.
// Unpaired surrogates become `replacement` (U+FFFD unless the caller names
// another character); nothing here reads past `count`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The code point at unit `i` of `text` (`count` units), `i` advanced past it.
// A high surrogate counts only with a low one after it; an unpaired
// surrogate gives `replacement`.
inline char32_t NextUtf16(const char16_t* text, size_t count, size_t& i, char32_t replacement) {
  const uint32_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < count && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
  if (c >= 0xD800 && c <= 0xDFFF) return replacement;
  return c;
}

// The bytes the classic UTF-8 scheme gives a value up to 0x7FFFFFFF: 1 below
// 0x80, then 2 to 6.
inline int Utf8Length(uint32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : c < 0x200000 ? 4 : c < 0x4000000 ? 5 : 6;
}

// Writes `c` (up to 0x7FFFFFFF) to `out` as Utf8Length(c) bytes; answers
// that count.
inline int EncodeUtf8(uint32_t c, char* out) {
  static constexpr uint8_t kFirstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  const int n = Utf8Length(c);
  for (int k = n - 1; k > 0; --k) {
    out[k] = static_cast<char>((c & 0x3F) | 0x80);
    c >>= 6;
  }
  out[0] = static_cast<char>(c | kFirstByteMark[n]);
  return n;
}

inline std::string Utf16ToUtf8(const char16_t* text, size_t count, char32_t replacement = 0xFFFD) {
  std::string out;
  out.reserve(count);
  char bytes[6];
  for (size_t i = 0; i < count;)
    out.append(bytes, static_cast<size_t>(EncodeUtf8(NextUtf16(text, count, i, replacement), bytes)));
  return out;
}

inline std::string Utf16ToUtf8(const std::u16string& text, char32_t replacement = 0xFFFD) {
  return Utf16ToUtf8(text.data(), text.size(), replacement);
}

// Cuts `text` to at most `maxBytes` bytes without splitting a character.
inline std::string CutUtf8(std::string text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}
