// The image generator checked by independent readers: sleuthkit sees the
// volume, the tree and every file's bytes; hpfsck accepts the volume header.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ByteOrder.h"
#include "HfsImages.h"
#include "RealVolumes.h"
#include "TestUtil.h"

namespace {

using hfstest::ImageRecipe;

struct FlsEntry {
  char type;  // 'r' or 'd'
  std::string inode;
};

// fls -r output keyed by the path built from the '+' depth markers.
std::map<std::string, FlsEntry> ParseFls(const std::string& out) {
  std::map<std::string, FlsEntry> entries;
  std::vector<std::string> stack;
  std::istringstream in(out);
  std::string line;
  std::regex re(R"(^(\+*) ?([a-z-])/([a-z-]) (\d+):\t(.*)$)");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, re)) continue;
    size_t depth = m[1].length();
    stack.resize(depth);
    std::string path;
    for (const auto& s : stack) path += "/" + s;
    path += "/" + m[5].str();
    stack.push_back(m[5].str());
    entries[path] = {m[3].str()[0], m[4].str()};
  }
  return entries;
}

std::string FsstatValue(const std::string& out, const std::string& label) {
  std::regex re(label + R"(:\s*([^\n]*))");
  std::smatch m;
  return std::regex_search(out, m, re) ? m[1].str() : std::string("<missing>");
}

// hpfsck of Debian 12's hfsplus cannot tell the size of an image or a loop
// device: it then reads the alternate header at byte 512 and stops. It says
// the same of volumes made by Mac OS X; these lines (and nothing else) are
// expected after its dump of the header, with its word for attribute bits
// newer than itself (0x2000 journaled, 0x80000000 as Mac OS X sets it).
bool HpfsckLineAccepted(const std::string& line) {
  static const std::vector<std::regex> accepted = {
      std::regex(R"(^Volume was last Mounted by unknnown implemenatation: $)"),
      std::regex(R"(^(0\.01|JSFH)$)"),
      std::regex(R"(^Invalid total blocks [0-9A-F]+, expected [0-9A-F]+\s+Done \*\*\*$)"),
      std::regex(R"(^Reserved attribute in use: (2000|80000000)$)"),
      std::regex(R"(^\*\*\* Checking Backup Volume Header:$)"),
      std::regex(R"(^Unexpected Volume signature '  ' expected 'H\+'$)"),
  };
  for (const auto& re : accepted)
    if (std::regex_match(line, re)) return true;
  return false;
}

void CheckHpfsck(const std::string& image, uint32_t files, uint64_t totalBlocks) {
  testutil::CommandResult r = testutil::Run({"hpfsck", "-v", image});
  const std::string& out = r.output;
  EXPECT_NE(out.find("signature       : +H"), std::string::npos) << out;
  EXPECT_NE(out.find("version         : 4\n"), std::string::npos) << out;
  EXPECT_NE(out.find("file_count      : " + std::to_string(files) + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("total_blocks    : " + std::to_string(totalBlocks) + "\n"), std::string::npos) << out;
  size_t tail = out.rfind("extents             :");
  ASSERT_NE(tail, std::string::npos) << out;
  std::istringstream in(out.substr(out.find('\n', tail) + 1));
  std::string line;
  while (std::getline(in, line)) EXPECT_TRUE(HpfsckLineAccepted(line)) << "hpfsck: " << line;
}

// A directory alias as sleuthkit reads it: a file of type 'fdrp' and
// creator 'MACS' flagged as an alias, with an empty data fork and one
// 'alis' resource; the record in it names the target folder by fls's inode.
void CheckDirectoryAlias(const std::string& image, const hfstest::GenAlias& alias,
                         std::map<std::string, FlsEntry>& entries) {
  SCOPED_TRACE(alias.path);
  ASSERT_TRUE(entries.count(alias.path));
  ASSERT_TRUE(entries.count(alias.target));
  EXPECT_EQ(entries[alias.path].type, 'r');
  const std::string inode = entries[alias.path].inode;
  testutil::CommandResult is = testutil::Run({"istat", "-f", "hfs", image, inode});
  for (const char* line : {"File type:\t66647270  fdrp\n", "File creator:\t4d414353  MACS\n", "\nIs alias\n",
                           "\nSize:\t0\n", "Type: alis \tID: 0 "})
    EXPECT_NE(is.output.find(line), std::string::npos) << line << "\n" << is.output;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(is.output, m, std::regex(R"(Type: alis \tID: 0 +\tOffset: (\d+) +\tSize: (\d+))")))
      << is.output;
  const size_t offset = std::stoul(m[1].str()), size = std::stoul(m[2].str());
  // The resource fork's attribute: type 4353 (RSRC), id 1.
  const std::string fork = testutil::Run({"icat", "-f", "hfs", image, inode + "-4353-1"}).output;
  ASSERT_GE(size, 150u);
  ASSERT_LE(offset + size, fork.size());
  const uint8_t* r = reinterpret_cast<const uint8_t*>(fork.data()) + offset;
  const std::string leaf = alias.target.substr(alias.target.rfind('/') + 1);
  EXPECT_EQ(ReadBE16(r + 4), size);  // the record's own length
  EXPECT_EQ(ReadBE16(r + 6), 2);     // version
  EXPECT_EQ(ReadBE16(r + 8), 1);     // a folder
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 51), r[50]), leaf);
  EXPECT_EQ(std::to_string(ReadBE32(r + 114)), entries[alias.target].inode);
}

}  // namespace

