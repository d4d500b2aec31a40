#include "CharConversion.h"

#include <cstdio>
#include <cstring>

#include "Utf16.h"

namespace {

// Trailing bytes by lead byte: 0x00-0xBF 0, 0xC0-0xDF 1, 0xE0-0xEF 2,
// 0xF0-0xF7 3, 0xF8-0xFB 4, 0xFC-0xFF 5.
int TrailingCount(uint8_t lead) {
  return lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
}
// By trailing count: the lead byte's mask and expected bits, and the offset
// the accumulated bytes carry.
constexpr uint8_t kLeadMask[6] = {0x80, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
constexpr uint8_t kLeadBits[6] = {0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
constexpr uint32_t kOffsets[6] = {0x00000000, 0x00003080, 0x000E2080, 0x03C82080, 0xFA082080, 0x82082080};
// The smallest value each length may hold: below it the form is overlong.
constexpr uint32_t kMinValue[6] = {0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

constexpr int kMalformed = 0;
constexpr int kCut = -1;       // the sequence passes the end of the input
constexpr int kTooLarge = -2;  // a well-formed value above 0x10FFFF

// The sequence at `data` (`available` bytes): its length with its value,
// or one of the codes above.
int DecodeSequence(const unsigned char* data, size_t available, uint32_t& value) {
  const uint8_t lead = data[0];
  if (lead < 0x80) {
    value = lead;
    return 1;
  }
  const int t = TrailingCount(lead);
  if (static_cast<size_t>(t) >= available) return kCut;
  if ((lead & kLeadMask[t]) != kLeadBits[t]) return kMalformed;
  uint32_t v = lead;
  for (int k = 1; k <= t; ++k) {
    if ((data[k] & 0xC0) != 0x80) return kMalformed;
    v = (v << 6) + data[k];
  }
  v -= kOffsets[t];
  if (v < kMinValue[t]) return kMalformed;
  if (v > 0x10FFFF) return kTooLarge;
  value = v;
  return t + 1;
}

bool IsSurrogate(uint32_t v) {
  return v >= 0xD800 && v <= 0xDFFF;
}

}  // namespace

XCharError::XCharError(int code) : m_code(code) {
  std::snprintf(m_text, sizeof m_text, "XCharError:%i", code);
}

int Utf8ToWide(const unsigned char* data, int length, char16_t* out, int capacity) {
  if (!data || !out || length <= 0 || capacity <= 0) return 0;
  const size_t end = static_cast<size_t>(length);
  size_t i = 0;
  int written = 0;
  while (i < end && written < capacity) {
    uint32_t v = 0;
    const int n = DecodeSequence(data + i, end - i, v);
    if (n == kCut) break;
    if (n == kMalformed) return 0;
    if (n == kTooLarge) return written > 32 ? written : 0;
    if (v <= 0xFFFF) {
      out[written++] = static_cast<char16_t>(v);
    } else {
      if (capacity - written < 2) break;
      out[written++] = static_cast<char16_t>(((v - 0x10000) >> 10) + 0xD800);
      out[written++] = static_cast<char16_t>(((v - 0x10000) & 0x3FF) | 0xDC00);
    }
    i += static_cast<size_t>(n);
  }
  return written;
}

int Utf8ToAnsi(const unsigned char* data, int length, char* out, int capacity) {
  if (!data || !out || length <= 0 || capacity <= 0) return 0;
  const size_t end = static_cast<size_t>(length);
  size_t i = 0;
  int written = 0;
  int units = 0;  // what the text takes in UTF-16
  while (i < end) {
    uint32_t v = 0;
    const int n = DecodeSequence(data + i, end - i, v);
    if (n == kCut) break;
    if (n == kMalformed) return 0;
    if (n == kTooLarge) {
      if (units <= 32) return 0;
      break;
    }
    const int bytes = IsSurrogate(v) ? 1 : n;
    if (bytes > capacity - written) break;
    if (IsSurrogate(v))
      out[written] = '_';
    else
      std::memcpy(out + written, data + i, static_cast<size_t>(n));
    written += bytes;
    units += v > 0xFFFF ? 2 : 1;
    i += static_cast<size_t>(n);
  }
  if (written < capacity) out[written] = '\0';
  return written;
}

int WideToUtf8(const char16_t* text, int length, char* out, int capacity) {
  if (!text || !out || length <= 0 || capacity <= 0) return 0;
  const size_t count = static_cast<size_t>(length);
  int written = 0;
  char bytes[6];
  for (size_t i = 0; i < count;) {
    const int n = EncodeUtf8(NextUtf16(text, count, i, U'_'), bytes);
    if (n > capacity - written) break;
    std::memcpy(out + written, bytes, static_cast<size_t>(n));
    written += n;
  }
  return written;
}

int AnsiToUtf8(const char* text, int length, char* out, int capacity) {
  return Utf8ToAnsi(reinterpret_cast<const unsigned char*>(text), length, out, capacity);
}

int AnsiToWide(const char* text, int length, char16_t* out, int capacity) {
  const int n = Utf8ToWide(reinterpret_cast<const unsigned char*>(text), length, out, capacity);
  return n == 0 && text && out && length > 0 && capacity > 0 ? -1 : n;
}

int WideToAnsi(const char16_t* text, int length, char* out, int capacity) {
  return WideToUtf8(text, length, out, capacity);
}

int EncodeUtf8Char(int codePoint, char* out) {
  if (codePoint <= 0x7F) {
    out[0] = static_cast<char>(codePoint & 0xFF);
    return 1;
  }
  return EncodeUtf8(static_cast<uint32_t>(codePoint), out);
}

int DecodeUtf8Char(const unsigned char* data, int& codePoint) {
  if (!data) return 0;
  uint32_t v = 0;
  const int n = DecodeSequence(data, SIZE_MAX, v);
  if (n <= 0) return 0;
  codePoint = static_cast<int>(v);
  return n;
}

int DecodeUtf8CharValue(const unsigned char* data) {
  int value = 0;
  return DecodeUtf8Char(data, value) ? value : 0;
}

int CompareStringsN(const char* a, const char* b, unsigned n) {
  if (!a) a = "";
  if (!b) b = "";
  if (n == 0xFFFFFFFFu) {
    const int r = std::strcmp(a, b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  const size_t la = std::strlen(a);
  const size_t lb = std::strlen(b);
  size_t m = la < lb ? la : lb;
  if (n < m) m = n;
  const int r = std::memcmp(a, b, m);
  if (r != 0) return r < 0 ? -1 : 1;
  return la > lb ? 1 : la < lb ? -1 : 0;
}

void CountLeadBytes(const unsigned char* text, int& count, unsigned& examined, unsigned limit) {
  count = 0;
  examined = 0;
  if (!text) return;
  for (; examined < limit && text[examined] != 0; ++examined)
    if (text[examined] < 0x80 || text[examined] >= 0xE0) ++count;
}
