// Rebuilds the directory tree of a FAT image the way the complete search
// does: the boot sector gives the geometry, a pass over the data area finds
// the directory starts (clusters that begin with "." and ".."), and the
// directory rebuild walks the root and every start. Prints the number of
// nodes. Run by bench/fat-rebuild.sh against `fls -r -p`.
//
//   fat_rebuild IMAGE
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "CFATDirEntry.h"
#include "CFatCompleteSearchWorker.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "IFATTable.h"
#include "ImageFileDevice.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fat_rebuild IMAGE\n");
    return 2;
  }
  ImageFileDevice dev(argv[1]);
  std::vector<uint8_t> boot(512);
  if (!dev.ReadSectors(boot.data(), 0, 1)) return 1;
  const uint32_t spc = boot[13];
  const uint32_t reserved = ReadLE16(&boot[14]);
  const uint32_t fatSize = ReadLE16(&boot[22]) ? ReadLE16(&boot[22]) : ReadLE32(&boot[36]);
  const uint64_t total = ReadLE16(&boot[19]) ? ReadLE16(&boot[19]) : ReadLE32(&boot[32]);
  FatRebuildGeometry geo;
  geo.fatType = 2;
  geo.sectorsPerCluster = spc;
  geo.rootCluster = ReadLE32(&boot[44]);
  geo.rebuildRoot = true;
  geo.dataStart = reserved + uint64_t(boot[16]) * fatSize;
  geo.partitionSize = total;
  const uint64_t clusters = (total - geo.dataStart) / spc;
  std::unique_ptr<CDoubleFATTable> fat(CreateFATTable(&dev, reserved, 2, fatSize, 1, 0, clusters));

  // The sector scan's directory starts, read in large chunks.
  std::vector<FatDirectoryStart> starts;
  const uint64_t chunk = 2048;
  std::vector<uint8_t> bytes(chunk * 512);
  for (uint64_t s = geo.dataStart; s < total; s += chunk) {
    const uint64_t n = std::min<uint64_t>(chunk, total - s);
    if (!dev.ReadSectors(bytes.data(), s, n)) return 1;
    for (uint64_t i = (spc - (s - geo.dataStart) % spc) % spc; i < n; i += spc) {
      const uint8_t* e = &bytes[i * 512];
      if (!IsDotEntry(CFATDirEntry(e)) || !IsDotDotEntry(CFATDirEntry(e + 32))) continue;
      auto cluster = [](const uint8_t* x) {
        return static_cast<int32_t>((uint32_t(ReadLE16(x + 20)) << 16) | ReadLE16(x + 26));
      };
      starts.push_back({s + i, cluster(e), cluster(e + 32)});
    }
  }
  CFatCompleteSearchWorker worker(&dev, fat.get(), geo);
  CFileSystemNode* root = worker.Run(starts);
  size_t nodes = 0;
  std::vector<CFileNode*> stack{root};
  while (!stack.empty()) {
    CFileNode* n = stack.back();
    stack.pop_back();
    ++nodes;
    for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) stack.push_back(c);
  }
  std::printf("%zu nodes, %zu directory starts\n", nodes, starts.size());
  return 0;
}
