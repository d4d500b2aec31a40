// HFS+ on-disk structures in host order, and the routines that read them
// field by field from their big-endian bytes. Layouts follow Apple's HFS Plus
// volume format note; only the fields the engine uses are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ByteOrder.h"

// Status codes of the HFS+ engine (every HFS+ object keeps one).
enum HFSPlusStatus : int {
  kHFSOk = 0,
  kHFSMissing = 2,        // a needed object is missing
  kHFSUnsupported = 3,    // tree or record kind not supported here
  kHFSNoMemory = 4,       // an allocation failed
  kHFSBadArgument = 5,    // null pointer, index past the end, null volume
  kHFSBadStructure = 6,   // a structure is not what it must be
  kHFSStopped = 13,       // a walk was asked to stop
  kHFSShortRead = 14,     // fewer bytes were read than asked
  kHFSDeviceError = 1281  // the device refused a read; journal absent or not acceptable
};

// Special file ids.
enum : uint32_t {
  kHFSRootParentID = 1,
  kHFSRootFolderID = 2,
  kHFSExtentsFileID = 3,
  kHFSCatalogFileID = 4,
  kHFSAllocationFileID = 6,
  kHFSStartupFileID = 7,
  kHFSAttributesFileID = 8,
};

// Tree types of CHFSPlusVolume::Search.
enum : int { kHFSExtentsTree = 3, kHFSCatalogTree = 4, kHFSAttributesTree = 8 };

constexpr uint32_t kHFSVolumeJournaledBit = 0x2000;
constexpr uint8_t kHFSCaseFoldingCompare = 0xCF;
constexpr size_t kHFSMaxNameLength = 255;

struct HFSPlusExtentDescriptor {
  uint32_t startBlock = 0;
  uint32_t blockCount = 0;
};

struct HFSPlusForkData {  // 80 bytes on disk
  uint64_t logicalSize = 0;
  uint32_t clumpSize = 0;
  uint32_t totalBlocks = 0;
  HFSPlusExtentDescriptor extents[8];
};

struct HFSPlusVolumeHeader {  // 512 bytes at byte 1024
  uint16_t signature = 0;
  uint16_t version = 0;
  uint32_t attributes = 0;
  uint32_t lastMountedVersion = 0;
  uint32_t journalInfoBlock = 0;
  uint32_t createDate = 0, modifyDate = 0, backupDate = 0, checkedDate = 0;
  uint32_t fileCount = 0;
  uint32_t folderCount = 0;
  uint32_t blockSize = 0;
  uint32_t totalBlocks = 0;
  uint32_t freeBlocks = 0;
  uint32_t nextAllocation = 0, rsrcClumpSize = 0, dataClumpSize = 0, nextCatalogID = 0, writeCount = 0;
  uint64_t encodingsBitmap = 0;
  HFSPlusForkData allocationFile, extentsFile, catalogFile, attributesFile, startupFile;
};

struct BTNodeDescriptor {  // 14 bytes
  uint32_t fLink = 0;
  uint32_t bLink = 0;
  int8_t kind = 0;  // -1 leaf, 0 index, 1 header, 2 map
  uint8_t height = 0;
  uint16_t numRecords = 0;
};
enum : int8_t { kBTLeafNode = -1, kBTIndexNode = 0, kBTHeaderNode = 1, kBTMapNode = 2 };

struct BTHeaderRec {  // 106 bytes
  uint16_t treeDepth = 0;
  uint32_t rootNode = 0;
  uint32_t leafRecords = 0;
  uint32_t firstLeafNode = 0;
  uint32_t lastLeafNode = 0;
  uint16_t nodeSize = 0;
  uint16_t maxKeyLength = 0;
  uint32_t totalNodes = 0;
  uint32_t freeNodes = 0;
  uint32_t clumpSize = 0;
  uint8_t btreeType = 0;
  uint8_t keyCompareType = 0;
  uint32_t attributes = 0;
};

// Keys and records handed out by the tree options; each tree has its own kind.
struct HFSPlusKey {
  virtual ~HFSPlusKey() = default;
};
struct HFSPlusRecord {
  virtual ~HFSPlusRecord() = default;
};

struct HFSPlusCatalogKey : HFSPlusKey {
  uint16_t keyLength = 0;
  uint32_t parentID = 0;
  uint16_t nameLength = 0;  // units held in name (at most 255)
  char16_t name[kHFSMaxNameLength] = {};
};

struct HFSPlusExtentKey : HFSPlusKey {
  uint16_t keyLength = 10;
  uint8_t forkType = 0;  // 0 data, 0xFF resource
  uint32_t fileID = 0;
  uint32_t startBlock = 0;
};

