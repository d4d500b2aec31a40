// INDX blocks, $INDEX_ROOT values and folder records: the block tests, the
// fixups on a copy, the shared-parent walk and the folder record reader.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FolderRecordInfo.h"
#include "NTFSIndexRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // Exactly `size` bytes on the heap: any read past them is caught.
  std::vector<uint8_t> block(data, data + size);
  const int length = static_cast<int>(size);
  const std::vector<uint8_t> before = block;
  volatile int64_t sink =
      IsIndexRecordHeader(block.data(), length) + IsValidIndexRecord(block.data(), length) +
      AnalyzeIndexRecordBuffer(block.data(), length) + GetIndexRecordParentReference(block.data(), length) +
      IsIndexRootValueComplete(block.data(), length) + GetIndexRootParentReference(block.data(), length);
  if (block != before) __builtin_trap();  // the analysis never writes
  if (size >= 24) sink = sink + GetIndexRecordVCN(block.data()) + GetIndexRecordLSN(block.data());
  if (ApplyIndexRecordFixups(block.data(), length)) {
    sink = sink + IndexEntriesShareParent(block.data(), length);
    UndoIndexRecordFixups(block.data(), length);
    if (block != before) __builtin_trap();  // undo restores the stored form
  }
  FolderRecordInfo folder;
  if (folder.SetFromRecord(block.data(), length, 1000)) sink = sink + folder.VCNToLCN(0) + folder.VCNToLCN(7);
  (void)sink;
  return 0;
}
