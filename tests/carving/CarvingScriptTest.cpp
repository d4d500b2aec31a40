// User-defined carving scripts: which texts load and what they hold, the
// folder's load order and its run-log lines, the ids the script analyser
// claims, and a match against a real Office file's first sector.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CCustomHeader.h"
#include "CCustomHeaderManage.h"
#include "CRawFileInfo.h"
#include "CarvingFixtures.h"
#include "CustomFileAnalyser.h"
#include "RawFileTypeTable.h"
#include "RunLog.h"
#include "TestUtil.h"

namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

const std::string kInfo = "FILEINFO: EXTNAME=\"abc\"";
const std::string kPk = "FILESIGN: OFFSET=0x0 TYPE=CHAR VALUE=\"PK\"";
const std::string kTail = "FILESIGN: OFFSET=0x10 TYPE=BYTE VALUE=0x55,0xAA";

std::string Sign(const std::string& offset, const std::string& type, const std::string& value) {
  return "FILESIGN: OFFSET=" + offset + " TYPE=" + type + " VALUE=" + value;
}

// The example script, padded with a remark to `bytes` bytes.
std::string PaddedTo(size_t bytes) {
  const std::string rest = "\r\n" + Lines({kInfo, kPk, kTail});
  return "REMARK: " + std::string(bytes - rest.size() - 8, 'x') + rest;
}

// A sector of 4096 bytes (what every caller of an analyser hands over).
std::vector<uint8_t> Sector(std::initializer_list<std::pair<size_t, std::string>> parts) {
  std::vector<uint8_t> s(4096, 0);
  for (const auto& p : parts) std::copy(p.second.begin(), p.second.end(), s.begin() + static_cast<long>(p.first));
  return s;
}

std::string ReadLog(const std::string& path) {
  RunLogSetFile("");
  return testutil::ReadFile(path);
}

}  // namespace

