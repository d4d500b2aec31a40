// UTF-16 names from disk to the program's 8-bit text.
#include <gtest/gtest.h>

#include "WideToAnsiString.h"

TEST(WideToAnsiString, ConvertsUpToZeroOrCountWithUnderscoresForBrokenPairs) {
  const struct {
    std::u16string text;
    size_t count;
    std::string want;
  } cases[] = {
      {u"abc", 3, "abc"},
      {std::u16string(u"ab\0cd", 5), 5, "ab"},               // stops at the first zero
      {u"abcdef", 2, "ab"},                                  // never past the count
      {u"\u00e9\u20ac", 2, "\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", 2, "\xF0\x9F\x98\x80"},
      {u"\U0001F600", 1, "_"},                               // a pair cut by the count
      {std::u16string{u'x', char16_t(0xDC00), char16_t(0xD800)}, 3, "x__"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideToAnsiString(c.text.data(), c.count), c.want) << c.want;
  EXPECT_EQ(WideToAnsiString(nullptr, 4), "");
  EXPECT_EQ(WideToAnsiString(std::u16string(u"r\u00e9sum\u00e9.txt")), "r\xC3\xA9sum\xC3\xA9.txt");
}
