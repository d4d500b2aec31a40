// The NTFS complete search over a fuzzed disk of up to 4 MiB: every block
// through AnalyzeBlock, the settlement, the search state saved and loaded,
// and the trees of the first candidates built. The first byte picks the
// sector size (512 or 4096) and the block size, so that records and index
// blocks are cut by block ends.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <vector>

#include "CNTFSSearchController.h"
#include "CNodeTree.h"
#include "FuzzMemoryDevice.h"
#include "CMemoryScanStream.h"
#include "RecordingTreeBuilder.h"

namespace {

// Takes every node and the partition roots, destroying them at once.
class FuzzTreeBuilder : public testutil::RecordingTreeBuilder {
 public:
  FuzzTreeBuilder() : RecordingTreeBuilder(false) { kind = ETreeKind::NTFS; }
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo*) override {
    CNodeTree::DestroySubtree(root);
    return 1;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (4u << 20) + 1) return 0;
  const int sectorSize = (data[0] & 1) ? 4096 : 512;
  const uint32_t blockSectors = 8u << ((data[0] >> 1) & 7);
  MemoryDevice device(FuzzDiskBytes(data + 1, size - 1, sectorSize, 0, 16 * 4096), sectorSize);
  FuzzTreeBuilder builder;
  CNTFSSearchController search;
  search.SetDevice(&device);
  search.SetSearchOption(static_cast<int>(blockSectors));
  search.SetTreeBuilder(&builder);
  search.StartSearch();
  const uint64_t sectors = device.GetSectorCount();
  for (uint64_t first = 0; first < sectors; first += blockSectors)
    search.AnalyzeBlock(first, std::min<uint64_t>(blockSectors, sectors - first));
  search.EndSearch();

  CMemoryScanStream state;
  search.SaveSearchState(&state);
  CNTFSSearchController loaded;
  loaded.SetDevice(&device);
  loaded.LoadSearchState(&state);

  std::vector<CSearchedPartitionInfo*> partitions;
  search.GetPartitions(partitions);
  for (size_t i = 0; i < partitions.size() && i < 3; ++i) {
    std::vector<CSearchedPartitionInfo*> one{partitions[i]};
    search.BuildPartitionTrees(one);
    loaded.BuildPartitionTrees(one);
  }
  return 0;
}