struct HFSPlusAttrKey : HFSPlusKey {
  uint16_t keyLength = 0;
  uint32_t fileID = 0;
  uint32_t startBlock = 0;
  uint16_t nameLength = 0;
  char16_t name[kHFSMaxNameLength] = {};
};

struct HFSPlusBSDInfo {
  uint32_t ownerID = 0, groupID = 0;
  uint8_t adminFlags = 0, ownerFlags = 0;
  uint16_t fileMode = 0;
  uint32_t special = 0;
};

enum : uint16_t {
  kHFSPlusFolderRecord = 1,
  kHFSPlusFileRecord = 2,
  kHFSPlusFolderThreadRecord = 3,
  kHFSPlusFileThreadRecord = 4
};

struct HFSPlusCatalogRecord : HFSPlusRecord {
  uint16_t recordType = 0;
  uint16_t flags = 0;
  uint32_t valence = 0;  // folders
  uint32_t id = 0;       // folderID or fileID
  uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0, backupDate = 0;
  HFSPlusBSDInfo permissions;
  uint32_t fileType = 0, fileCreator = 0;  // files
  uint16_t finderFlags = 0;
  uint32_t textEncoding = 0;
  HFSPlusForkData dataFork, resourceFork;  // files
  // Thread records: the parent and name of the folder or file.
  uint32_t threadParentID = 0;
  uint16_t threadNameLength = 0;
  char16_t threadName[kHFSMaxNameLength] = {};
};

struct HFSPlusExtentRecord : HFSPlusRecord {
  HFSPlusExtentDescriptor extents[8];
};

enum : uint32_t { kHFSPlusAttrInlineData = 0x10, kHFSPlusAttrForkData = 0x20, kHFSPlusAttrExtents = 0x30 };

struct HFSPlusAttrRecord : HFSPlusRecord {
  uint32_t recordType = 0;
  std::vector<uint8_t> inlineData;     // 0x10
  HFSPlusForkData fork;                // 0x20
  HFSPlusExtentDescriptor extents[8];  // 0x30
};

struct JournalInfoBlock {  // first 180 bytes
  uint32_t flags = 0;      // bit 0: the journal lies in this volume
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct JournalHeader {  // first 44 bytes, little-endian journals only
  uint32_t magic = 0, endian = 0;
  uint64_t start = 0, end = 0, size = 0;
  uint32_t blhdrSize = 0, checksum = 0, jhdrSize = 0;
};
constexpr uint32_t kJournalMagic = 0x4A4E4C78;
constexpr uint32_t kJournalEndian = 0x12345678;

// Reverses n bytes in place; returns n / 2.
size_t SwapBytes(void* buffer, size_t n);

// Readers of the raw big-endian bytes into host-order copies. Each answers 0,
// or 5 (printed) for a null pointer. The raw buffer must hold the structure's
// full size (512, 80, 14, 106, 180 and 44 bytes).
int flipVolumeHeader(HFSPlusVolumeHeader* out, const uint8_t* raw);
int flipForkData(HFSPlusForkData* out, const uint8_t* raw);
int flipNodeDescriptor(BTNodeDescriptor* out, const uint8_t* raw);
int flipBTHeaderRec(BTHeaderRec* out, const uint8_t* raw);
int flipJournalInfoBlock(JournalInfoBlock* out, const uint8_t* raw);
int ReadJournalHeader(JournalHeader* out, const uint8_t* raw);

// Readers of keys and records out of one B-tree record of `length` bytes.
// They answer false when the bytes cannot hold what their length fields
// claim. Names longer than 255 units are refused.
bool filpCatalogKey(HFSPlusCatalogKey* out, const uint8_t* rec, size_t length);
bool filpExtentKey(HFSPlusExtentKey* out, const uint8_t* rec, size_t length);
bool filpAttributeKey(HFSPlusAttrKey* out, const uint8_t* rec, size_t length);
// `data` points at the record's data (after the key), `length` bytes long.
bool ReadCatalogRecord(HFSPlusCatalogRecord* out, const uint8_t* data, size_t length);
bool ReadExtentRecord(HFSPlusExtentRecord* out, const uint8_t* data, size_t length);
bool ReadAttributeRecord(HFSPlusAttrRecord* out, const uint8_t* data, size_t length);

// Plausibility test of a raw 512-byte volume header.
bool IsHFSPlusVolumeHeader(const uint8_t* raw, size_t size);

// Copies of records for the collections of found records; null for null or
// an unknown record type.
std::unique_ptr<HFSPlusCatalogRecord> CopyCatalogRecord(const HFSPlusCatalogRecord* r);
std::unique_ptr<HFSPlusExtentRecord> CopyExtentRecord(const HFSPlusExtentRecord* r);
std::unique_ptr<HFSPlusAttrRecord> CopyAttributeRecord(const HFSPlusAttrRecord* r);
