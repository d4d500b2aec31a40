#include "HFSPlusUnicode.h"

#include <array>
#include <cstring>
#include <string>

#include "Utf16.h"

namespace {

// The folding covers the pages that the HFS+ case table holds: Latin,
// Latin Extended-A/B, Greek, Cyrillic, Armenian, Georgian, the ignorable
// format characters, Roman numerals, the byte-order mark and the
// full-width Latin letters. Every other unit folds to itself.
struct FoldTable {
  std::array<uint16_t, 65536> map{};

  void Range(unsigned first, unsigned last, int delta) {
    for (unsigned c = first; c <= last; ++c) map[c] = static_cast<uint16_t>(c + delta);
  }
  // Pairs upper/lower where the upper case sits on `parity` (0 even, 1 odd).
  void Pairs(unsigned first, unsigned last, unsigned parity) {
    for (unsigned c = first; c <= last; ++c)
      if ((c & 1u) == parity) map[c] = static_cast<uint16_t>(c + 1);
  }
  void One(unsigned c, unsigned to) { map[c] = static_cast<uint16_t>(to); }

  FoldTable() {
    for (unsigned c = 0; c < 65536; ++c) map[c] = static_cast<uint16_t>(c);
    One(0x0000, 0xFFFF);
    Range(0x0041, 0x005A, 0x20);
    Range(0x00C0, 0x00D6, 0x20);
    Range(0x00D8, 0x00DE, 0x20);
    // Latin Extended-A
    Pairs(0x0100, 0x012F, 0);
    Pairs(0x0132, 0x0137, 0);
    Pairs(0x0139, 0x0148, 1);
    Pairs(0x014A, 0x0177, 0);
    One(0x0178, 0x00FF);
    Pairs(0x0179, 0x017E, 1);
    // Latin Extended-B
    const unsigned extB[][2] = {
        {0x0181, 0x0253}, {0x0182, 0x0183}, {0x0184, 0x0185}, {0x0186, 0x0254}, {0x0187, 0x0188}, {0x0189, 0x0256},
        {0x018A, 0x0257}, {0x018B, 0x018C}, {0x018E, 0x01DD}, {0x018F, 0x0259}, {0x0190, 0x025B}, {0x0191, 0x0192},
        {0x0193, 0x0260}, {0x0194, 0x0263}, {0x0196, 0x0269}, {0x0197, 0x0268}, {0x0198, 0x0199}, {0x019C, 0x026F},
        {0x019D, 0x0272}, {0x019F, 0x0275}, {0x01A7, 0x01A8}, {0x01A9, 0x0283}, {0x01AC, 0x01AD}, {0x01AE, 0x0288},
        {0x01AF, 0x01B0}, {0x01B1, 0x028A}, {0x01B2, 0x028B}, {0x01B3, 0x01B4}, {0x01B5, 0x01B6}, {0x01B7, 0x0292},
        {0x01B8, 0x01B9}, {0x01BC, 0x01BD}, {0x01C4, 0x01C6}, {0x01C5, 0x01C6}, {0x01C7, 0x01C9}, {0x01C8, 0x01C9},
        {0x01CA, 0x01CC}, {0x01CB, 0x01CC}, {0x01F1, 0x01F3}, {0x01F2, 0x01F3}, {0x01F4, 0x01F5}};
    for (const auto& p : extB) One(p[0], p[1]);
    Pairs(0x01A0, 0x01A5, 0);
    Pairs(0x01CD, 0x01DC, 1);
    Pairs(0x01DE, 0x01EF, 0);
    Pairs(0x01FA, 0x01FF, 0);
    // Greek
    One(0x0386, 0x03AC);
    Range(0x0388, 0x038A, 0x25);
    One(0x038C, 0x03CC);
    One(0x038E, 0x03CD);
    One(0x038F, 0x03CE);
    Range(0x0391, 0x03A1, 0x20);
    Range(0x03A3, 0x03AB, 0x20);
    Pairs(0x03E2, 0x03EF, 0);
    // Cyrillic
    Range(0x0401, 0x040C, 0x50);
    Range(0x040E, 0x040F, 0x50);
    Range(0x0410, 0x042F, 0x20);
    Pairs(0x0460, 0x0481, 0);
    Pairs(0x0490, 0x04BF, 0);
    for (unsigned c : {0x04C1u, 0x04C3u, 0x04C7u, 0x04CBu}) One(c, c + 1);
    Pairs(0x04D0, 0x04EB, 0);
    Pairs(0x04EE, 0x04F5, 0);
    One(0x04F8, 0x04F9);
    // Armenian, Georgian
    Range(0x0531, 0x0556, 0x30);
    Range(0x10A0, 0x10C5, 0x30);
    // Ignorable format characters
    for (unsigned c = 0x200C; c <= 0x200F; ++c) One(c, 0);
    for (unsigned c = 0x202A; c <= 0x202E; ++c) One(c, 0);
    for (unsigned c = 0x206A; c <= 0x206F; ++c) One(c, 0);
    One(0xFEFF, 0);
    // Roman numerals, full-width Latin
    Range(0x2160, 0x216F, 0x10);
    Range(0xFF21, 0xFF3A, 0x20);
  }
};

const FoldTable& Table() {
  static const FoldTable table;
  return table;
}

uint16_t SlashForColon(uint16_t c) {
  return c == 0x003A ? 0x002F : c;
}

// The next folded unit of a name that is not ignorable; 0 at the end.
uint16_t NextFolded(const char16_t* s, size_t len, size_t& pos) {
  const FoldTable& t = Table();
  while (pos < len) {
    uint16_t f = t.map[static_cast<uint16_t>(s[pos++])];
    if (f != 0) return f;
  }
  return 0;
}

}  // namespace

uint16_t HFSPlusFoldChar(uint16_t c) {
  return Table().map[c];
}

int CompareHFSPlusNames(const char16_t* a, size_t aLen, const char16_t* b, size_t bLen) {
  size_t i = 0, j = 0;
  for (;;) {
    uint16_t ca = SlashForColon(NextFolded(a, aLen, i));
    uint16_t cb = SlashForColon(NextFolded(b, bLen, j));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int CompareHFSPlusNamesBinary(const char16_t* a, size_t aLen, const char16_t* b, size_t bLen) {
  size_t n = aLen < bLen ? aLen : bLen;
  for (size_t i = 0; i < n; ++i) {
    uint16_t ca = SlashForColon(static_cast<uint16_t>(a[i]));
    uint16_t cb = SlashForColon(static_cast<uint16_t>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (aLen == bLen) return 0;
  return aLen < bLen ? -1 : 1;
}

size_t HFSPlusNameToNarrow(const char16_t* name, size_t count, char* out, size_t capacity) {
  if (!name || !out) return 0;
  // Unpaired surrogates show as '_' here, not as U+FFFD.
  std::u16string units(name, count);
  for (size_t i = 0; i < count; ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    if (high && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
      ++i;
    else if (high || (units[i] >= 0xDC00 && units[i] <= 0xDFFF))
      units[i] = u'_';
  }
  const std::string text = CutUtf8(Utf16ToUtf8(units), capacity);
  std::memcpy(out, text.data(), text.size());
  return text.size();
}
