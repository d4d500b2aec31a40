#include "CExFatFATCache.h"

#include "ByteOrder.h"
#include "IStorageDevice.h"

void CExFatFATCache::Clear() {
  m_chunks.clear();
  m_fatStart = 0;
  m_fatLength = 0;
  m_chunkLength = 0;
  m_sectorSize = 0;
}

void CExFatFATCache::Open(IStorageDevice* device, uint64_t fatStart, uint32_t fatLength, uint32_t) {
  Clear();
  if (!device || fatLength == 0) return;
  const uint64_t deviceSectors = device->GetSectorCount();
  if (fatStart >= deviceSectors || fatLength >= deviceSectors - fatStart) return;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0 || kChunkBytes % static_cast<uint32_t>(sectorSize) != 0) return;
  m_device = device;
  m_fatStart = fatStart;
  m_fatLength = fatLength;
  m_sectorSize = static_cast<uint32_t>(sectorSize);
  m_chunkLength = kChunkBytes / m_sectorSize;
  std::vector<uint8_t> chunk(kChunkBytes, 0);
  const uint32_t sectors = m_chunkLength < fatLength ? m_chunkLength : fatLength;
  if (!device->ReadSectors(chunk.data(), fatStart, sectors)) {
    Clear();
    return;
  }
  m_chunks.emplace(fatStart, std::move(chunk));
}

uint32_t CExFatFATCache::GetEntry(uint32_t cluster) {
  if (!IsOpen() || m_sectorSize == 0 || m_chunkLength == 0) return kNoEntry;
  const uint64_t byteOffset = static_cast<uint64_t>(cluster) * 4;
  const uint64_t fatBytes = static_cast<uint64_t>(m_fatLength) * m_sectorSize;
  if (byteOffset + 4 > fatBytes) return kNoEntry;
  const uint64_t sectorIndex = byteOffset / m_sectorSize;
  const uint64_t chunkIndex = sectorIndex - sectorIndex % m_chunkLength;
  const uint64_t key = m_fatStart + chunkIndex;
  const size_t inChunk = static_cast<size_t>(byteOffset - chunkIndex * m_sectorSize);
  auto it = m_chunks.find(key);
  if (it == m_chunks.end()) {
    std::vector<uint8_t> buffer;
    if (m_chunks.size() >= kMaxChunks) {
      // The chunk nearest the FAT's start goes first.
      buffer = std::move(m_chunks.begin()->second);
      m_chunks.erase(m_chunks.begin());
    } else {
      buffer.assign(kChunkBytes, 0);
    }
    // Read no further than the FAT's end.
    const uint64_t left = m_fatLength - chunkIndex;
    const uint32_t sectors = static_cast<uint32_t>(left < m_chunkLength ? left : m_chunkLength);
    if (!m_device->ReadSectors(buffer.data(), key, sectors)) return kNoEntry;
    it = m_chunks.emplace(key, std::move(buffer)).first;
  }
  return ReadLE32(it->second.data() + inChunk);
}
