// The exFAT complete search over a fuzzed device: the first byte picks the
// sector size (512 or 4096), the block length and whether one sector fails
// to read (its block then comes back with bytes that must not be trusted);
// the rest is the device, handed to the search block by block. Boot
// sectors, FAT starts and directory groups meet the candidate set, the
// found nodes go to the builder, and the chosen partitions get their trees
// rebuilt (FAT chains, folder runs, recycle-bin names) and their lost files
// placed over their cluster maps.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CExFatCompleteSearch.h"
#include "CFoundFileStore.h"
#include "FuzzMemoryDevice.h"
#include "RecordingTreeBuilder.h"

namespace {

// Takes every node and drops it at once, partition trees too.
class DroppingBuilder : public testutil::RecordingTreeBuilder {
 public:
  DroppingBuilder() : RecordingTreeBuilder(false) { kind = ETreeKind::exFAT; }
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo*) override {
    DestroyFileNode(root);
    return 1;
  }
  int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo*) override {
    DestroyFileNode(node);
    ++count;
    return 1;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int sectorSize = (data[0] & 1) ? 4096 : 512;
  const uint64_t blockSectors = 1 + ((data[0] >> 1) & 15);
  const bool failOne = (data[0] & 0x80) != 0;
  MemoryDevice device(FuzzDiskBytes(data + 1, size - 1, sectorSize), sectorSize);
  const uint64_t sectors = device.GetSectorCount();
  if (failOne && sectors) device.failSector = (data[0] >> 5 & 3) * blockSectors % sectors;
  DroppingBuilder builder;
  CFoundFileStore store;
  CExFatCompleteSearch search;
  search.SetTreeBuilder(&builder);
  search.SetFoundFileStore(&store);
  search.SetDevice(&device);
  search.SetSearchOption(static_cast<int>(blockSectors));
  search.StartSearch();
  for (uint64_t first = 0; first < sectors; first += blockSectors)
    search.AnalyzeBlock(first, first + blockSectors <= sectors ? blockSectors : sectors - first);
  search.EndSearch();
  std::vector<CSearchedPartitionInfo*> partitions;
  search.GetPartitions(partitions);
  for (CSearchedPartitionInfo* p : partitions) {
    std::vector<CSearchedPartitionInfo*> one{p};
    search.BuildPartitionTrees(one);
    search.BuildLostFiles(one);
  }
  return 0;
}
