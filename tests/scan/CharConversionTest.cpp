// Conversions between UTF-8, UTF-16 and the program's 8-bit text.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "CharConversion.h"
#include "TestUtil.h"
#include "WideToAnsiString.h"

namespace {

using Bytes = std::string;  // 8-bit text, written with \x escapes

const unsigned char* U(const Bytes& b) {
  return reinterpret_cast<const unsigned char*>(b.data());
}

std::u16string Wide(const Bytes& utf8, int capacity = 64) {
  std::u16string out(static_cast<size_t>(capacity), u'\0');
  out.resize(static_cast<size_t>(Utf8ToWide(U(utf8), static_cast<int>(utf8.size()), out.data(), capacity)));
  return out;
}

// The result and the bytes written of an 8-bit conversion.
template <class F, class In>
std::pair<int, Bytes> Convert(F f, const In& in, int capacity) {
  Bytes out(static_cast<size_t>(capacity) + 1, '\x7E');
  const int n = f(in.data(), static_cast<int>(in.size()), out.data(), capacity);
  return {n, out.substr(0, n > 0 ? static_cast<size_t>(n) : 0)};
}

int Utf8ToAnsiBytes(const char* in, int length, char* out, int capacity) {
  return Utf8ToAnsi(reinterpret_cast<const unsigned char*>(in), length, out, capacity);
}

std::vector<uint32_t> Hex(const std::string& field) {
  std::vector<uint32_t> out;
  std::istringstream in(field);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back(static_cast<uint32_t>(std::stoul(item, nullptr, 16)));
  return out;
}

}  // namespace

