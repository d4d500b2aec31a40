#include "HFSPlusStructs.h"

#include <algorithm>

#include "ReturnError.h"

size_t SwapBytes(void* buffer, size_t n) {
  if (!buffer) return 0;
  std::reverse(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + n);
  return n / 2;
}

int flipForkData(HFSPlusForkData* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->logicalSize = ReadBE64(raw);
  out->clumpSize = ReadBE32(raw + 8);
  out->totalBlocks = ReadBE32(raw + 12);
  for (int i = 0; i < 8; ++i) {
    out->extents[i].startBlock = ReadBE32(raw + 16 + 8 * i);
    out->extents[i].blockCount = ReadBE32(raw + 20 + 8 * i);
  }
  return kHFSOk;
}

int flipVolumeHeader(HFSPlusVolumeHeader* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->signature = ReadBE16(raw);
  out->version = ReadBE16(raw + 2);
  uint32_t* words[] = {&out->attributes,     &out->lastMountedVersion, &out->journalInfoBlock, &out->createDate,
                       &out->modifyDate,     &out->backupDate,         &out->checkedDate,      &out->fileCount,
                       &out->folderCount,    &out->blockSize,          &out->totalBlocks,      &out->freeBlocks,
                       &out->nextAllocation, &out->rsrcClumpSize,      &out->dataClumpSize,    &out->nextCatalogID,
                       &out->writeCount};
  for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i) *words[i] = ReadBE32(raw + 4 + 4 * i);
  out->encodingsBitmap = ReadBE64(raw + 72);
  flipForkData(&out->allocationFile, raw + 112);
  flipForkData(&out->extentsFile, raw + 192);
  flipForkData(&out->catalogFile, raw + 272);
  flipForkData(&out->attributesFile, raw + 352);
  flipForkData(&out->startupFile, raw + 432);
  return kHFSOk;
}

int flipNodeDescriptor(BTNodeDescriptor* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->fLink = ReadBE32(raw);
  out->bLink = ReadBE32(raw + 4);
  out->kind = static_cast<int8_t>(raw[8]);
  out->height = raw[9];
  out->numRecords = ReadBE16(raw + 10);
  return kHFSOk;
}

int flipBTHeaderRec(BTHeaderRec* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->treeDepth = ReadBE16(raw);
  out->rootNode = ReadBE32(raw + 2);
  out->leafRecords = ReadBE32(raw + 6);
  out->firstLeafNode = ReadBE32(raw + 10);
  out->lastLeafNode = ReadBE32(raw + 14);
  out->nodeSize = ReadBE16(raw + 18);
  out->maxKeyLength = ReadBE16(raw + 20);
  out->totalNodes = ReadBE32(raw + 22);
  out->freeNodes = ReadBE32(raw + 26);
  out->clumpSize = ReadBE32(raw + 32);
  out->btreeType = raw[36];
  out->keyCompareType = raw[37];
  out->attributes = ReadBE32(raw + 38);
  return kHFSOk;
}

int flipJournalInfoBlock(JournalInfoBlock* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->flags = ReadBE32(raw);
  out->offset = ReadBE64(raw + 36);
  out->size = ReadBE64(raw + 44);
  return kHFSOk;
}

int ReadJournalHeader(JournalHeader* out, const uint8_t* raw) {
  if (!out || !raw) return HFS_RETURN_ERROR(kHFSBadArgument);
  out->magic = ReadLE32(raw);
  out->endian = ReadLE32(raw + 4);
  out->start = ReadLE64(raw + 8);
  out->end = ReadLE64(raw + 16);
  out->size = ReadLE64(raw + 24);
  out->blhdrSize = ReadLE32(raw + 32);
  out->checksum = ReadLE32(raw + 36);
  out->jhdrSize = ReadLE32(raw + 40);
  return kHFSOk;
}

namespace {

// Name units in host order; '/' is shown as ':' (the Finder's separator).
void ReadName(char16_t* out, const uint8_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    char16_t c = static_cast<char16_t>(ReadBE16(p + 2 * i));
    out[i] = c == u'/' ? u':' : c;
  }
}

void ReadBSDInfo(HFSPlusBSDInfo* out, const uint8_t* p) {
  out->ownerID = ReadBE32(p);
  out->groupID = ReadBE32(p + 4);
  out->adminFlags = p[8];
  out->ownerFlags = p[9];
  out->fileMode = ReadBE16(p + 10);
  out->special = ReadBE32(p + 12);
}

void ReadExtents(HFSPlusExtentDescriptor* out, const uint8_t* p) {
  for (int i = 0; i < 8; ++i) {
    out[i].startBlock = ReadBE32(p + 8 * i);
    out[i].blockCount = ReadBE32(p + 8 * i + 4);
  }
}

}  // namespace

bool filpCatalogKey(HFSPlusCatalogKey* out, const uint8_t* rec, size_t length) {
  if (!out || !rec || length < 8) return false;
  uint16_t keyLength = ReadBE16(rec);
  if (keyLength < 6 || size_t(keyLength) + 2 > length) return false;
  uint16_t nameLength = ReadBE16(rec + 6);
  if (nameLength > kHFSMaxNameLength || 6 + 2 * size_t(nameLength) > keyLength) return false;
  out->keyLength = keyLength;
  out->parentID = ReadBE32(rec + 2);
  out->nameLength = nameLength;
  ReadName(out->name, rec + 8, nameLength);
  return true;
}