TEST(CarvingScript, ScriptTextsLoadOrAreRefused) {
  struct Case {
    const char* what;
    std::string text;
    bool loads;
    std::string extension;
    std::vector<int> lengths;  // of the signatures, in line order
  };
  const std::vector<Case> cases = {
      {"the example", Lines({"REMARK: a note", kInfo, kPk, kTail}), true, "ABC", {2, 2}},
      {"1024 bytes", PaddedTo(1024), true, "ABC", {2, 2}},
      {"1025 bytes", PaddedTo(1025), false, "", {}},
      {"a final CR LF", Lines({kInfo, kPk}) + "\r\n", false, "", {}},
      {"an empty line", Lines({kInfo, "", kPk}), false, "", {}},
      {"OFFSET 0x1F0", Lines({kInfo, Sign("0x1F0", "CHAR", "\"PK\"")}), true, "ABC", {2}},
      {"OFFSET 0x1f1", Lines({kInfo, Sign("0x1f1", "CHAR", "\"PK\"")}), false, "", {}},
      {"OFFSET 0", Lines({kInfo, Sign("0", "CHAR", "\"PK\"")}), false, "", {}},
      {"OFFSET of 9 digits", Lines({kInfo, Sign("0x000000001", "CHAR", "\"PK\"")}), false, "", {}},
      {"TYPE char", Lines({kInfo, Sign("0x0", "char", "\"PK\"")}), true, "ABC", {2}},
      {"TYPE WORD", Lines({kInfo, Sign("0x0", "WORD", "\"PK\"")}), false, "", {}},
      {"a lower-case key", Lines({kInfo, "FILESIGN: offset=0x0 TYPE=CHAR VALUE=\"PK\""}), false, "", {}},
      {"CHAR of 16", Lines({kInfo, Sign("0x0", "CHAR", "\"" + std::string(16, 'q') + "\"")}), true, "ABC", {16}},
      {"CHAR of 17", Lines({kInfo, Sign("0x0", "CHAR", "\"" + std::string(17, 'q') + "\"")}), false, "", {}},
      {"CHAR with blanks", Lines({kInfo, Sign("0x0", "CHAR", "\"a b\"")}), true, "ABC", {3}},
      {"CHAR unquoted", Lines({kInfo, Sign("0x0", "CHAR", "PK")}), false, "", {}},
      {"BYTE of 4", Lines({kInfo, Sign("0x0", "BYTE", "0x50,0x4B,0x03,0x04")}), true, "ABC", {4}},
      {"BYTE with a trailing comma", Lines({kInfo, Sign("0x0", "BYTE", "0x50,0x4B,")}), false, "", {}},
      {"BYTE with a blank", Lines({kInfo, Sign("0x0", "BYTE", "0x50, 0x4B")}), false, "", {}},
      {"BYTE 0x100", Lines({kInfo, Sign("0x0", "BYTE", "0x100,0x50")}), false, "", {}},
      {"BYTE of 16",
       Lines({kInfo, Sign("0x1F0", "BYTE", "0x1,0x2,0x3,0x4,0x5,0x6,0x7,0x8,0x9,0xa,0xb,0xc,0xd,0xe,0xf,0x10")}),
       true,
       "ABC",
       {16}},
      {"BYTE of 17",
       Lines({kInfo, Sign("0x0", "BYTE", "0x1,0x2,0x3,0x4,0x5,0x6,0x7,0x8,0x9,0xa,0xb,0xc,0xd,0xe,0xf,0x10,0x11")}),
       false,
       "",
       {}},
      {"no VALUE", Lines({kInfo, "FILESIGN: OFFSET=0x0 TYPE=BYTE"}), false, "", {}},
      {"EXTNAME of 2", Lines({"FILEINFO: EXTNAME=\"\"", kPk}), false, "", {}},
      {"EXTNAME of 3", Lines({"FILEINFO: EXTNAME=\"x\"", kPk}), true, "X", {2}},
      {"EXTNAME of 12 between quotes", Lines({"FILEINFO: EXTNAME=\"longerextens\"", kPk}), true, "LONGEREXTENS", {2}},
      {"EXTNAME of 16 between quotes",
       Lines({"FILEINFO: EXTNAME=\"" + std::string(16, 'e') + "\"", kPk}),
       true,
       std::string(16, 'E'),
       {2}},
      {"EXTNAME of 17 between quotes",
       Lines({"FILEINFO: EXTNAME=\"" + std::string(17, 'e') + "\"", kPk}),
       false,
       "",
       {}},
      {"a second FILEINFO", Lines({kInfo, "FILEINFO: EXTNAME=\"zz\"", kPk}), true, "ABC", {2}},
      {"no FILEINFO", Lines({"REMARK: x", kPk}), false, "", {}},
      {"no FILESIGN", Lines({kInfo}), true, "ABC", {}},
      {"keywords in any case",
       Lines({"remark: x", "FileInfo: EXTNAME=\"abc\"", "filesign: OFFSET=0x0 TYPE=CHAR VALUE=\"PK\""}),
       true,
       "ABC",
       {2}},
      {"an unknown keyword", Lines({kInfo, kPk, "NOTE: x"}), false, "", {}},
      {"a line without a colon", Lines({kInfo, kPk, "REMARK x"}), false, "", {}},
      {"line feeds only", "REMARK: x\n" + kInfo + "\n" + kPk, false, "", {}},
      {"an empty file", "", false, "", {}},
      {"a zero byte ends the text", Lines({kInfo, kPk}) + std::string(1, '\0') + "\r\njunk", true, "ABC", {2}},
  };
  testutil::TempDir dir("scripts");
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const std::string path = dir.file(std::to_string(i) + ".fhs");
    testutil::WriteFile(path, c.text);
    CCustomHeader header;
    ASSERT_EQ(header.LoadScript(path), c.loads) << header.GetFailure();
    EXPECT_EQ(header.GetFailure().empty(), c.loads);
    if (!c.loads) continue;
    EXPECT_EQ(header.GetExtension(), c.extension);
    std::vector<int> lengths;
    CScriptProcess script;
    ASSERT_TRUE(script.Open(path));
    size_t cursor = 0;
    CustomSignature s;
    while (script.ReadNextSignature(cursor, s)) lengths.push_back(s.length);
    EXPECT_EQ(lengths, c.lengths);
    EXPECT_EQ(header.GetSignatureCount(), c.lengths.size());
  }
}

