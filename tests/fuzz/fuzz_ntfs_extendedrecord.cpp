// A FILE record with extension records read from a device: the segment list,
// attribute searches across records and the file properties made from them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CCommonFileRecordInfo.h"
#include "CNTFSExtendedFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "FuzzMemoryDevice.h"
#include "IDataRunList.h"
#include "NTFSFileRecordProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1024 + 2 || size > 64 * 1024) return 0;
  const uint8_t spc = static_cast<uint8_t>(1u << (data[0] % 4));
  const std::vector<uint8_t> base(data + 2, data + 2 + 1024);
  MemoryDevice device(FuzzDiskBytes(data + 2, size - 2));
  CNTFSRunList mft;
  mft.Append({0, 0, (size / 512) / spc + 1});

  std::unique_ptr<NTFSSegmentRefList> list =
      BuildSegmentRefList(base.data(), 1024, 0, spc, 0, &device, mft, 2);
  CNTFSExtendedFileRecord record(base.data(), 1024, 0, &device, list.get());
  for (uint32_t type : {0x10u, 0x20u, 0x30u, 0x80u, 0xA0u})
    for (int k = 0; k < 4; ++k) {
      int offset = 0;
      uint64_t sector = 0;
      if (const uint8_t* a = record.FindAttribute(type, k, &offset, &sector)) {
        volatile uint8_t last = a[CNTFSFileRecordAttribute::GetLength(a) - 1];
        (void)last;
      }
    }
  int64_t parent = -1;
  if (CNTFSFileProperties* p = MakeNTFSFileProperties(0, record, uint64_t(spc) * 512 * (data[1] & 1), &parent)) {
    std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
    p->SetFileSize(-1);
    FixSizeFromRunList(p, spc);
    DeleteFileProperties(p);
  }
  CCommonFileRecordInfo info;
  info.SetFromBuffer(base.data(), 1024, 0);
  IsSystemFileRecordBuffer(base.data(), 1024);
  return 0;
}
