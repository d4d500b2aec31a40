#include "HfsImages.h"

#include <fstream>

namespace hfstest {

std::string PatternBytes(size_t length, uint32_t seed) {
  std::string s(length, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < length; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x);
  }
  return s;
}

std::string PartlyCompressible(size_t length, size_t randomBytes, uint32_t seed) {
  std::string s = PatternBytes(randomBytes < length ? randomBytes : length, seed);
  for (size_t i = 0; s.size() < length; ++i) s += "line " + std::to_string(i) + " of " + std::to_string(seed) + "\n";
  s.resize(length);
  return s;
}

std::vector<ImageRecipe> StandardRecipes() {
  std::vector<ImageRecipe> recipes;

  ImageRecipe plain;
  plain.tag = "plain";
  plain.name = "Plain Vol";
  plain.folders = {"/docs/deep/deeper", "/empty"};
  plain.files = {{"/docs/readme.txt", "Hello from HFS+\n", 1},
                 {"/big.bin", PatternBytes(100000, 1), 1},
                 {"/docs/deep/overflow.bin", PatternBytes(60000, 2), 12},
                 {"/docs/deep/deeper/zero.dat", "", 1}};
  plain.xattrs = {{"/docs/readme.txt", "com.example.tag", "blue"}};
  plain.aliases = {{"/deep alias", "/docs/deep"}, {"/docs/deep/deeper/up", "/docs"}};
  recipes.push_back(plain);

  ImageRecipe jour;
  jour.tag = "journaled";
  jour.name = "Journal Vol";
  jour.size = 8 << 20;
  jour.journal = 256 * 1024;
  jour.catalogExtents = 11;
  jour.folders = {"/many"};
  for (int i = 1; i <= 80; ++i)
    jour.files.push_back({"/many/file_with_a_fairly_long_name_number_" + std::to_string(i) + ".txt",
                          "content " + std::to_string(i) + "\n", 1});
  jour.files.push_back({"/Mixed Case.BIN", PatternBytes(30000, 3), 3});
  jour.files.push_back({"/many/packed.txt", PartlyCompressible(5000, 0, 6), 1, Storage::CompressedInline});
  jour.files.push_back({"/packed.bin", PartlyCompressible(400000, 60000, 7), 11, Storage::CompressedFork});
  recipes.push_back(jour);

  ImageRecipe small;
  small.tag = "smallblocks";
  small.name =
      "Donn\xC3\xA9"
      "es \xC3\xA9t\xC3\xA9";
  small.size = 2 << 20;
  small.blockSize = 512;
  small.viaManifest = true;
  small.folders = {"/d"};
  small.files = {{"/d/frag.bin", PatternBytes(20000, 4), 20},
                 {"/d/a", "x", 1},
                 {"/d/packed.bin", PartlyCompressible(30000, 6000, 8), 9, Storage::CompressedFork}};
  small.aliases = {{"/d/to-d", "/d"}};
  recipes.push_back(small);

  ImageRecipe deep;
  deep.tag = "smallnodes";
  deep.name = "Deep Tree";
  deep.nodeSize = 512;
  deep.journal = 64 * 1024;
  for (int d = 1; d <= 4; ++d)
    for (int i = 1; i <= 30; ++i)
      deep.files.push_back(
          {"/dir" + std::to_string(d) + "/entry_" + std::to_string(i), std::to_string(d * 100 + i), 1});
  deep.files.push_back({"/dir1/spread.bin", PatternBytes(40000, 5), 9});
  recipes.push_back(deep);
  return recipes;
}

std::string BuildImage(const testutil::TempDir& dir, const ImageRecipe& recipe, std::string* error) {
  std::string image = dir.file(recipe.tag + ".img");
  std::vector<std::string> opts = {
      "name", recipe.name, "size", std::to_string(recipe.size), "blocksize", std::to_string(recipe.blockSize)};
  if (recipe.nodeSize != 4096) opts.insert(opts.end(), {"nodesize", std::to_string(recipe.nodeSize)});
  if (recipe.journal) opts.insert(opts.end(), {"journal", std::to_string(recipe.journal)});
  if (recipe.catalogExtents > 1) opts.insert(opts.end(), {"catalog-extents", std::to_string(recipe.catalogExtents)});
  std::vector<std::string> argv = {std::string(VANTOREL_BIN_DIR) + "/hfsgen", "-o", image};
  std::string manifest;
  auto option = [&](const std::string& key, const std::string& cmdValue, const std::string& manifestValue) {
    if (recipe.viaManifest) {
      manifest += key + " " + manifestValue + "\n";
    } else {
      argv.push_back("--" + key);
      argv.push_back(cmdValue);
    }
  };
  for (size_t i = 0; i < opts.size(); i += 2) option(opts[i], opts[i + 1], opts[i + 1]);
  for (const auto& f : recipe.folders) option("folder", f, f);
  int n = 0;
  // Files: their bytes in a host file; the extents only where they apply.
  auto file = [&](const GenFile& f, bool deleted) {
    std::string host = dir.file(recipe.tag + "-src-" + std::to_string(n++));
    testutil::WriteFile(host, f.content);
    std::string key = f.storage == Storage::DataFork ? "file" : "compressed";
    if (f.storage == Storage::CompressedFork) key += "-fork";
    if (deleted) key = key == "file" ? "deleted" : "deleted-" + key;
    std::string ext = f.storage == Storage::CompressedInline ? "" : std::to_string(f.extents);
    option(key, f.path + "=" + host + (ext.empty() ? "" : ":" + ext), f.path + " " + host + " " + ext);
  };
  for (const auto& f : recipe.files) file(f, false);
  for (const auto& x : recipe.xattrs)
    option("xattr", x.path + "=" + x.name + "=" + x.value, x.path + " " + x.name + " " + x.value);
  for (const auto& a : recipe.aliases) option("alias", a.path + "=" + a.target, a.path + " " + a.target);
  if (recipe.journalCopies > 1)
    option("journal-copies", std::to_string(recipe.journalCopies), std::to_string(recipe.journalCopies));
  for (const auto& f : recipe.deletedFolders) option("deleted-folder", f, f);
  for (const auto& f : recipe.deleted) file(f, true);
  if (recipe.viaManifest) {
    std::string mpath = dir.file(recipe.tag + ".manifest");
    testutil::WriteFile(mpath, "# test image\n" + manifest);
    argv.insert(argv.end(), {"-m", mpath});
  }
  testutil::CommandResult r = testutil::Run(argv);
  if (r.exitCode != 0) {
    if (error) *error = "hfsgen failed: " + r.output;
    return "";
  }
  return image;
}

}  // namespace hfstest
