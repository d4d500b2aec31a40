// A FILE record together with its extension records: attribute searches
// across all of them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "CNTFSExtensionRecord.h"
#include "CNTFSRunList.h"
#include "NTFSSegmentRefList.h"

class IStorageDevice;

// Extension records beyond this many are ignored: real files stay far below,
// and each one costs a record buffer once loaded.
constexpr size_t kMaxExtensionRecords = 4096;

class CNTFSExtendedFileRecord {
 public:
  // Keeps a copy of a valid record (fixups applied when they check out) and
  // one extension record per list entry (none without a list or a device).
  CNTFSExtendedFileRecord(const uint8_t* record, int length, uint64_t sector, IStorageDevice* device,
                          const NTFSSegmentRefList* list);
  CNTFSExtendedFileRecord(const CNTFSExtendedFileRecord&) = delete;
  CNTFSExtendedFileRecord& operator=(const CNTFSExtendedFileRecord&) = delete;

  bool IsValid() const { return !m_base.empty(); }
  const uint8_t* GetRecord() const { return IsValid() ? m_base.data() : nullptr; }
  int GetLength() const { return static_cast<int>(m_base.size()); }
  uint64_t GetSector() const { return m_sector; }
  bool IsInUse() const;
  bool IsDirectory() const;
  // The base record's u32 at 44 (0 without a valid record).
  uint32_t GetRecordNumber() const;
  size_t GetExtensionCount() const { return m_extensions.size(); }

  // Attribute `ordinal` of `type`, counted over the base record and then the
  // extension records in list order. Hands out the attribute's offset in its
  // record and that record's sector. The header lies wholly inside its
  // record and stays valid while this object lives.
  const uint8_t* FindAttribute(uint32_t type, int ordinal, int* offset = nullptr, uint64_t* sector = nullptr);

  // Calls visit(header, offset, sector) for each attribute of `type` in the
  // order FindAttribute counts them, until visit answers false.
  using AttributeVisitor = std::function<bool(const uint8_t* header, int offset, uint64_t sector)>;
  void ForEachAttribute(uint32_t type, const AttributeVisitor& visit);

 private:
  // The extension record's bytes when it loads and is a valid record.
  const uint8_t* LoadValid(CNTFSExtensionRecord& extension);

  std::vector<uint8_t> m_base;
  uint64_t m_sector = 0;
  IStorageDevice* m_device = nullptr;
  std::vector<std::unique_ptr<CNTFSExtensionRecord>> m_extensions;
};

// The extension records of a base record with their sectors: the
// $ATTRIBUTE_LIST entries, each placed through the $MFT runs; entries that
// the runs do not map or that name the base record's own sector are dropped.
// Null when the record has no readable list; may be empty otherwise.
std::unique_ptr<NTFSSegmentRefList> BuildSegmentRefList(const uint8_t* record, int length, uint64_t sector,
                                                        uint8_t sectorsPerCluster, uint64_t partitionStart,
                                                        IStorageDevice* device, const CNTFSRunList& mftRuns,
                                                        uint8_t sectorsPerRecord);
