// Conversions between UTF-8, UTF-16 and the 8-bit "ANSI" text of the
// program, with a UTF-8 encoder and decoders, on the classic table-driven
// UTF-8 scheme. The program's 8-bit text is UTF-8 (as WideToAnsiString's
// is), so an ANSI conversion is a UTF-8 one: text from UTF-8 to ANSI is
// validated and copied, UTF-16 to ANSI is UTF-16 to UTF-8.
//
// All lengths are counts of the unit named (bytes for 8-bit text, 16-bit
// units for UTF-16). Results are the counts written, 0 on failure or when
// there is nothing to do, unless stated. No conversion reads past its
// length or writes past its capacity, and a capacity never cuts a
// character: a character that does not fit whole ends the conversion.
// Malformed input gives 0 (AnsiToWide: -1); nothing is logged or thrown.
//
// Malformed UTF-8: a continuation byte where a lead byte belongs, a lead
// byte not followed by its continuation bytes, an overlong form (a value
// written in more bytes than it needs), a value above 0x10FFFF. A sequence
// cut short by the end of the input is not malformed: the conversion stops
// before it. Surrogate values written in UTF-8 are taken as they are by
// Utf8ToWide and the decoders. An unpaired surrogate becomes "_" in
// UTF-8 and ANSI output.
//
// The same set is reached as dnc::*, an alias of this one.
#pragma once

#include <cstdint>
#include <exception>

class XCharError : public std::exception {
 public:
  // The text "XCharError:<code>".
  explicit XCharError(int code);
  const char* what() const noexcept override { return m_text; }
  int GetCode() const { return m_code; }

 private:
  char m_text[100];
  int m_code;
};

// UTF-8 to UTF-16 units. A value above 0xFFFF takes a surrogate pair, written
// only when both units fit. A value above 0x10FFFF stops the conversion: the
// result is the units written so far when they are more than 32, else 0.
int Utf8ToWide(const unsigned char* data, int length, char16_t* out, int capacity);
// Validates UTF-8 and copies it. A zero byte follows the copied text when
// there is room for it (not counted).
int Utf8ToAnsi(const unsigned char* data, int length, char* out, int capacity);
// UTF-16 units to UTF-8; a high surrogate pairs only with a low one right
// after it.
int WideToUtf8(const char16_t* text, int length, char* out, int capacity);
// 8-bit text to UTF-8: Utf8ToAnsi.
int AnsiToUtf8(const char* text, int length, char* out, int capacity);
// 8-bit text to UTF-16: Utf8ToWide, -1 where that fails on malformed input.
int AnsiToWide(const char* text, int length, char16_t* out, int capacity);
// UTF-16 to 8-bit text: WideToUtf8.
int WideToAnsi(const char16_t* text, int length, char* out, int capacity);

// Writes a code point as 1 to 6 bytes (as many as the classic scheme takes;
// a value up to 0x7F, and a negative one, of which the low byte is written,
// takes 1). `out` holds 6 bytes. Answers the count.
int EncodeUtf8Char(int codePoint, char* out);
// The length (1 to 4) of the UTF-8 sequence at `data`, its value in
// `codePoint` (a byte below 0x80 is a sequence of 1); 0 for a malformed
// sequence, `codePoint` then unchanged. `data` holds the whole sequence or
// ends with a zero byte, where a cut sequence ends as malformed.
int DecodeUtf8Char(const unsigned char* data, int& codePoint);
// The value of the sequence at `data`; 0 for a malformed one.
int DecodeUtf8CharValue(const unsigned char* data);

// n = 0xFFFFFFFF: strcmp of the whole strings. Otherwise the first
// min(length a, length b, n) bytes; when they are equal, the longer string
// is the greater (1 when b is shorter, -1 when a is shorter, 0 when the
// lengths are equal), whatever n. A null string is empty.
int CompareStringsN(const char* a, const char* b, unsigned n);
// Walks at most `limit` bytes of `text` up to its zero byte: `examined`
// counts every byte walked, `count` those below 0x80 or from 0xE0 up.
void CountLeadBytes(const unsigned char* text, int& count, unsigned& examined, unsigned limit);

namespace dnc {
using ::AnsiToUtf8;
using ::AnsiToWide;
using ::CompareStringsN;
using ::CountLeadBytes;
using ::DecodeUtf8Char;
using ::DecodeUtf8CharValue;
using ::EncodeUtf8Char;
using ::Utf8ToAnsi;
using ::Utf8ToWide;
using ::WideToAnsi;
using ::WideToUtf8;
using ::XCharError;
}  // namespace dnc
