// Directory-entry view, name rules and the properties builders.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "CFATDirEntry.h"
#include "CFATFileProperties.h"
#include "CScanOptions.h"
#include "FatTestData.h"

using namespace fattest;

namespace {

struct PropsDeleter {
  void operator()(CFATFileProperties* p) const {
    if (p) p->Release();
  }
};
using Props = std::unique_ptr<CFATFileProperties, PropsDeleter>;

std::string ShortName(const std::vector<uint8_t>& e, int join = 0) {
  std::string s;
  CFATDirEntry(e.data()).GetShortName(s, join);
  return s;
}

}  // namespace

TEST(FatDirEntry, ShortNames) {
  EXPECT_EQ(ShortName(ShortEntry("FOO        ", 0x20)), "FOO");
  EXPECT_EQ(ShortName(ShortEntry("README  TXT", 0x20)), "README.TXT");
  EXPECT_EQ(ShortName(ShortEntry("DATA    DSK", 0x08), 1), "DATADSK");
  EXPECT_EQ(ShortName(ShortEntry("\xE5OO     TXT", 0x20)), "#OO.TXT");
  EXPECT_EQ(ShortName(ShortEntry("           ", 0x20)), "");
}

TEST(FatDirEntry, Classification) {
  auto dir = ShortEntry("SYS        ", 0x16, 5);
  CFATDirEntry d(dir.data());
  EXPECT_TRUE(d.IsDirectory());
  EXPECT_TRUE(d.IsHiddenSystemDirectory());
  EXPECT_TRUE(CFATDirEntry(ShortEntry("LABEL      ", 0x28).data()).IsVolumeLabel());
  EXPECT_FALSE(CFATDirEntry(ShortEntry("LABEL      ", 0x0A).data()).IsVolumeLabel());
  auto lfn = LongEntry(0x41, "abc", 0);
  CFATDirEntry l(lfn.data());
  EXPECT_TRUE(l.IsLongNameEntry());
  EXPECT_EQ(l.GetLongNameOrder(), 0x41);
  EXPECT_EQ(d.GetLongNameOrder(), 0);
  auto big = ShortEntry("BIG     BIN", 0x20, 0x00123456, 99);
  CFATDirEntry b(big.data());
  EXPECT_EQ(b.GetFirstCluster(), 0x00123456u);
  EXPECT_EQ(b.GetFileSize(), 99u);
  b.SetOverrideEnabled(1);
  b.SetOverrideCluster(77);
  EXPECT_EQ(b.GetFirstCluster(), 77u);
  auto dot = ShortEntry(".          ", 0x10, 3);
  auto dotdot = ShortEntry("..         ", 0x10, 0);
  EXPECT_TRUE(IsDotEntry(CFATDirEntry(dot.data())));
  EXPECT_TRUE(IsDotDotEntry(CFATDirEntry(dotdot.data())));
  EXPECT_FALSE(IsDotEntry(CFATDirEntry(dotdot.data())));
}

TEST(FatDirEntry, Validity) {
  CScanOptions& options = *GetScanOptions();
  EXPECT_FALSE(CFATDirEntry(ShortEntry("A       TXT", 0x20, 5, 0).data()).IsValid(1));
  EXPECT_TRUE(CFATDirEntry(ShortEntry("A       TXT", 0x20, 0, 0).data()).IsValid(1));
  EXPECT_TRUE(CFATDirEntry(ShortEntry("A       TXT", 0x20, 5, 0).data()).IsValid(0));
  EXPECT_FALSE(CFATDirEntry(ShortEntry("D          ", 0x10, 0x10005, 4096).data()).IsValid(1));

  auto e = ShortEntry("A       TXT", 0x20, 5, 10);
  Put16(&e[24], (13 << 5) | 1);  // month 13
  EXPECT_FALSE(CFATDirEntry(e.data()).IsValid(1));
  options.fatEntryChecks[0] = 0;
  EXPECT_TRUE(CFATDirEntry(e.data()).IsValid(1));
  options.fatEntryChecks[0] = 1;

  auto t = ShortEntry("A       TXT", 0x20, 5, 10);
  Put16(&t[22], 0xC000);  // hour 24
  EXPECT_FALSE(CFATDirEntry(t.data()).IsValid(1));
  options.fatEntryChecks[1] = 0;
  EXPECT_TRUE(CFATDirEntry(t.data()).IsValid(1));
  options.fatEntryChecks[1] = 1;

  EXPECT_FALSE(CFATDirEntry(ShortEntry("A       TXT", 0x60).data()).IsValid(0));
  EXPECT_FALSE(CFATDirEntry(ShortEntry(" A      TXT", 0x20).data()).IsValid(0));
  EXPECT_FALSE(CFATDirEntry(ShortEntry("A?      TXT", 0x20).data()).IsValid(0));
  EXPECT_TRUE(CFATDirEntry(ShortEntry("a\x1a      TXT", 0x20).data()).IsValid(0));
  EXPECT_TRUE(CFATDirEntry(ShortEntry("\x81?      TXT", 0x20).data()).IsValid(0));  // lead byte takes '?'
  EXPECT_FALSE(CFATDirEntry(std::vector<uint8_t>(32, 0).data()).IsValid(0));  // end marker

  EXPECT_TRUE(IsValidFileName("Long name.txt"));
  EXPECT_FALSE(IsValidFileName("what?"));
  EXPECT_FALSE(IsValidFileName(""));
  EXPECT_FALSE(IsValidFileName(nullptr));
}

