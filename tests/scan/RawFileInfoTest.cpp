// The carved-file record and the file-name cleaning it applies.
#include <gtest/gtest.h>

#include <string>

#include "CRawFileInfo.h"
#include "IRawFileAnalyser.h"
#include "SanitizeFileName.h"

namespace {

class NamedAnalyser : public IRawFileAnalyser {
 public:
  NamedAnalyser() : IRawFileAnalyser(35) {}
  int MatchHeader(const uint8_t*, CRawFileInfo*) override { return 0; }
};

}  // namespace

TEST(RawFileInfo, NewRecordDefaults) {
  CRawFileInfo r;
  EXPECT_EQ(r.GetStartSector(), 0u);
  EXPECT_EQ(r.GetFileSize(), 0u);
  EXPECT_EQ(r.GetFileType(), 0);
  EXPECT_EQ(r.GetAnalyserTypeId(), 65535);
  EXPECT_EQ(r.GetNamePrefix(), "");
  EXPECT_EQ(r.GetDateText(), "");
  int id = 0;
  std::string name = "x";
  r.GetRawFileType(id, name);
  EXPECT_EQ(id, -1);
  EXPECT_EQ(name, "");
  EXPECT_EQ(r.GetAnalyser(), nullptr);
  uint64_t a = 1, b = 1;
  r.GetExtent(a, b);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 0u);
}

TEST(RawFileInfo, SettersCleanNamesButNotDates) {
  NamedAnalyser analyser;
  CRawFileInfo r;
  r.SetNamePrefix("Canon EOS 5D  ");
  r.SetRawFileType(7, "a/b:c ");
  r.SetDateText("2015:06:01 10:20:30 ");
  r.SetAnalyser(&analyser);
  r.SetAnalyserTypeId(analyser.GetTypeId());
  r.SetExtent(0x1234567890ull, 77);
  EXPECT_EQ(r.GetNamePrefix(), "Canon EOS 5D");
  int id = 0;
  std::string name;
  r.GetRawFileType(id, name);
  EXPECT_EQ(id, 7);
  EXPECT_EQ(name, "a_b_c");
  EXPECT_EQ(r.GetDateText(), "2015:06:01 10:20:30 ");
  EXPECT_EQ(r.GetAnalyser(), &analyser);
  EXPECT_EQ(r.GetAnalyserTypeId(), 35);
  uint64_t a = 0, b = 0;
  r.GetExtent(a, b);
  EXPECT_EQ(a, 0x1234567890ull);
  EXPECT_EQ(b, 77u);
}

TEST(RawFileInfo, SanitizeFileNameTable) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"Nikon D70  ", "Nikon D70"},
      {"  lead", "  lead"},
      {"a/b:c", "a_b_c"},
      {"\\/:?\"<>|*\r\n", "___________"},
      {"tab\there\x01", "tab\there\x01"},
      {"x* ", "x_"},
      {"a  b", "a  b"},
  };
  for (const auto& c : cases) EXPECT_EQ(SanitizeFileName(c.in), c.out) << "input: " << c.in;
}
