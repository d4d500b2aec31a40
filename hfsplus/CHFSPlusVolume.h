// An HFS+ (or HFSX) volume on a storage device: its header, journal and the
// three B-trees with their readers; byte reads, key searches, catalog walk
// and the volume name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "CHFSPlusAttribute.h"
#include "CHFSPlusCatalog.h"
#include "CHFSPlusExtents.h"
#include "CHFSPlusFileCache.h"
#include "CHFSPlusJournal.h"
#include "CHFSPlusRawfile.h"
#include "HFSPlusStructs.h"

class IDirecotryTreeBuilder;
class IStorageDevice;
class HFSPlusProgressReporter;

// Records the journal still holds that the live trees no longer do.
struct HFSPlusFoundCatalogRecord {
  std::unique_ptr<HFSPlusCatalogKey> key;
  std::unique_ptr<HFSPlusCatalogRecord> record;
};
struct HFSPlusFoundExtentRecord {
  std::unique_ptr<HFSPlusExtentKey> key;
  std::unique_ptr<HFSPlusExtentRecord> record;
};
struct HFSPlusFoundAttributeRecord {
  std::unique_ptr<HFSPlusAttrKey> key;
  std::unique_ptr<HFSPlusAttrRecord> record;
};
struct HFSPlusFoundRecords {
  std::vector<HFSPlusFoundCatalogRecord> catalog;
  std::vector<HFSPlusFoundExtentRecord> extents;
  std::vector<HFSPlusFoundAttributeRecord> attributes;
};

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
  // Walks the catalog, each folder and file record becoming a live node
  // for the builder (a node it refuses is destroyed); 13 when the reporter
  // stopped the walk.
  int Traverse(int treeType, IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter);
  // The journal's deleted records first (as deleted nodes), then the live
  // catalog, into the builder. `count` (optional) grows by the number of
  // deleted records. The status of the catalog walk.
  int QuickSearchFiles(IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter, uint64_t* count);

  // The inline data of attribute `name` (ASCII) of file `fileId`, from the
  // live tree or, failing that, the journal's records; its length (0 when
  // there is none or it is not inline data).
  size_t ReadAttribute(uint32_t fileId, const char* name, std::vector<uint8_t>& out);
  // The id of the special file (catalog 4, extents 3, attributes 8,
  // allocation 6, startup 7) whose extents hold the volume byte `address`;
  // 0 for none.
  uint32_t GetNodeBelongToFile(uint64_t address);
  bool IsBelongToFile(uint32_t fileId, const HFSPlusForkData& fork, uint64_t address);

  // Look-ups among the records the journal gave back: on a match `dataOut`
  // receives a copy and the found flag is set, else it is cleared.
  void FindFoundExtentRecord(const HFSPlusExtentKey& key, HFSPlusSearchResult* result,
                             std::unique_ptr<HFSPlusRecord>* dataOut);
  void FindFoundAttributeRecord(const HFSPlusAttrKey& key, HFSPlusSearchResult* result,
                                std::unique_ptr<HFSPlusRecord>* dataOut);
  HFSPlusFoundRecords& GetFoundRecords() { return m_found; }
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
  HFSPlusFoundRecords m_found;
};
