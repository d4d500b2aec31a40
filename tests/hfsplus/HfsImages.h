// Builds HFS+ images with tools/hfsgen for the HFS+ tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace hfstest {

// How a file keeps its bytes: in its data fork, or compressed (UF_COMPRESSED)
// into its com.apple.decmpfs attribute or its resource fork.
enum class Storage { DataFork, CompressedInline, CompressedFork };

struct GenFile {
  std::string path;  // inside the volume, "/a/b"
  std::string content;
  unsigned extents = 1;  // runs the data (or the resource fork) is split into
  Storage storage = Storage::DataFork;
};

struct GenXattr {
  std::string path, name, value;
};

// A directory alias ('fdrp') at `path` of the folder `target`.
struct GenAlias {
  std::string path, target;
};

struct ImageRecipe {
  std::string tag;
  std::string name;  // volume name, UTF-8
  uint64_t size = 4 << 20;
  uint32_t blockSize = 4096;
  uint32_t nodeSize = 4096;  // B-tree nodes
  uint64_t journal = 0;
  unsigned catalogExtents = 1;
  bool viaManifest = false;
  std::vector<std::string> folders;
  std::vector<GenFile> files;
  std::vector<GenXattr> xattrs;
  std::vector<GenAlias> aliases;  // files too, with an empty data fork
  // Deleted since the journal's logged transactions, which still name them.
  std::vector<std::string> deletedFolders;
  std::vector<GenFile> deleted;
  unsigned journalCopies = 1;
};

// Deterministic bytes of a given length (not compressible to a pattern of one byte).
std::string PatternBytes(size_t length, uint32_t seed);

// `randomBytes` of PatternBytes, then numbered text lines up to `length`:
// deflates to well under its length but not to nothing.
std::string PartlyCompressible(size_t length, size_t randomBytes, uint32_t seed);

// The images the tests share: plain, journaled with many files, compressed
// files and a fragmented catalog, small blocks with a non-ASCII name (via manifest), and
// 512-byte nodes with a three-level catalog. The plain and the small-block
// ones hold directory aliases.
std::vector<ImageRecipe> StandardRecipes();

// Writes the image into dir; returns its path, or "" with `error` set.
std::string BuildImage(const testutil::TempDir& dir, const ImageRecipe& recipe, std::string* error);

}  // namespace hfstest