TEST(CarvingScript, SignaturesMatchAtTheirOffsets) {
  CCustomHeader example;
  ASSERT_TRUE(example.LoadScriptText(Lines({kInfo, kPk, kTail})));
  EXPECT_TRUE(example.Match(Sector({{0, "PK"}, {16, "\x55\xAA"}}).data()));
  EXPECT_FALSE(example.Match(Sector({{0, "PK"}, {16, "\x55\xAB"}}).data()));
  EXPECT_FALSE(example.Match(Sector({{1, "PK"}, {16, "\x55\xAA"}}).data()));
  EXPECT_FALSE(example.Match(nullptr));

  // The last offset and the longest signature end at byte 511.
  CCustomHeader last;
  ASSERT_TRUE(last.LoadScriptText(Lines({kInfo, Sign("0x1F0", "CHAR", "\"0123456789abcdef\"")})));
  EXPECT_TRUE(last.Match(Sector({{0x1F0, "0123456789abcdef"}}).data()));

  // Without FILESIGN lines a script never matches, not even a zero sector.
  CCustomHeader silent;
  ASSERT_TRUE(silent.LoadScriptText(Lines({kInfo})));
  EXPECT_FALSE(silent.Match(Sector({}).data()));
}

TEST(CarvingScript, FolderLoadsInByteOrderAndLogsEverySilentScript) {
  testutil::TempDir dir("scriptdir");
  const std::string folder = dir.file("CustomFileScript");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const auto put = [&](const std::string& name, const std::string& text) {
    testutil::WriteFile(folder + "/" + name, text);
  };
  // Both match "PK"; "B.fhs" sorts before "a.fhs" by bytes.
  put("a.fhs", Lines({"FILEINFO: EXTNAME=\"aaa\"", kPk}));
  put("B.fhs", Lines({"FILEINFO: EXTNAME=\"bbb\"", kPk}));
  put("upper.FHS", Lines({"FILEINFO: EXTNAME=\"up\"", Sign("0x0", "CHAR", "\"UP\"")}));
  put("notes.txt", Lines({"FILEINFO: EXTNAME=\"txt\"", Sign("0x0", "CHAR", "\"TX\"")}));
  put("malformed.fhs", Lines({kInfo, "FILESIGN: OFFSET=0x200 TYPE=CHAR VALUE=\"PK\""}));
  put("nosign.fhs", Lines({kInfo}));
  put("unix.fhs", "FILEINFO: EXTNAME=\"lf\"\nREMARK: x");
  ASSERT_EQ(symlink("missing-target", (folder + "/gone.fhs").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "/pipe.fhs").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((folder + "/dir.fhs").c_str(), 0755), 0);

  const std::string log = dir.file("run.log");
  ASSERT_TRUE(RunLogSetFile(log));
  CCustomHeaderManage scripts;
  EXPECT_TRUE(scripts.LoadScripts(folder));
  const std::string lines = ReadLog(log);

  EXPECT_EQ(scripts.GetHeaderCount(), 5u);  // B, a, nosign, unix, upper
  std::string extension;
  ASSERT_TRUE(scripts.Match(Sector({{0, "PK"}}).data(), extension));
  EXPECT_EQ(extension, "BBB");
  ASSERT_TRUE(scripts.Match(Sector({{0, "UP"}}).data(), extension));
  EXPECT_EQ(extension, "UP");
  EXPECT_FALSE(scripts.Match(Sector({{0, "TX"}}).data(), extension));

  for (const char* name : {"malformed.fhs", "gone.fhs", "pipe.fhs", "dir.fhs"})
    EXPECT_NE(lines.find("Carving script " + folder + "/" + name + " refused"), std::string::npos) << name << "\n"
                                                                                                   << lines;
  EXPECT_NE(lines.find(folder + "/nosign.fhs never matches"), std::string::npos) << lines;
  EXPECT_NE(lines.find(folder + "/unix.fhs never matches: it has no FILESIGN line (its lines end in line feeds"),
            std::string::npos)
      << lines;
  for (const char* name : {"a.fhs", "B.fhs", "upper.FHS", "notes.txt"})
    EXPECT_EQ(lines.find(std::string("/") + name), std::string::npos) << name;

  // The enumerator walks the first signatures in load order.
  int cursor = 0;
  const CustomSignature* first = scripts.GetNextFirstSignature(cursor);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(first->bytes), 2), "PK");
  EXPECT_EQ(cursor, 1);
  int before = -1;
  EXPECT_EQ(scripts.GetNextFirstSignature(before), nullptr);
  int past = 5;
  EXPECT_EQ(scripts.GetNextFirstSignature(past), nullptr);

  // No folder, or a file in its place: no scripts, and no failure.
  EXPECT_FALSE(scripts.LoadScripts(dir.file("absent")));
  EXPECT_EQ(scripts.GetHeaderCount(), 0u);
  EXPECT_FALSE(scripts.LoadScripts(log));
}

