#include "CFileDataReader.h"

#include <cstring>
#include <memory>

#include "CFileNode.h"
#include "IDataRunList.h"
#include "IFileProperties.h"
#include "IStorageDevice.h"
#include "SafeAlloc.h"

namespace {
// The largest cluster any supported file system uses (exFAT, 32 MiB); a
// larger geometry is damaged and is not read.
constexpr uint64_t kMaxClusterBytes = 32ull << 20;
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
  m_device = device;
  m_node = node;
  m_bytesPerCluster = static_cast<uint32_t>(clusterBytes);
  m_sectorsPerCluster = sectorsPerCluster;
  m_fileSize = static_cast<uint64_t>(props->GetFileSize());
  m_partitionStart = partitionStartSector;
  m_buffer = AllocBuffer(m_bytesPerCluster);
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
  if (!m_device || !m_node || !m_buffer || !destination || !m_node->GetProperties()) return 0;
  if (offset >= m_fileSize) return 0;
  if (size > m_fileSize - offset) size = static_cast<uint32_t>(m_fileSize - offset);
  std::unique_ptr<IDataRunList> list(m_node->GetProperties()->GetDataRunList());
  if (!list || list->IsResident()) return 0;

  auto* out = static_cast<uint8_t*>(destination);
  const uint64_t clusterBytes = m_bytesPerCluster;
  uint64_t cluster = offset / clusterBytes;               // the virtual cluster read next
  const uint64_t lastCluster = (offset + size) / clusterBytes;
  uint64_t runFirst = 0;                                   // virtual cluster where the run begins
  for (const DataRun* run = list->First(); run && runFirst <= lastCluster && bytesRead < size; run = list->Next()) {
    while (bytesRead < size && cluster - runFirst < run->length && cluster >= runFirst) {
      if (run->IsSparse()) {
        std::memset(m_buffer, 0, m_bytesPerCluster);
      } else {
        // Runs come from disk: a start that leaves the 64-bit range is not read.
        const uint64_t onDisk = run->start + (cluster - runFirst);
        if (onDisk < run->start || onDisk > (UINT64_MAX - m_partitionStart) / static_cast<uint64_t>(m_sectorsPerCluster))
          return 0;
        const uint64_t sector = onDisk * static_cast<uint64_t>(m_sectorsPerCluster) + m_partitionStart;
        if (!m_device->ReadSectors(m_buffer, sector, static_cast<uint64_t>(m_sectorsPerCluster))) return 0;
      }
      const uint32_t within = static_cast<uint32_t>(offset % clusterBytes);
      uint32_t n = m_bytesPerCluster - within;
      if (n > size - bytesRead) n = size - bytesRead;
      std::memcpy(out + bytesRead, m_buffer + within, n);
      bytesRead += n;
      offset += n;
      ++cluster;
    }
    if (run->length > UINT64_MAX - runFirst) break;
    runFirst += run->length;
  }
  return 1;
}

void CFileDataReader::Close() {
  if (m_buffer) FreeBuffer(m_buffer);
  m_buffer = nullptr;
  m_device = nullptr;
  m_node = nullptr;
  m_bytesPerCluster = 0;
  m_sectorsPerCluster = 0;
  m_fileSize = 0;
  m_partitionStart = 0;
}
