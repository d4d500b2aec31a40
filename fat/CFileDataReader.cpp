#include "CFileDataReader.h"

#include <cstring>
#include <memory>

#include "CFileNode.h"
#include "IDataRunList.h"
#include "IFileProperties.h"
#include "IStorageDevice.h"

void CFileDataReader::SetGeometry(uint64_t firstSector, uint32_t sectorsPerUnit) {
  m_first = firstSector;
  m_unit = sectorsPerUnit == 0 ? 1 : sectorsPerUnit;
}

bool CFileDataReader::Open(IStorageDevice* device, CFileNode* node) {
  Close();
  if (device == nullptr || node == nullptr || node->GetProperties() == nullptr) return false;
  IFileProperties* props = node->GetProperties();
  if (props->GetFileSize() == 0) return false;
  std::unique_ptr<IDataRunList> list(props->GetDataRunList());
  if (!list || list->GetCount() == 0) return false;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0) return false;
  m_device = device;
  m_runs.assign(list->Runs().begin(), list->Runs().end());
  m_size = props->GetFileSize();
  m_sectorSize = static_cast<uint32_t>(sectorSize);
  return true;
}

bool CFileDataReader::Read(uint64_t offset, void* buffer, size_t size, size_t& bytesRead) {
  bytesRead = 0;
  if (m_device == nullptr || buffer == nullptr) return false;
  if (offset >= m_size) return true;
  if (size > m_size - offset) size = static_cast<size_t>(m_size - offset);
  std::vector<uint8_t> sector(m_sectorSize);
  auto* out = static_cast<uint8_t*>(buffer);
  const uint64_t unitBytes = static_cast<uint64_t>(m_unit) * m_sectorSize;
  uint64_t runOffset = 0;  // file offset where the current run starts
  for (const DataRun& run : m_runs) {
    if (bytesRead == size) break;
    if (run.length > UINT64_MAX / unitBytes) return false;
    const uint64_t runBytes = run.length * unitBytes;
    const uint64_t pos = offset + bytesRead;
    if (pos < runOffset + runBytes) {
      uint64_t inRun = pos - runOffset;
      while (bytesRead < size && inRun < runBytes) {
        const uint64_t sectorIndex = inRun / m_sectorSize;
        const uint64_t within = inRun % m_sectorSize;
        if (run.start == DataRun::kSparse) {
          std::memset(sector.data(), 0, sector.size());
        } else {
          const uint64_t dev = m_first + run.start * m_unit + sectorIndex;
          if (!m_device->ReadSectors(sector.data(), dev, 1)) return false;
        }
        size_t n = static_cast<size_t>(m_sectorSize - within);
        if (n > size - bytesRead) n = size - bytesRead;
        std::memcpy(out + bytesRead, sector.data() + within, n);
        bytesRead += n;
        inRun += n;
      }
    }
    runOffset += runBytes;
  }
  return true;
}

void CFileDataReader::Close() {
  m_device = nullptr;
  m_runs.clear();
  m_size = 0;
}