TEST(CarvingScript, AnalyserClaimsOneRowPerExtension) {
  CAnalyserFileTypeTable& table = CAnalyserFileTypeTable::Instance();
  table.ForgetScriptRows();
  auto scripts = std::make_shared<CCustomHeaderManage>();
  const auto add = [&](const std::string& extension, const std::string& key) {
    auto header = std::make_unique<CCustomHeader>();
    ASSERT_TRUE(header->LoadScriptText(
        Lines({"FILEINFO: EXTNAME=\"" + extension + "\"", Sign("0x0", "CHAR", "\"" + key + "\"")})));
    scripts->Add(std::move(header));
  };
  add("abc", "K1");
  add("ABC", "K2");
  add("xyz", "K3");
  add("abcdefghijkl", "K4");
  add("fresh", "K5");
  CustomFileAnalyser analyser(scripts);
  EXPECT_EQ(analyser.GetTypeId(), -1);

  const auto typeOf = [&](const std::string& key) {
    CRawFileInfo info;
    info.SetFileType(77);
    const int matched = analyser.MatchHeader(Sector({{0, key}}).data(), &info);
    return matched ? info.GetFileType() : 0;
  };
  EXPECT_EQ(typeOf("K1"), 1000);
  EXPECT_EQ(typeOf("K2"), 1000);
  EXPECT_EQ(typeOf("K3"), 1001);
  EXPECT_EQ(typeOf("K1"), 1000);
  const int longId = typeOf("K4");
  EXPECT_EQ(longId, 1002);
  EXPECT_EQ(table.GetExtension(longId), "ABCDEFGHIJKL");
  EXPECT_STREQ(GetRawFileExtension(longId), "");  // the naming side sees no script rows
  EXPECT_EQ(typeOf("no"), 0);

  // Once all 1000 rows hold other extensions a new one is refused, and the
  // record keeps what it held; known extensions still match.
  for (int i = 0; table.ClaimScriptRow("e" + std::to_string(i)) >= 0; ++i) {
  }
  CRawFileInfo info;
  info.SetFileType(77);
  EXPECT_EQ(analyser.MatchHeader(Sector({{0, "K5"}}).data(), &info), 0);
  EXPECT_EQ(info.GetFileType(), 77);
  EXPECT_EQ(typeOf("K3"), 1001);

  CRawFileInfo untouched;
  EXPECT_EQ(analyser.FindFileSize(&untouched, nullptr), 0);
  EXPECT_EQ(untouched.GetFileSize(), 0u);
  table.ForgetScriptRows();
}

TEST(CarvingScript, ZipScriptMatchesARealOfficeFile) {
  const std::string docx = carvingtest::InstalledPackageFile("python3-docx", "/templates/default.docx");
  if (docx.empty()) GTEST_SKIP() << "needs python3-docx (scripts/install-deps)";
  ASSERT_GT(docx.size(), 512u);
  std::vector<uint8_t> first(4096, 0);
  std::copy(docx.begin(), docx.begin() + static_cast<long>(std::min<size_t>(docx.size(), 4096)), first.begin());

  testutil::TempDir dir("docx");
  const std::string folder = dir.file("CustomFileScript");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  testutil::WriteFile(folder + "/zip.fhs", Lines({"REMARK: zip local header", "FILEINFO: EXTNAME=\"zzp\"",
                                                  Sign("0x0", "CHAR", "\"PK\""), Sign("0x2", "BYTE", "0x03,0x04")}));
  setenv("VANTOREL_PROGRAM_DIR", dir.path().c_str(), 1);
  CAnalyserFileTypeTable::Instance().ForgetScriptRows();
  CustomFileAnalyser analyser;  // reads the program folder's scripts
  unsetenv("VANTOREL_PROGRAM_DIR");
  CRawFileInfo info;
  ASSERT_EQ(analyser.MatchHeader(first.data(), &info), 1);
  EXPECT_EQ(info.GetFileType(), 1000);
  EXPECT_EQ(CAnalyserFileTypeTable::Instance().GetExtension(1000), "ZZP");
  first[3] = 0x05;
  EXPECT_EQ(analyser.MatchHeader(first.data(), &info), 0);
}