bool filpExtentKey(HFSPlusExtentKey* out, const uint8_t* rec, size_t length) {
  if (!out || !rec || length < 12) return false;
  uint16_t keyLength = ReadBE16(rec);
  if (keyLength < 10 || size_t(keyLength) + 2 > length) return false;
  out->keyLength = keyLength;
  out->forkType = rec[2];
  out->fileID = ReadBE32(rec + 4);
  out->startBlock = ReadBE32(rec + 8);
  return true;
}

bool filpAttributeKey(HFSPlusAttrKey* out, const uint8_t* rec, size_t length) {
  if (!out || !rec || length < 14) return false;
  uint16_t keyLength = ReadBE16(rec);
  if (keyLength < 12 || size_t(keyLength) + 2 > length) return false;
  uint16_t nameLength = ReadBE16(rec + 12);
  if (nameLength > kHFSMaxNameLength || 12 + 2 * size_t(nameLength) > keyLength) return false;
  out->keyLength = keyLength;
  out->fileID = ReadBE32(rec + 4);
  out->startBlock = ReadBE32(rec + 8);
  out->nameLength = nameLength;
  ReadName(out->name, rec + 14, nameLength);
  return true;
}

bool ReadCatalogRecord(HFSPlusCatalogRecord* out, const uint8_t* d, size_t length) {
  if (!out || !d || length < 2) return false;
  uint16_t type = ReadBE16(d);
  switch (type) {
    case kHFSPlusFolderRecord:
    case kHFSPlusFileRecord: {
      if (length < (type == kHFSPlusFolderRecord ? 88u : 248u)) return false;
      out->recordType = type;
      out->flags = ReadBE16(d + 2);
      out->valence = type == kHFSPlusFolderRecord ? ReadBE32(d + 4) : 0;
      out->id = ReadBE32(d + 8);
      out->createDate = ReadBE32(d + 12);
      out->contentModDate = ReadBE32(d + 16);
      out->attributeModDate = ReadBE32(d + 20);
      out->accessDate = ReadBE32(d + 24);
      out->backupDate = ReadBE32(d + 28);
      ReadBSDInfo(&out->permissions, d + 32);
      out->fileType = ReadBE32(d + 48);
      out->fileCreator = ReadBE32(d + 52);
      out->finderFlags = ReadBE16(d + 56);
      out->textEncoding = ReadBE32(d + 80);
      if (type == kHFSPlusFileRecord) {
        flipForkData(&out->dataFork, d + 88);
        flipForkData(&out->resourceFork, d + 168);
      }
      return true;
    }
    case kHFSPlusFolderThreadRecord:
    case kHFSPlusFileThreadRecord: {
      if (length < 10) return false;
      uint16_t n = ReadBE16(d + 8);
      if (n > kHFSMaxNameLength || 10 + 2 * size_t(n) > length) return false;
      out->recordType = type;
      out->threadParentID = ReadBE32(d + 4);
      out->threadNameLength = n;
      ReadName(out->threadName, d + 10, n);
      return true;
    }
    default:
      return false;
  }
}

bool ReadExtentRecord(HFSPlusExtentRecord* out, const uint8_t* d, size_t length) {
  if (!out || !d || length < 64) return false;
  ReadExtents(out->extents, d);
  return true;
}

bool ReadAttributeRecord(HFSPlusAttrRecord* out, const uint8_t* d, size_t length) {
  if (!out || !d || length < 4) return false;
  out->recordType = ReadBE32(d);
  switch (out->recordType) {
    case kHFSPlusAttrInlineData: {
      if (length < 16) return false;
      uint32_t size = ReadBE32(d + 12);
      if (size > length - 16) return false;
      out->inlineData.assign(d + 16, d + 16 + size);
      return true;
    }
    case kHFSPlusAttrForkData:
      if (length < 88) return false;
      flipForkData(&out->fork, d + 8);
      return true;
    case kHFSPlusAttrExtents:
      if (length < 72) return false;
      ReadExtents(out->extents, d + 8);
      return true;
    default:
      return false;
  }
}

bool IsHFSPlusVolumeHeader(const uint8_t* raw, size_t size) {
  if (!raw || size < 512) return false;
  HFSPlusVolumeHeader h;
  flipVolumeHeader(&h, raw);
  if (h.signature != 0x482B && h.signature != 0x4858) return false;
  if (h.blockSize % 512 != 0) return false;
  if (h.version > 16) return false;
  if (h.freeBlocks > h.totalBlocks) return false;
  if (h.journalInfoBlock > h.totalBlocks) return false;
  return uint64_t(h.catalogFile.totalBlocks) * h.blockSize == h.catalogFile.logicalSize;
}

std::unique_ptr<HFSPlusCatalogRecord> CopyCatalogRecord(const HFSPlusCatalogRecord* r) {
  if (!r || r->recordType < kHFSPlusFolderRecord || r->recordType > kHFSPlusFileThreadRecord) return nullptr;
  return std::make_unique<HFSPlusCatalogRecord>(*r);
}

std::unique_ptr<HFSPlusExtentRecord> CopyExtentRecord(const HFSPlusExtentRecord* r) {
  return r ? std::make_unique<HFSPlusExtentRecord>(*r) : nullptr;
}

std::unique_ptr<HFSPlusAttrRecord> CopyAttributeRecord(const HFSPlusAttrRecord* r) {
  if (!r || (r->recordType != kHFSPlusAttrInlineData && r->recordType != kHFSPlusAttrForkData &&
             r->recordType != kHFSPlusAttrExtents))
    return nullptr;
  return std::make_unique<HFSPlusAttrRecord>(*r);
}
