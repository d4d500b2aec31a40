// The catalog file's reader: a CHFSPlusRawfile that keeps a window of the
// file in memory, so the walk of the catalog reads the device in large
// pieces rather than node by node.
#pragma once

#include <vector>

#include "CHFSPlusRawfile.h"

class CHFSPlusFileCache : public CHFSPlusRawfile {
 public:
  CHFSPlusFileCache(CHFSPlusVolume* volume, uint32_t fileId, const HFSPlusForkData& fork)
      : CHFSPlusRawfile(volume, fileId, fork) {}

  uint64_t Read(uint64_t offset, void* buffer, uint64_t size) override;

  static constexpr uint64_t kCacheSize = 1024 * 1024;

 private:
  std::vector<uint8_t> m_cache;
  uint64_t m_cacheStart = 0;
};
