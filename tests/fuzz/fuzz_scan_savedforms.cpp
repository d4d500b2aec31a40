// The load paths of the engine's saved forms: file properties of every
// kind, packed and plain run lists, searched partitions and file-system
// nodes. A load either fails or gives an object whose own saved form loads
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "CExt2DataRunList.h"
#include "CExt2FileProperties.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileSystemNode.h"
#include "CMemoryScanStream.h"
#include "CNTFSFileProperties.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CPackedDataRuns.h"
#include "CRAWDataRunList.h"
#include "CRAWFileProperties.h"
#include "CResidentNTFSDataRunList.h"
#include "CSearchedPartitionInfo.h"

namespace {

std::vector<uint8_t> SavedForm(const IFileProperties& p) {
  CMemoryScanStream s;
  if (!p.Save(&s)) __builtin_trap();
  return s.Bytes();
}

template <class T>
void CheckProperties(const uint8_t* data, size_t size, T* (*load)(IScanStream*)) {
  CMemoryScanStream in(data, size);
  T* p = load(&in);
  if (!p) return;
  const std::vector<uint8_t> first = SavedForm(*p);
  CMemoryScanStream again(first.data(), first.size());
  T* q = load(&again);
  if (!q || SavedForm(*q) != first) __builtin_trap();
  std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
  if (runs)
    for (const DataRun* r = runs->First(); r; r = runs->Next()) (void)r;
  (void)p->GetCreationTime();
  q->Release();
  p->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  const uint8_t which = data[0] % 8;
  ++data;
  --size;
  switch (which) {
    case 0:
      CheckProperties(data, size, LoadNTFSFileProperties);
      break;
    case 1:
      CheckProperties(data, size, LoadFATFileProperties);
      break;
    case 2:
      CheckProperties(data, size, LoadExt2FileProperties);
      break;
    case 3:
      CheckProperties(data, size, LoadRAWFileProperties);
      break;
    case 4: {
      CMemoryScanStream in(data, size);
      std::unique_ptr<CPackedDataRuns> packed(LoadPackedDataRuns(&in));
      if (!packed) break;
      if (packed->GetEncodedLength() > static_cast<int>(packed->bytes.size())) __builtin_trap();
      std::unique_ptr<IDataRunList> runs(packed->Unpack());
      if (!runs) break;
      // Runs that decoded re-encode to pairs that decode to the same runs.
      std::unique_ptr<CPackedDataRuns> again(PackDataRunList(runs.get()));
      std::unique_ptr<IDataRunList> back(again ? again->Unpack() : nullptr);
      if (runs->GetRunCount() && (!back || back->Runs() != runs->Runs())) __builtin_trap();
      break;
    }
    case 5: {
      CMemoryScanStream in(data, size);
      CResidentNTFSDataRunList resident;
      CExt2DataRunList plain;
      if (size > 0 && (data[0] & 1))
        (void)resident.Load(&in);
      else
        (void)plain.Load(&in);
      break;
    }
    case 6: {
      CMemoryScanStream in(data, size);
      CSearchedPartitionInfo p;
      if (p.Load(&in) && p.GetBytesPerSector() % 512 != 0) __builtin_trap();
      break;
    }
    default: {
      CMemoryScanStream in(data, size);
      CFileSystemNode node;
      if (node.Load(&in)) {
        CMemoryScanStream out;
        if (node.Save(&out) != 1) __builtin_trap();
      }
      break;
    }
  }
  return 0;
}