TEST(FatDirEntry, PropertiesFromShortEntry) {
  auto e = ShortEntry("\xE5" "EPORT  DOC", 0x20, 9, 1234);
  Put16(&e[16], (44 << 9) | (6 << 5) | 15);  // 2024-06-15
  Put16(&e[14], (12 << 11) | (30 << 5) | 5);
  Props p(CreateFATFilePropertiesFromEntry("x.doc", e.data()));
  ASSERT_TRUE(p);
  EXPECT_STREQ(p->GetName(), "x.doc");
  EXPECT_EQ(p->GetFileSize(), 1234u);
  EXPECT_EQ(p->GetAttributes(), 0x20);
  EXPECT_EQ(p->IsDeleted(), 1);
  // 2024-06-15 12:30:10 in FILETIME units.
  EXPECT_EQ(p->GetCreationTime(), 133629282100000000ull);
  EXPECT_EQ(p->GetModificationTime(), 0u);  // date 0 does not convert
  EXPECT_EQ(CreateFATFilePropertiesFromEntry(nullptr, e.data()), nullptr);
}

TEST(FatDirEntry, LongNameRuns) {
  auto shortE = ShortEntry("LONGNA~1TXT", 0x20, 3, 10);
  const uint8_t sum = Checksum(shortE.data());
  std::vector<uint8_t> run;
  Append(run, LongEntry(0x42, "ent.txt", sum));
  Append(run, LongEntry(0x01, "Long name of ", sum));
  Append(run, shortE);
  Props p(CreateFATFilePropertiesFromEntries(run.data(), run.size()));
  ASSERT_TRUE(p);
  EXPECT_STREQ(p->GetName(), "Long name of ent.txt");

  // A '?' in the long name falls back to the short name.
  std::vector<uint8_t> bad;
  Append(bad, LongEntry(0x41, "what?", sum));
  Append(bad, shortE);
  Props q(CreateFATFilePropertiesFromEntries(bad.data(), bad.size()));
  ASSERT_TRUE(q);
  EXPECT_STREQ(q->GetName(), "LONGNA~1.TXT");

  // Only long-name entries: nothing to build.
  std::vector<uint8_t> orphan = LongEntry(0x41, "abc", sum);
  EXPECT_EQ(CreateFATFilePropertiesFromEntries(orphan.data(), orphan.size()), nullptr);
  EXPECT_EQ(CreateFATFilePropertiesFromEntries(run.data(), 31), nullptr);
}

TEST(FatDirEntry, LongNameChecksumsAndDeletedEntries) {
  auto shortE = ShortEntry("LONGNA~1TXT", 0x20, 3, 10);
  const uint8_t sum = Checksum(shortE.data());
  // Parts of another file (checksum differs): the short name is used.
  std::vector<uint8_t> foreign;
  Append(foreign, LongEntry(0x41, "other.txt", static_cast<uint8_t>(sum + 1)));
  Append(foreign, shortE);
  Props a(CreateFATFilePropertiesFromEntries(foreign.data(), foreign.size()));
  ASSERT_TRUE(a);
  EXPECT_STREQ(a->GetName(), "LONGNA~1.TXT");

  // Parts that disagree among themselves.
  std::vector<uint8_t> mixed;
  Append(mixed, LongEntry(0x42, "x", static_cast<uint8_t>(sum ^ 0x55)));
  Append(mixed, LongEntry(0x01, "y", sum));
  Append(mixed, shortE);
  Props b(CreateFATFilePropertiesFromEntries(mixed.data(), mixed.size()));
  EXPECT_STREQ(b->GetName(), "LONGNA~1.TXT");

  // A deleted file keeps its long name: the lost first byte may be anything.
  std::vector<uint8_t> deleted;
  auto lfn = LongEntry(0xE5, "report.txt", sum);
  auto del = shortE;
  del[0] = 0xE5;
  Append(deleted, lfn);
  Append(deleted, del);
  Props c(CreateFATFilePropertiesFromEntries(deleted.data(), deleted.size()));
  ASSERT_TRUE(c);
  EXPECT_STREQ(c->GetName(), "report.txt");
  EXPECT_EQ(c->IsDeleted(), 1);
}

