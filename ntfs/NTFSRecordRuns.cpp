#include "NTFSRecordRuns.h"

#include <atomic>
#include <climits>
#include <cmath>

#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordDataRunsAttribute.h"

namespace {
std::atomic<int> g_engineSectorSize{512};
}  // namespace

void SetNTFSEngineSectorSize(int bytes) {
  g_engineSectorSize = bytes;
}

int GetNTFSEngineSectorSize() {
  return g_engineSectorSize;
}

bool AppendAttributeRuns(const uint8_t* header, uint64_t* dataSize, uint64_t* firstVCN, CNTFSRunList& list) {
  using A = CNTFSFileRecordDataRunsAttribute;
  if (!header || A::HasName(header) || A::IsResident(header) ||
      !A::IsValidAttributeHeader(header, A::GetLength(header)))
    return false;
  const uint64_t vcn = A::GetFirstVCN(header);
  if (!list.AppendParsed(A::GetRunList(header), A::GetRunListLength(header), vcn)) return false;
  if (firstVCN) *firstVCN = vcn;
  if (dataSize) *dataSize = A::GetRunListLength(header) > 0 ? A::GetDataSize(header) : 0;
  return true;
}

bool CollectDataRuns(const CNTFSFileRecord& record, CNTFSRunList& list, bool check, uint64_t* dataSize) {
  using A = CNTFSFileRecordDataRunsAttribute;
  if (!record.IsValid()) return false;
  for (int ordinal = 0;; ++ordinal) {
    const uint8_t* header = record.FindAttribute(CNTFSFileRecordAttribute::kData, ordinal);
    if (!header) return true;
    if (static_cast<int32_t>(A::GetLength(header)) <= 0) return false;
    if (A::HasName(header)) continue;
    if (A::IsResident(header)) return false;
    if (check && !A::IsCompressed(header)) {
      const int64_t clusters = A::GetClusterCount(header);
      const uint64_t first = A::GetFirstVCN(header);
      const uint64_t last = A::GetLastVCN(header);
      if (clusters < 0 || static_cast<uint64_t>(clusters) != last - first + 1) return false;
    }
    uint64_t size = 0;
    uint64_t firstVCN = 0;
    if (!AppendAttributeRuns(header, &size, &firstVCN, list)) return false;
    if (firstVCN == 0 && dataSize) *dataSize = size;
  }
}

bool CollectDataRunsFromBuffer(const uint8_t* buffer, int length, CNTFSRunList& list, bool check, uint64_t* dataSize) {
  CNTFSFileRecord record(buffer, length, false);
  return CollectDataRuns(record, list, check, dataSize);
}

bool InferRecordSectorsPerCluster(const CNTFSFileRecord& record, uint8_t& sectorsPerCluster) {
  sectorsPerCluster = 0;
  CNTFSRunList runs;
  uint64_t size = 0;
  if (!CollectDataRuns(record, runs, true, &size)) return false;
  const uint64_t clusters = runs.GetClusterCount();
  if (clusters > static_cast<uint64_t>(INT_MAX)) return false;
  sectorsPerCluster = InferSectorsPerCluster(size, static_cast<int>(clusters));
  return sectorsPerCluster != 0;
}

bool InferRecordSectorsPerCluster(const uint8_t* buffer, uint8_t& sectorsPerCluster, int length) {
  CNTFSFileRecord record(buffer, length, false);
  return InferRecordSectorsPerCluster(record, sectorsPerCluster);
}

uint8_t InferSectorsPerCluster(uint64_t dataSize, int clusterCount) {
  if (clusterCount <= 0) return 0;
  int sectorSize = GetNTFSEngineSectorSize();
  if (sectorSize <= 0 || sectorSize % 512 != 0) sectorSize = 512;
  const double sectors = std::ceil(static_cast<double>(dataSize) / clusterCount / static_cast<double>(sectorSize));
  if (!(sectors >= 0) || sectors > 1024) return 0;
  return static_cast<uint8_t>(RoundUpToClusterFactor(static_cast<int>(sectors)));
}

int RoundUpToClusterFactor(int sectors) {
  if (sectors <= 0) return 0;
  for (int factor = 1; factor <= 128; factor *= 2)
    if (sectors <= factor) return factor;
  return 0;
}
