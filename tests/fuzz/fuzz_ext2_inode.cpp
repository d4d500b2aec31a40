// The inode and block readers over fuzzed inodes, block maps and extent
// trees: every inode of the table is walked block by block and into its
// run list.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "CExt2BlockIterator.h"
#include "CExt2DataRunList.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"
#include "CExt2InodeIterator.h"
#include "CExt2QuickSearch.h"
#include "Ext2FuzzVolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice& device = Ext2FuzzDevice(data, size);
  try {
    CExt2FileSystem fs(&device, 2);
    CExt2InodeIterator it(&fs, 1);
    for (uint32_t n = 1; n <= Ext2FuzzVolume::kInodes; ++n, ++it) {
      const CExt2Inode inode = it.GetInode();
      (void)inode.HasValidBlockPointers();
      (void)inode.IsSparse();
      (void)inode.GetSize();
      CExt2BlockIterator blocks = inode.BlocksBegin();
      // A few logical blocks one by one, including the far map levels.
      for (uint64_t logical : {0ull, 11ull, 12ull, 267ull, 268ull, 65804ull, 1ull << 32, ~0ull}) {
        (void)blocks.GetBlockNumber(logical);
      }
      for (int i = 0; i < 4 && blocks != inode.BlocksEnd(); ++i, ++blocks) (void)blocks.ReadBlock();
      const auto runs = CExt2QuickSearch::BuildDataRunList(inode);
      (void)runs->GetRunCount();
    }
  } catch (const std::exception&) {
  }
  return 0;
}