TEST(FatDirEntry, OverlongLongNameIsBounded) {
  auto shortE = ShortEntry("LONGNA~1TXT", 0x20, 3, 10);
  const uint8_t sum = Checksum(shortE.data());
  std::vector<uint8_t> run;
  for (int i = 0; i < 100; ++i) Append(run, LongEntry(static_cast<uint8_t>(100 - i), "abcdefghijklm", sum));
  Append(run, shortE);
  Props p(CreateFATFilePropertiesFromEntries(run.data(), run.size()));
  ASSERT_TRUE(p);
  EXPECT_LE(p->GetNameLength(), CFATDirEntry::kMaxLongName);
  EXPECT_STREQ(p->GetName(), "LONGNA~1.TXT");
}

TEST(FatDirEntry, LongNamePartsAreUtf8) {
  auto e = LongEntry(0x41, "", 0);
  Put16(&e[1], 0x00E9);   // é
  Put16(&e[3], 0xD83D);   // surrogate pair: U+1F600
  Put16(&e[5], 0xDE00);
  Put16(&e[7], 0xDC00);   // unpaired low surrogate
  Put16(&e[9], 0);
  std::string part;
  ASSERT_TRUE(CFATDirEntry(e.data()).GetLongNamePart(part));
  EXPECT_EQ(part, "\xC3\xA9\xF0\x9F\x98\x80_");
}

TEST(FatDirEntry, LongNamesKeepWholeCharacters) {
  auto shortE = ShortEntry("SMILE~1 TXT", 0x20, 3, 10);
  const uint8_t sum = Checksum(shortE.data());
  // 255 units of a three-byte character: 765 bytes of UTF-8, kept whole.
  std::vector<uint8_t> run;
  for (int part = 20; part >= 1; --part) {
    auto e = LongEntry(static_cast<uint8_t>(part | (part == 20 ? 0x40 : 0)), "", sum);
    static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int i = 0; i < 13; ++i) {
      const int unit = (part - 1) * 13 + i;
      Put16(&e[kOffsets[i]], unit < 255 ? 0x20AC : unit == 255 ? 0 : 0xFFFF);  // the euro sign
    }
    Append(run, e);
  }
  Append(run, shortE);
  Props wide(CreateFATFilePropertiesFromEntries(run.data(), run.size()));
  ASSERT_TRUE(wide);
  std::string euros;
  for (int i = 0; i < 255; ++i) euros += "\xE2\x82\xAC";
  EXPECT_EQ(wide->GetName(), euros);

  // A surrogate pair whose units lie in two parts: one four-byte character.
  auto first = LongEntry(0x01, "abcdefghijkl", sum);
  Put16(&first[30], 0xD83D);
  auto second = LongEntry(0x42, "", sum);
  Put16(&second[1], 0xDE00);
  Put16(&second[3], 0);
  std::vector<uint8_t> pair = second;
  Append(pair, first);
  Append(pair, shortE);
  Props split(CreateFATFilePropertiesFromEntries(pair.data(), pair.size()));
  ASSERT_TRUE(split);
  EXPECT_STREQ(split->GetName(), "abcdefghijkl\xF0\x9F\x98\x80");
}

TEST(FatDirEntry, RandomRunsDoNotCrash) {
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> bytes(32 * (1 + rng() % 24));
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    for (size_t off = 0; off + 32 <= bytes.size(); off += 32) {
      if (rng() % 2) bytes[off + 11] = 0x0F;
    }
    Props p(CreateFATFilePropertiesFromEntries(bytes.data(), bytes.size()));
    if (p) {
      EXPECT_LE(p->GetNameLength(), CFATDirEntry::kMaxLongName);
    }
  }
}
