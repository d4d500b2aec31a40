#include "CFileDataReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CFileNode.h"
#include "IFileProperties.h"
#include "IStorageDevice.h"
#include "SafeAlloc.h"
#include "ScanEngineRegistry.h"

namespace {
// The largest cluster any supported file system uses (exFAT, 32 MiB); a
// larger geometry is damaged and is not read.
constexpr uint64_t kMaxClusterBytes = 32ull << 20;
// The most bytes one device read asks for.
constexpr uint64_t kMaxDeviceRead = 8ull << 20;
}  // namespace

CFileDataReader::~CFileDataReader() {
  Close();
}

int CFileDataReader::OpenAt(IStorageDevice* device, CFileNode* node, uint64_t partitionStartSector,
                            int sectorsPerCluster) {
  Close();
  if (!device || !node || sectorsPerCluster <= 0) return 0;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0) return 0;
  const uint64_t clusterBytes = static_cast<uint64_t>(sectorSize) * static_cast<uint64_t>(sectorsPerCluster);
  if (clusterBytes > kMaxClusterBytes) return 0;
  IFileProperties* props = node->GetProperties();
  if (!props || props->GetFileSize() <= 0) return 0;
  std::unique_ptr<IDataRunList> list(props->GetDataRunList());
  if (!list) return 0;

  m_resident = list->IsResident() != 0;
  uint64_t first = 0;
  for (const DataRun& run : list->Runs()) {
    if (run.length == 0) continue;
    m_runs.push_back(run);
    m_runFirst.push_back(first);
    // Runs come from disk: the part of a list past 2^64 clusters is dropped.
    if (run.length > UINT64_MAX - first) break;
    first += run.length;
  }
  m_device = device;
  m_node = node;
  m_sectorSize = static_cast<uint32_t>(sectorSize);
  m_bytesPerCluster = static_cast<uint32_t>(clusterBytes);
  m_sectorsPerCluster = sectorsPerCluster;
  m_fileSize = static_cast<uint64_t>(props->GetFileSize());
  m_partitionStart = partitionStartSector;
  m_bufferBytes = (kResidentCapacity + m_sectorSize - 1) / m_sectorSize * m_sectorSize;
  m_buffer = AllocBuffer(m_bufferBytes);
  return 1;
}

int CFileDataReader::Open(IStorageDevice* device, CFileNode* node) {
  if (!device || !node) return 0;
  uint64_t start = 0;
  int sectorsPerCluster = 0;
  if (!node->GetPartitionGeometry(start, sectorsPerCluster)) return 0;
  return OpenAt(device, node, start, sectorsPerCluster);
}

int CFileDataReader::Read(uint64_t offset, void* destination, uint32_t size, uint32_t& bytesRead) {
  bytesRead = 0;
  if (!m_device || !m_node || !m_buffer || !destination) return 0;
  if (offset >= m_fileSize) return 0;
  if (size > m_fileSize - offset) size = static_cast<uint32_t>(m_fileSize - offset);
  auto* out = static_cast<uint8_t*>(destination);
  if (m_resident) return ReadResident(offset, out, size, bytesRead);
  if (m_runs.empty()) return 1;

  const uint64_t clusterBytes = m_bytesPerCluster;
  const uint64_t end = offset + size;
  uint64_t pos = offset;
  uint32_t done = 0;
  // The last run that begins at or before the first cluster asked for.
  size_t i = static_cast<size_t>(std::upper_bound(m_runFirst.begin(), m_runFirst.end(), pos / clusterBytes) -
                                 m_runFirst.begin()) -
             1;
  for (; i < m_runs.size() && pos < end; ++i) {
    const DataRun& run = m_runs[i];
    const uint64_t into = pos / clusterBytes - m_runFirst[i];  // clusters into the run
    if (into >= run.length) continue;
    const uint64_t within = pos % clusterBytes;
    // What the request takes of this run, up to the run's end.
    uint64_t n = end - pos;
    const uint64_t left = run.length - into;
    if (left <= (n + within) / clusterBytes) n = left * clusterBytes - within;
    if (run.IsSparse()) {
      std::memset(out + done, 0, n);
    } else {
      const uint64_t onDisk = run.start + into;
      if (onDisk < run.start || onDisk > (UINT64_MAX - m_partitionStart) / static_cast<uint64_t>(m_sectorsPerCluster))
        return 0;
      const uint64_t sector = onDisk * static_cast<uint64_t>(m_sectorsPerCluster) + m_partitionStart;
      if (!ReadSpan(sector, within, out + done, n)) return 0;
    }
    done += static_cast<uint32_t>(n);
    pos += n;
  }
  bytesRead = done;
  return 1;
}

int CFileDataReader::ReadSpan(uint64_t sector, uint64_t skip, uint8_t* destination, uint64_t length) {
  const uint64_t sectorSize = m_sectorSize;
  if (skip / sectorSize > UINT64_MAX - sector) return 0;
  sector += skip / sectorSize;
  skip %= sectorSize;
  while (length > 0) {
    if (skip == 0 && length >= m_bufferBytes) {
      // Whole sectors go straight to the destination.
      const uint64_t count = std::min(length, kMaxDeviceRead) / sectorSize;
      if (!m_device->ReadSectors(destination, sector, count)) return 0;
      sector += count;
      destination += count * sectorSize;
      length -= count * sectorSize;
      continue;
    }
    // A partial sector at either end, or a short span: through the buffer.
    const uint64_t count =
        std::min<uint64_t>((skip + length + sectorSize - 1) / sectorSize, m_bufferBytes / sectorSize);
    if (!m_device->ReadSectors(m_buffer, sector, count)) return 0;
    const uint64_t n = std::min(count * sectorSize - skip, length);
    std::memcpy(destination, m_buffer + skip, n);
    sector += count;
    destination += n;
    length -= n;
    skip = 0;
  }
  return 1;
}

int CFileDataReader::ReadResident(uint64_t offset, uint8_t* destination, uint32_t size, uint32_t& bytesRead) {
  uint64_t length = 0;
  if (!ReadResidentData(m_node, m_device, length, m_buffer, m_bufferBytes)) return 0;
  // A reader that claims more than the buffer holds is not believed.
  if (length > m_bufferBytes || offset >= length) return 0;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size, length - offset));
  std::memcpy(destination, m_buffer + offset, n);
  bytesRead = n;
  return 1;
}

void CFileDataReader::Close() {
  if (m_buffer) FreeBuffer(m_buffer);
  m_buffer = nullptr;
  m_bufferBytes = 0;
  m_device = nullptr;
  m_node = nullptr;
  m_bytesPerCluster = 0;
  m_sectorsPerCluster = 0;
  m_sectorSize = 0;
  m_fileSize = 0;
  m_partitionStart = 0;
  m_resident = false;
  m_runs.clear();
  m_runFirst.clear();
}
