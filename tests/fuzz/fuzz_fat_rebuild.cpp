// The directory rebuild over a fuzzed volume: the input is a small FAT32
// volume in memory (one sector per cluster from sector 8, the FAT in
// sectors 1 to 7), walked from its root and from directory starts that the
// first bytes name, and parsed whole as one directory buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CFatCompleteSearchWorker.h"
#include "CFileSystemNode.h"
#include "FuzzFatTable.h"
#include "FuzzMemoryDevice.h"
#include "RunLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The rebuild traces what it meets; millions of lines would only slow the run.
  static const bool quiet = RunLogSetFile("/dev/null");
  (void)quiet;
  if (size < 16 || size > (1u << 18)) return 0;
  std::vector<uint8_t> disk = FuzzDiskBytes(data, size, 512, 0, 16 * 512);
  MemoryDevice device(disk, 512);
  FuzzFatTable fat(disk.data() + 512, 7 * 512);
  FatRebuildGeometry geo;
  geo.fatType = data[0] % 3;
  geo.sectorsPerCluster = 1u << (data[1] % 3);
  geo.rootCluster = 2 + data[2] % 8;
  geo.rootStart = 8;
  geo.rootDirSectors = data[3] % 8;
  geo.rebuildRoot = data[4] & 1;
  geo.dataStart = 8;
  geo.partitionSize = disk.size() / 512;
  std::vector<FatDirectoryStart> starts;
  for (int i = 0; i < 3; ++i) {
    FatDirectoryStart s;
    s.sector = data[5 + 3 * i] % geo.partitionSize;
    s.dotCluster = (data[6 + 3 * i] & 0x80) ? -1 : data[6 + 3 * i];
    s.dotDotCluster = (data[7 + 3 * i] & 0x80) ? -1 : data[7 + 3 * i];
    starts.push_back(s);
  }
  {
    CFatCompleteSearchWorker worker(&device, &fat, geo);
    worker.SetRevise(1);
    CFileSystemNode* root = worker.Run(starts);
    if (root == nullptr) __builtin_trap();
    // A tree, not a graph: every walk from the root ends.
    std::vector<CFileNode*> stack{root};
    size_t seen = 0;
    while (!stack.empty()) {
      CFileNode* n = stack.back();
      stack.pop_back();
      if (++seen > size * 4 + 16) __builtin_trap();
      for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) stack.push_back(c);
    }
  }
  {
    CFatCompleteSearchWorker worker(&device, &fat, geo);
    CFileSystemNode* root = worker.Run({});
    const int64_t used = worker.RebuildDirectories(data, size, root, nullptr, nullptr, nullptr, data[4] & 2, true);
    if (used > static_cast<int64_t>(size)) __builtin_trap();
  }
  return 0;
}
