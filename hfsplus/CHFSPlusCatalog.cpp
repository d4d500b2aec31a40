#include "CHFSPlusCatalog.h"

#include <cinttypes>
#include <cstdio>

#include "HFSPlusUnicode.h"
#include "HFSPlusOutput.h"
#include "ReturnError.h"

int CompareCatalogKeys(const HFSPlusCatalogKey& a, const HFSPlusCatalogKey& b, uint8_t keyCompareType) {
  if (a.parentID != b.parentID) return a.parentID < b.parentID ? -1 : 1;
  if (keyCompareType == kHFSCaseFoldingCompare) return CompareHFSPlusNames(a.name, a.nameLength, b.name, b.nameLength);
  return CompareHFSPlusNamesBinary(a.name, a.nameLength, b.name, b.nameLength);
}

CHFSPlusCatalog::CHFSPlusCatalog(CHFSPlusVolume* volume, CHFSPlusRawfile* reader)
    : CHFSPlusBTreeOptionBase(volume, reader) {
  MakeTree();
}

int CHFSPlusCatalog::CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) {
  const uint8_t type = m_hasHeader ? m_header.keyCompareType : 0;
  return CompareAs<HFSPlusCatalogKey>(
      recordKey, searchKey,
      [type](const HFSPlusCatalogKey& a, const HFSPlusCatalogKey& b) { return CompareCatalogKeys(a, b, type); });
}

std::unique_ptr<HFSPlusKey> CHFSPlusCatalog::ReadKey(CHFSPlusBTNode& node, uint16_t index) {
  return ReadKeyWith<HFSPlusCatalogKey>(node, index, filpCatalogKey);
}

void CHFSPlusCatalog::DumpKey(const HFSPlusKey& key) {
  auto* k = dynamic_cast<const HFSPlusCatalogKey*>(&key);
  if (!k) return;
  char name[kHFSMaxNameLength * 3 + 1] = {};
  HFSPlusNameToNarrow(k->name, k->nameLength, name, sizeof name - 1);
  HFSPlusPrint("ParentID:%" PRIu32 "\tName:%s", k->parentID, k->nameLength ? name : "\t");
}

std::unique_ptr<HFSPlusRecord> CHFSPlusCatalog::ReadData(CHFSPlusBTNode& node, uint16_t index) {
  uint32_t length = 0;
  const uint8_t* rec = LeafRecordOf(node, index, &length, kHFSBadStructure);
  if (!rec) return nullptr;
  // Bad offsets and unknown record types are skipped quietly by the callers.
  uint32_t dataOffset = length >= 2 ? CHFSPlusBTNode::GetRecordDataOffset(rec) : 0;
  auto record = std::make_unique<HFSPlusCatalogRecord>();
  if (dataOffset == 0 || dataOffset >= length ||
      !ReadCatalogRecord(record.get(), rec + dataOffset, length - dataOffset)) {
    m_status = kHFSBadStructure;
    return nullptr;
  }
  m_status = kHFSOk;
  return record;
}

void CHFSPlusCatalog::DumpData(const HFSPlusRecord& record) {
  auto* r = dynamic_cast<const HFSPlusCatalogRecord*>(&record);
  if (r) {
    switch (r->recordType) {
      case kHFSPlusFolderRecord:
        HFSPlusPrint("\tType:Folder\tFolderID:%" PRIu32, r->id);
        break;
      case kHFSPlusFileRecord:
        HFSPlusPrint("\tType:File\tFileID:%" PRIu32 "\tFileSize:%" PRIu64, r->id, r->dataFork.logicalSize);
        break;
      case kHFSPlusFolderThreadRecord:
      case kHFSPlusFileThreadRecord: {
        char name[kHFSMaxNameLength * 3 + 1] = {};
        HFSPlusNameToNarrow(r->threadName, r->threadNameLength, name, sizeof name - 1);
        HFSPlusPrint("\tParentID:%" PRIu32 "\tName:%s", r->threadParentID, name);
        break;
      }
      default:
        break;
    }
  }
  HFSPlusPrint("\n");
}