namespace hfstest {
void PrintTo(const ImageRecipe& recipe, std::ostream* os) {
  *os << recipe.tag;
}
}  // namespace hfstest

namespace {

class HfsGenTest : public ::testing::TestWithParam<ImageRecipe> {};

TEST_P(HfsGenTest, IndependentReadersSeeWhatWasWritten) {
  VT_REQUIRE_TOOL("fsstat");
  VT_REQUIRE_TOOL("hpfsck");
  const ImageRecipe& recipe = GetParam();
  testutil::TempDir dir("hfsgen");
  std::string error;
  std::string image = hfstest::BuildImage(dir, recipe, &error);
  ASSERT_FALSE(image.empty()) << error;

  std::set<std::string> folders(recipe.folders.begin(), recipe.folders.end());
  for (const auto& f : recipe.files)
    for (size_t s = f.path.find('/', 1); s != std::string::npos; s = f.path.find('/', s + 1))
      folders.insert(f.path.substr(0, s));
  for (std::string f : std::set<std::string>(folders))
    for (size_t s = f.find('/', 1); s != std::string::npos; s = f.find('/', s + 1)) folders.insert(f.substr(0, s));
  uint32_t fileCount = static_cast<uint32_t>(recipe.files.size() + recipe.aliases.size()) + (recipe.journal ? 2 : 0);

  testutil::CommandResult st = testutil::Run({"fsstat", "-f", "hfs", image});
  ASSERT_EQ(st.exitCode, 0) << st.output;
  EXPECT_EQ(FsstatValue(st.output, "File System Type"), "HFS+");
  EXPECT_EQ(FsstatValue(st.output, "Volume Name"), recipe.name);
  EXPECT_EQ(FsstatValue(st.output, "Number of files"), std::to_string(fileCount));
  EXPECT_EQ(FsstatValue(st.output, "Number of folders"), std::to_string(folders.size()));
  EXPECT_EQ(FsstatValue(st.output, "Allocation Block Size"), std::to_string(recipe.blockSize));
  EXPECT_EQ(FsstatValue(st.output, "Block Range"), "0 - " + std::to_string(recipe.size / recipe.blockSize - 1));
  EXPECT_EQ(st.output.find("Journal Info Block") != std::string::npos, recipe.journal != 0) << st.output;

  testutil::CommandResult ls = testutil::Run({"fls", "-r", "-f", "hfs", image});
  ASSERT_EQ(ls.exitCode, 0) << ls.output;
  auto entries = ParseFls(ls.output);
  for (const auto& f : folders) {
    ASSERT_TRUE(entries.count(f)) << f << "\n" << ls.output;
    EXPECT_EQ(entries[f].type, 'd') << f;
  }
  if (recipe.journal) {
    EXPECT_TRUE(entries.count("/.journal"));
    EXPECT_TRUE(entries.count("/.journal_info_block"));
  }
  for (const auto& f : recipe.files) {
    ASSERT_TRUE(entries.count(f.path)) << f.path << "\n" << ls.output;
    EXPECT_EQ(entries[f.path].type, 'r') << f.path;
    testutil::CommandResult cat = testutil::Run({"icat", "-f", "hfs", image, entries[f.path].inode});
    EXPECT_EQ(cat.exitCode, 0);
    EXPECT_TRUE(cat.output == f.content) << f.path << ": icat gave " << cat.output.size() << " bytes, wrote "
                                         << f.content.size();
  }
  // Compressed files: icat above gave their bytes inflated; istat tells the
  // flag, the uncompressed size and the resource fork's runs.
  for (const auto& f : recipe.files) {
    if (f.storage == hfstest::Storage::DataFork) continue;
    SCOPED_TRACE(f.path);
    testutil::CommandResult is = testutil::Run({"istat", "-f", "hfs", image, entries[f.path].inode});
    EXPECT_NE(is.output.find("Owner flags: 32 - compressed"), std::string::npos) << is.output;
    EXPECT_NE(is.output.find("Uncompressed size: " + std::to_string(f.content.size()) + "\n"), std::string::npos)
        << is.output;
    const bool inFork = f.storage == hfstest::Storage::CompressedFork;
    EXPECT_NE(is.output.find(inFork ? "zlib compressed in the resource fork" : "zlib compressed\n"), std::string::npos)
        << is.output;
    if (!inFork) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(is.output, m, std::regex(R"(Resource Fork Blocks:\n([0-9 \n-]*))")));
    std::istringstream runs(m[1].str());
    size_t count = 0;
    for (std::string run; runs >> run;) ++count;
    EXPECT_EQ(count, f.extents);
  }
  for (const auto& x : recipe.xattrs) {
    testutil::CommandResult is = testutil::Run({"istat", "-f", "hfs", image, entries[x.path].inode});
    EXPECT_NE(is.output.find("Name: " + x.name), std::string::npos) << is.output;
  }
  for (const auto& a : recipe.aliases) CheckDirectoryAlias(image, a, entries);

