#include "NTFSAttributeList.h"

#include <algorithm>

#include "ByteOrder.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "IStorageDevice.h"

namespace {

constexpr uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;
// Attribute lists are small; a larger claim is damage.
constexpr uint64_t kMaxAttributeListBytes = 16u << 20;

void WalkAttributeList(const uint8_t* data, uint32_t length, NTFSSegmentRefList& list) {
  uint32_t pos = 0;
  while (pos < length && length - pos >= 24) {
    const uint8_t* entry = data + pos;
    const uint32_t type = ReadLE32(entry);
    const uint16_t entryLength = ReadLE16(entry + 4);
    if (type == 0 || entryLength == 0) break;
    list.Add(ReadLE64(entry + 16) & kRecordNumberMask);
    pos += entryLength;
  }
}

}  // namespace

uint64_t ClusterToSector(uint64_t cluster, uint64_t partitionStart, int sectorsPerCluster) {
  return cluster * static_cast<uint64_t>(sectorsPerCluster) + partitionStart;
}

bool ReadAttributeListData(const uint8_t* pairs, int length, uint8_t* buffer, int bufferSize, uint64_t partitionStart,
                           uint8_t sectorsPerCluster, IStorageDevice* device) {
  if (!pairs || !buffer || bufferSize <= 0 || !device || sectorsPerCluster == 0) return false;
  CNTFSRunList runs;
  if (!runs.Parse(pairs, length)) return false;
  const uint64_t sectorSize = static_cast<uint64_t>(device->GetSectorSize());
  uint64_t done = 0;  // sectors read so far
  for (const NTFSRun& run : runs) {
    if (run.firstLCN == kNTFSSparseLCN) return false;
    if (run.length > UINT32_MAX) break;
    const uint64_t sectors = run.length * sectorsPerCluster;
    if ((done + sectors) * sectorSize > static_cast<uint64_t>(bufferSize)) break;
    if (!device->ReadSectors(buffer + done * sectorSize,
                             ClusterToSector(run.firstLCN, partitionStart, sectorsPerCluster), sectors))
      return false;
    done += sectors;
  }
  return true;
}

std::unique_ptr<NTFSSegmentRefList> ParseAttributeList(const uint8_t* record, int length, uint64_t partitionStart,
                                                       uint8_t sectorsPerCluster, IStorageDevice* device) {
  using A = CNTFSFileRecordDataRunsAttribute;
  if (!record || !IsValidFileRecord(record, length)) return nullptr;
  CNTFSFileRecord view(record, length, true);
  if (!view.IsValid()) return nullptr;
  const uint8_t* header = view.FindAttribute(CNTFSFileRecordAttribute::kAttributeList, 0);
  if (!header) return nullptr;

  auto list = std::make_unique<NTFSSegmentRefList>();
  if (A::IsResident(header)) {
    if (!A::IsValueInside(header)) return nullptr;
    WalkAttributeList(A::GetValue(header), A::GetValueLength(header), *list);
  } else {
    const uint64_t used = A::GetInitializedSize(header);
    const uint64_t allocated = A::GetAllocatedSize(header);
    if (used == 0 || allocated < used || allocated > kMaxAttributeListBytes || A::GetRunListLength(header) <= 0)
      return nullptr;
    const uint64_t sectorSize = device ? static_cast<uint64_t>(device->GetSectorSize()) : 512;
    // Whole clusters are read: room for the allocated size rounded up.
    const uint64_t clusterBytes = sectorSize * (sectorsPerCluster ? sectorsPerCluster : 1);
    const uint64_t room = (allocated + clusterBytes - 1) / clusterBytes * clusterBytes;
    std::vector<uint8_t> data(static_cast<size_t>(room), 0);
    if (!ReadAttributeListData(A::GetRunList(header), A::GetRunListLength(header), data.data(),
                               static_cast<int>(data.size()), partitionStart, sectorsPerCluster, device))
      return nullptr;
    WalkAttributeList(data.data(), static_cast<uint32_t>(used), *list);
  }
  if (list->IsEmpty()) return nullptr;
  return list;
}

int64_t GetRecordByteOffsetFromRunList(uint64_t recordNumber, uint32_t recordSize, uint32_t bytesPerCluster,
                                       const CNTFSRunList& mftRuns) {
  if (recordSize == 0 || bytesPerCluster == 0 || recordNumber > (uint64_t(1) << 48)) return -1;
  const uint64_t offset = recordNumber * recordSize;
  const int64_t lcn = mftRuns.VCNToLCN(offset / bytesPerCluster);
  if (lcn < 0 || static_cast<uint64_t>(lcn) > (uint64_t(INT64_MAX) - bytesPerCluster) / bytesPerCluster) return -1;
  return lcn * static_cast<int64_t>(bytesPerCluster) + static_cast<int64_t>(offset % bytesPerCluster);
}

int64_t GetRecordSectorFromRunList(uint64_t recordNumber, uint8_t sectorsPerCluster, uint64_t partitionStart,
                                   const CNTFSRunList& mftRuns, uint8_t sectorsPerRecord) {
  if (sectorsPerCluster == 0 || sectorsPerRecord == 0) return -1;
  const uint64_t first = recordNumber * sectorsPerRecord;
  const int64_t lcn = mftRuns.VCNToLCN(first / sectorsPerCluster);
  if (lcn < 0) return -1;
  return static_cast<int64_t>(partitionStart + static_cast<uint64_t>(lcn) * sectorsPerCluster +
                              first % sectorsPerCluster);
}