TEST(CharConversion, Utf8ToWide) {
  const struct {
    Bytes in;
    int capacity;
    std::u16string want;
  } cases[] = {
      {"\xE2\x82\xAC", 8, u"\u20AC"},
      {"\xF0\x9F\x98\x80", 8, {0xD83D, 0xDE00}},
      {"\x41\x80", 8, u""},            // a stray continuation byte fails the whole call
      {"\x41\xE2\x82", 8, u"A"},       // cut short: the units before it
      {"A\xF0\x9F\x98\x80", 2, u"A"},  // a pair that does not fit is not split
      {"\xF0\x9F\x98\x80", 1, u""},
      {"abc", 2, u"ab"},
      {"\xED\xA0\x80", 8, {0xD800}},  // a surrogate value is taken as it is
      {"\xC0\xAF", 8, u""},           // overlong forms are refused
      {"\xE0\x80\xAF", 8, u""},
      {"\xF0\x80\x80\xAF", 8, u""},
      {"\xC3(", 8, u""},             // a lead byte without its continuation
      {"\xF4\x90\x80\x80", 8, u""},  // above 0x10FFFF, nothing before it
      {"\xF8\x88\x80\x80\x80", 8, u""},
      {"\xFE", 8, u""},
      {std::string(33, 'x') + "\xF4\x90\x80\x80zz", 64, std::u16string(33, u'x')},  // more than 32 units kept
      {std::string(32, 'x') + "\xF4\x90\x80\x80zz", 64, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(Wide(c.in, c.capacity), c.want) << testing::PrintToString(c.in);
  char16_t unit = 0;
  char16_t units[4];
  EXPECT_EQ(Utf8ToWide(nullptr, 3, &unit, 1), 0);
  EXPECT_EQ(Utf8ToWide(U("a"), 0, &unit, 1), 0);
  EXPECT_EQ(Utf8ToWide(U("a"), 1, &unit, 0), 0);
  EXPECT_EQ(AnsiToWide("\x41\x80", 2, units, 4), -1);  // malformed: the system conversion failed
  EXPECT_EQ(AnsiToWide("", 0, &unit, 1), 0);
  EXPECT_EQ(AnsiToWide("\xC3\xA9", 2, &unit, 1), 1);
  EXPECT_EQ(unit, u'\u00E9');
}

TEST(CharConversion, Utf8ToAnsiValidatesAndCopies) {
  const struct {
    Bytes in;
    int capacity;
    int result;
    Bytes want;
  } cases[] = {
      {"r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", 64, 17,
       "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\xE2\x82\xAC", 3, 1, "a"},  // a capacity never cuts a sequence
      {"a\xE2\x82\xAC", 4, 4, "a\xE2\x82\xAC"},
      {"\xF0\x9F\x98\x80", 3, 0, ""},
      {"ab\xE2\x82", 8, 2, "ab"},     // cut short by the input
      {"\xED\xA0\x80x", 8, 2, "_x"},  // a surrogate is no character
      {"\x41\x80", 8, 0, ""},
      {"\xC1\xBF", 8, 0, ""},
      {"\xE0\x9F\xBF", 8, 0, ""},
      {"\xF4\x90\x80\x80", 8, 0, ""},
  };
  for (const auto& c : cases) {
    // The same through every name of the conversion.
    for (auto f : {&Utf8ToAnsiBytes, &AnsiToUtf8}) {
      const auto got = Convert(f, c.in, c.capacity);
      EXPECT_EQ(got.first, c.result) << testing::PrintToString(c.in);
      EXPECT_EQ(got.second, c.want) << testing::PrintToString(c.in);
    }
  }
  // A zero byte follows the text when there is room.
  char out[8];
  std::memset(out, 'Z', sizeof out);
  ASSERT_EQ(Utf8ToAnsi(U("ab"), 2, out, 3), 2);
  EXPECT_EQ(out[2], '\0');
  std::memset(out, 'Z', sizeof out);
  ASSERT_EQ(Utf8ToAnsi(U("ab"), 2, out, 2), 2);
  EXPECT_EQ(out[2], 'Z');
  EXPECT_EQ(Utf8ToAnsi(U("ab"), 2, nullptr, 2), 0);
}

TEST(CharConversion, WideToUtf8AndAnsi) {
  const struct {
    std::u16string in;
    int capacity;
    Bytes want;
  } cases[] = {
      {{0xD83D, 0xDE00}, 8, "\xF0\x9F\x98\x80"},
      {{0xD83D, 0xDE00}, 3, ""},  // the pair does not fit: nothing
      {u"a\u00E9\u20AC", 8, "a\xC3\xA9\xE2\x82\xAC"},
      {u"a\u00E9\u20AC", 5, "a\xC3\xA9"},  // a capacity never cuts a sequence
      {{0xD83D, u'A'}, 8, "_A"},           // a high surrogate needs a low one after it
      {{0xD83D}, 8, "_"},
      {{0xDE00, 0xD83D}, 8, "__"},
      {{0xD83D, 0xD83D, 0xDE00}, 8, "_\xF0\x9F\x98\x80"},
      {{u'x', 0, u'y'}, 8, Bytes("x\0y", 3)},  // the length counts, not a zero unit
  };
  for (const auto& c : cases)
    for (auto f : {&WideToUtf8, &WideToAnsi, &dnc::WideToAnsi}) {
      const auto got = Convert(f, c.in, c.capacity);
      EXPECT_EQ(got.second, c.want) << testing::PrintToString(c.in);
      EXPECT_EQ(got.first, static_cast<int>(c.want.size()));
    }
  char out[4];
  EXPECT_EQ(WideToUtf8(u"a", 0, out, 4), 0);
  EXPECT_EQ(WideToUtf8(nullptr, 1, out, 4), 0);
  EXPECT_EQ(WideToUtf8(u"a", 1, out, 0), 0);
}

TEST(CharConversion, EncodeAndDecodeOneCharacter) {
  const struct {
    int codePoint;
    Bytes bytes;
  } encoded[] = {
      {0x41, "A"},
      {-1, "\xFF"},  // a negative value: its low byte
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x1F600, "\xF0\x9F\x98\x80"},
      {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
      {0x200000, "\xF8\x88\x80\x80\x80"},
      {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
  };
  for (const auto& c : encoded) {
    char out[6];
    const int n = EncodeUtf8Char(c.codePoint, out);
    EXPECT_EQ(Bytes(out, static_cast<size_t>(n)), c.bytes) << c.codePoint;
  }

  const struct {
    Bytes in;  // zero-terminated
    int length;
    int value;
  } decoded[] = {
      {"A", 1, 0x41},  // a length, not the byte itself
      {"\x7F", 1, 0x7F},
      {"\xC3\xA9", 2, 0xE9},
      {"\xE2\x82\xAC", 3, 0x20AC},
      {"\xF0\x9F\x98\x80", 4, 0x1F600},  // above 0xFFFF the value comes back whole
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\x80", 0, 0},
      {"\xC0\x80", 0, 0},  // overlong forms
      {"\xE0\x80\x80", 0, 0},
      {"\xF0\x8F\xBF\xBF", 0, 0},
      {"\xE2\x82", 0, 0},  // cut short by the zero byte
      {"\xF4\x90\x80\x80", 0, 0},
      {"\xFC\x84\x80\x80\x80\x80", 0, 0},
  };
  for (const auto& c : decoded) {
    int value = -7;
    EXPECT_EQ(DecodeUtf8Char(U(c.in), value), c.length) << testing::PrintToString(c.in);
    EXPECT_EQ(value, c.length ? c.value : -7) << testing::PrintToString(c.in);
    EXPECT_EQ(DecodeUtf8CharValue(U(c.in)), c.value) << testing::PrintToString(c.in);
  }
  // Walking a string by the lengths reaches its end.
  const Bytes text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  std::vector<int> points;
  for (size_t i = 0; i < text.size();) {
    int v = 0;
    const int n = DecodeUtf8Char(U(text) + i, v);
    ASSERT_GT(n, 0);
    points.push_back(v);
    i += static_cast<size_t>(n);
  }
  EXPECT_EQ(points, (std::vector<int>{0x61, 0xE9, 0x20AC, 0x1F600, 0x7A}));
}

TEST(CharConversion, CompareAndCount) {
  const struct {
    const char* a;
    const char* b;
    unsigned n;
    int want;
  } cases[] = {
      {"ab", "abc", 2, -1},  // equal heads: the longer is the greater, whatever n
      {"abc", "ab", 2, 1},
      {"abd", "abc", 2, 0},
      {"abd", "abc", 3, 1},
      {"abc", "abd", 0xFFFFFFFFu, -1},
      {"abc", "abc", 0xFFFFFFFFu, 0},
      {"b", "abc", 0xFFFFFFFFu, 1},
      {"b", "abc", 9, 1},
      {"", "", 4, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareStringsN(c.a, c.b, c.n), c.want) << c.a << " " << c.b << " " << c.n;

  int count = -1;
  unsigned examined = 99;
  CountLeadBytes(U("a\xC3\xA9\xE2\x82\xAC"), count, examined, 100);
  EXPECT_EQ(examined, 6u);
  EXPECT_EQ(count, 2);
  CountLeadBytes(U("a\xC3\xA9\xE2\x82\xAC"), count, examined, 2);
  EXPECT_EQ(examined, 2u);
  EXPECT_EQ(count, 1);
}

TEST(CharConversion, ErrorTextAndTheSecondName) {
  const XCharError e(42);
  EXPECT_STREQ(e.what(), "XCharError:42");
  const XCharError copy = e;
  EXPECT_STREQ(copy.what(), "XCharError:42");
  EXPECT_EQ(copy.GetCode(), 42);
  static_assert(std::is_same<dnc::XCharError, XCharError>::value, "one exception class");
  EXPECT_EQ(&dnc::Utf8ToAnsi, &Utf8ToAnsi);
  EXPECT_EQ(&dnc::DecodeUtf8Char, &DecodeUtf8Char);
}

// Random valid strings with the UTF-8 and UTF-16 forms Python's codecs give
// them (tests/scan/data/make-char-vectors.py).
TEST(CharConversion, AgreesWithPythonCodecs) {
  std::istringstream in(testutil::ReadFile(testutil::SourceDir() + "/tests/scan/data/char-vectors.txt"));
  std::string points, utf8Hex, unitsHex;
  int lines = 0;
  while (in >> points >> utf8Hex >> unitsHex) {
    ++lines;
    Bytes utf8;
    for (size_t i = 0; i + 1 < utf8Hex.size(); i += 2)
      utf8 += static_cast<char>(std::stoi(utf8Hex.substr(i, 2), nullptr, 16));
    std::u16string units;
    for (uint32_t u : Hex(unitsHex)) units += static_cast<char16_t>(u);
    const int big = static_cast<int>(utf8.size() + units.size()) * 4;

    EXPECT_EQ(Wide(utf8, big), units) << points;
    EXPECT_EQ(Convert(&WideToUtf8, units, big).second, utf8) << points;
    EXPECT_EQ(Convert(&Utf8ToAnsiBytes, utf8, big).second, utf8) << points;
    EXPECT_EQ(WideToAnsiString(units), utf8) << points;
    Bytes encoded;
    size_t at = 0;
    for (uint32_t cp : Hex(points)) {
      char one[6];
      encoded.append(one, static_cast<size_t>(EncodeUtf8Char(static_cast<int>(cp), one)));
      int value = 0;
      const int n = DecodeUtf8Char(U(utf8) + at, value);
      ASSERT_GT(n, 0) << points;
      EXPECT_EQ(static_cast<uint32_t>(value), cp) << points;
      at += static_cast<size_t>(n);
    }
    EXPECT_EQ(encoded, utf8) << points;
    // Every capacity stops at a character boundary: what is written is a
    // prefix that Python's decoder would accept.
    for (int cap = 1; cap < static_cast<int>(utf8.size()); cap += 3) {
      const Bytes cut = Convert(&WideToUtf8, units, cap).second;
      EXPECT_EQ(utf8.compare(0, cut.size(), cut), 0);
      EXPECT_TRUE(cut.size() == utf8.size() || (static_cast<unsigned char>(utf8[cut.size()]) & 0xC0) != 0x80) << points;
      EXPECT_GT(cut.size() + 4, static_cast<size_t>(cap)) << points;
    }
  }
  EXPECT_GE(lines, 400);
}
