// Reads one special file of an HFS+ volume (extents overflow, catalog,
// attributes) through its fork's extents, the overflow extents included.
#pragma once

#include <cstdint>
#include <vector>

#include "HFSPlusStructs.h"

class CHFSPlusVolume;

class CHFSPlusRawfile {
 public:
  // More extents than this in one fork are taken for damage.
  static constexpr size_t kMaxExtents = 65536;

  CHFSPlusRawfile(CHFSPlusVolume* volume, uint32_t fileId, const HFSPlusForkData& fork);
  virtual ~CHFSPlusRawfile();
  CHFSPlusRawfile(const CHFSPlusRawfile&) = delete;
  CHFSPlusRawfile& operator=(const CHFSPlusRawfile&) = delete;

  // Reads `size` bytes at byte `offset` of the file; returns the bytes
  // delivered (fewer when the range passes the last extent or a read fails).
  virtual uint64_t Read(uint64_t offset, void* buffer, uint64_t size);
  int GetStatus() const { return m_status; }
  const std::vector<HFSPlusExtentDescriptor>& GetExtents() const { return m_chain; }

 protected:
  std::vector<HFSPlusExtentDescriptor> m_chain;
  int m_status = kHFSMissing;
  CHFSPlusVolume* m_volume = nullptr;
  uint32_t m_fileId = 0;
};
