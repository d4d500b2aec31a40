#include "CHFSPlusRawfile.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CHFSPlusFileCache.h"
#include "CHFSPlusVolume.h"
#include "HFSPlusForkExtents.h"
#include "HFSPlusOutput.h"
#include "ReturnError.h"

CHFSPlusRawfile::CHFSPlusRawfile(CHFSPlusVolume* volume, uint32_t fileId, const HFSPlusForkData& fork)
    : m_volume(volume), m_fileId(fileId) {
  if (!volume) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return;
  }
  const HFSPlusVolumeHeader* header = volume->GetVolumeHeader();
  const uint32_t volumeBlocks = header ? header->totalBlocks : 0;
  ForkExtentWalk how;
  how.fileId = fileId;
  // The extents file cannot use the overflow tree.
  how.volume = fileId == kHFSExtentsFileID ? nullptr : volume;
  how.maxExtents = kMaxExtents;
  int searchStatus = kHFSOk;
  const EForkWalkEnd end = WalkForkExtents(
      how, fork,
      [&](const HFSPlusExtentDescriptor& e) {
        // Every extent lies inside the volume.
        if (uint64_t(e.startBlock) + e.blockCount > volumeBlocks) return false;
        m_chain.push_back(e);
        return true;
      },
      &searchStatus);
  if (end != EForkWalkEnd::Complete) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return;
  }
  m_status = kHFSOk;
}

CHFSPlusRawfile::~CHFSPlusRawfile() {
  m_volume = nullptr;
  m_fileId = 0;
  m_status = kHFSMissing;
}

uint64_t CHFSPlusRawfile::Read(uint64_t offset, void* buffer, uint64_t size) {
  const HFSPlusVolumeHeader* header = m_volume ? m_volume->GetVolumeHeader() : nullptr;
  if (!header) {
    m_status = m_volume ? m_volume->GetState() : kHFSBadArgument;
    return 0;
  }
  if (m_chain.empty()) {
    m_status = HFS_RETURN_ERROR(kHFSMissing);
    return 0;
  }
  if (!buffer) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return 0;
  }
  const uint64_t B = header->blockSize;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t delivered = 0;
  uint64_t before = 0;  // bytes of the extents before the current one
  size_t i = 0;
  while (i < m_chain.size() && before + m_chain[i].blockCount * B <= offset) before += m_chain[i++].blockCount * B;
  uint64_t position = offset - before;
  while (delivered < size) {
    if (i >= m_chain.size() || B == 0) {
      m_status = HFS_RETURN_ERROR(kHFSBadStructure);
      break;
    }
    uint64_t extentBytes = m_chain[i].blockCount * B;
    uint64_t chunk = extentBytes - position;
    if (chunk > size - delivered) chunk = size - delivered;
    uint64_t got = m_volume->Read(m_chain[i].startBlock * B + position, out + delivered, chunk);
    delivered += got;
    if (got < chunk) {
      m_status = HFS_RETURN_ERROR(kHFSShortRead);
      break;
    }
    position = 0;
    ++i;
  }
  if (delivered < size) HFSPlusPrint("Location%" PRIu64 "Size%" PRIu64 "\n", offset, size - delivered);
  return delivered;
}

uint64_t CHFSPlusFileCache::Read(uint64_t offset, void* buffer, uint64_t size) {
  const HFSPlusVolumeHeader* header = m_volume ? m_volume->GetVolumeHeader() : nullptr;
  uint64_t fileBytes = 0;
  if (header)
    for (const HFSPlusExtentDescriptor& e : m_chain) fileBytes += uint64_t(e.blockCount) * header->blockSize;
  // Large reads, and reads the window cannot serve, go straight through.
  if (!buffer || size > kCacheSize / 4 || offset >= fileBytes || size > fileBytes - offset)
    return CHFSPlusRawfile::Read(offset, buffer, size);
  if (m_cache.empty() || offset < m_cacheStart || offset + size > m_cacheStart + m_cache.size()) {
    const uint64_t start = offset / 512 * 512;
    const uint64_t length = fileBytes - start < kCacheSize ? fileBytes - start : kCacheSize;
    m_cache.resize(length);
    const uint64_t got = CHFSPlusRawfile::Read(start, m_cache.data(), length);
    m_cache.resize(got);
    m_cacheStart = start;
    if (offset + size > start + got) {
      m_cache.clear();
      return CHFSPlusRawfile::Read(offset, buffer, size);
    }
  }
  std::memcpy(buffer, m_cache.data() + (offset - m_cacheStart), size);
  m_status = kHFSOk;
  return size;
}
