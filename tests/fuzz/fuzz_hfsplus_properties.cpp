// The saved form of an HFS+ file's properties from arbitrary bytes: the load
// must stop at the stream's end, and what it loads must save and load again
// to the same fields.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "CHFSPlusFileNode.h"
#include "CMemoryScanStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryScanStream in(data, size);
  HFSPlusFileProperties* p = HFSPlusFileProperties::Create();
  if (p->Load(&in)) {
    CMemoryScanStream out;
    if (!p->Save(&out)) __builtin_trap();
    out.Rewind();
    HFSPlusFileProperties* q = HFSPlusFileProperties::Create();
    if (p->GetNameLength() != 0 &&
        (!q->Load(&out) || q->GetFileSize() != p->GetFileSize() || q->GetNameLength() != p->GetNameLength()))
      __builtin_trap();
    q->Release();
  }
  p->Release();
  return 0;
}
