// An HFS+ (or HFSX) volume on a storage device: its header, journal and the
// three B-trees with their readers; byte reads, key searches, catalog walk
// and the volume name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "CHFSPlusAttribute.h"
#include "CHFSPlusCatalog.h"
#include "CHFSPlusExtents.h"
#include "CHFSPlusFileCache.h"
#include "CHFSPlusJournal.h"
#include "CHFSPlusRawfile.h"
#include "HFSPlusStructs.h"

class IStorageDevice;

class CHFSPlusVolume {
 public:
  // Opens the volume that begins at `firstSector` of the device (not owned).
  // The state is 0 exactly when the catalog's header record was read.
  explicit CHFSPlusVolume(IStorageDevice* device, uint64_t firstSector = 0);
  ~CHFSPlusVolume();
  CHFSPlusVolume(const CHFSPlusVolume&) = delete;
  CHFSPlusVolume& operator=(const CHFSPlusVolume&) = delete;

  int GetState() const { return m_state; }
  // The host-order header; null unless all 512 bytes were read.
  const HFSPlusVolumeHeader* GetVolumeHeader() const { return m_hasHeader ? &m_header : nullptr; }
  uint8_t GetKeyCompareType() const { return m_keyCompareType; }
  int GetSectorSize() const { return m_sectorSize; }
  CHFSPlusJournal* GetJournal() const { return m_journal.get(); }
  CHFSPlusCatalog* GetCatalog() const { return m_catalog.get(); }
  CHFSPlusExtents* GetExtents() const { return m_extents.get(); }
  CHFSPlusAttribute* GetAttributes() const { return m_attributes.get(); }

  int ReadVolumeHeader();
  // Reads `size` bytes at byte `offset` of the volume; returns the bytes delivered.
  uint64_t Read(uint64_t offset, void* buffer, uint64_t size);
  // Looks a key up in tree 3 (extents), 4 (catalog) or 8 (attributes).
  int Search(int treeType, const HFSPlusKey& key, HFSPlusSearchResult* result, std::unique_ptr<HFSPlusRecord>* dataOut);
  // Walks the catalog (type 4 only).
  int Traverse(int treeType, IHFSPlusRecordVisitor* visitor);
  // The volume's name (the root folder's name) in UTF-8 followed by
  // " (HFS+)", terminated, cut to fit `outSize` bytes. 0 on success; -1 no
  // catalog, -2 no root node, -3 no first record, -4 the first key is not
  // the root folder's, -5 `out` missing or shorter than the suffix.
  int GetVolumeName(char* out, size_t outSize);

 private:
  int m_sectorSize = 0;
  IStorageDevice* m_device = nullptr;
  uint64_t m_firstSector = 0;
  int m_state = kHFSMissing;
  HFSPlusVolumeHeader m_header;
  bool m_hasHeader = false;
  // Destroyed in reverse order: journal, catalog, attributes, extents.
  std::unique_ptr<CHFSPlusRawfile> m_extentsReader;
  std::unique_ptr<CHFSPlusExtents> m_extents;
  std::unique_ptr<CHFSPlusRawfile> m_attributesReader;
  std::unique_ptr<CHFSPlusAttribute> m_attributes;
  std::unique_ptr<CHFSPlusFileCache> m_catalogReader;
  std::unique_ptr<CHFSPlusCatalog> m_catalog;
  std::unique_ptr<CHFSPlusJournal> m_journal;
  uint8_t m_keyCompareType = 0;
};