  CheckHpfsck(image, fileCount, recipe.size / recipe.blockSize);
}

INSTANTIATE_TEST_SUITE_P(Images, HfsGenTest, ::testing::ValuesIn(hfstest::StandardRecipes()),
                         [](const ::testing::TestParamInfo<ImageRecipe>& info) { return info.param.tag; });

// The lines accepted from hpfsck are its own limits, not the generator's:
// it says the same of a volume made by Mac OS X.
TEST(HfsGenHpfsck, MacVolumeDrawsTheSameReport) {
  std::string real;
  VT_REQUIRE_REAL_VOLUME(real, testutil::RealVolume("hfsplus.raw"));
  VT_REQUIRE_TOOL("hpfsck");
  testutil::TempDir dir("hfsgen-real");
  // hpfsck opens read-only without -i; a copy keeps the shared file out of reach anyway.
  std::string copy = dir.file("mac.img");
  testutil::WriteFile(copy, testutil::ReadFile(real));
  ASSERT_FALSE(testutil::ReadFile(copy).empty()) << real;
  CheckHpfsck(copy, 8, 1014);
}

// Bad descriptions are refused with a message, not written half.
TEST(HfsGenErrors, RefusesBadDescriptions) {
  testutil::TempDir dir("hfsgen-bad");
  std::string gen = std::string(VANTOREL_BIN_DIR) + "/hfsgen";
  std::string out = dir.file("x.img");
  // Random bytes do not deflate: too many for the attribute.
  const std::string noise = dir.file("noise");
  testutil::WriteFile(noise, hfstest::PatternBytes(5000, 9));
  const std::vector<std::vector<std::string>> cases = {
      {"--compressed", "/n=" + noise},
      {"--compressed", "/n=" + noise + ":3"},  // extents belong to a resource fork
      {"--blocksize", "1000"},
      {"--size", "3000"},
      {"--text", "/a=1", "--text", "/A=2"},  // equal without regard to case
      {"--text", "relative=1"},
      {"--size", "1M", "--text", "/big=x", "--file", "/huge=" + dir.file("missing")},
      {"--bogus", "1"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {gen, "-o", out};
    argv.insert(argv.end(), c.begin(), c.end());
    testutil::CommandResult r = testutil::Run(argv);
    EXPECT_NE(r.exitCode, 0) << c[0] << " " << c[1];
    EXPECT_NE(r.output.find("hfsgen"), std::string::npos);
  }
}

}  // namespace
