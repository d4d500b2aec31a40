#include "CHFSPlusFileNode.h"

#include <cinttypes>
#include <cstring>
#include <vector>

#include "CFileSystemNode.h"
#include "CHFSPlusVolume.h"
#include "HFSPlusForkExtents.h"
#include "HFSPlusOutput.h"
#include "HFSPlusUnicode.h"
#include "ScanStreamIO.h"

namespace {
// 100-ns intervals from 1601-01-01 to 1904-01-01.
constexpr uint64_t kFileTime1904 = 95616288000000000ull;
// Blocks assumed when a node has no volume to ask.
constexpr uint32_t kDefaultBlockSize = 4096;
// The decmpfs header: magic, type, then the uncompressed size (host order).
constexpr size_t kDecmpfsHeaderSize = 16;
constexpr const char* kDecmpfsName = "com.apple.decmpfs";
constexpr uint8_t kCompressedOwnerFlag = 0x20;

uint32_t BlockSizeOf(const CHFSPlusVolume* volume) {
  const HFSPlusVolumeHeader* h = volume ? volume->GetVolumeHeader() : nullptr;
  return h && h->blockSize ? h->blockSize : kDefaultBlockSize;
}
}  // namespace

uint64_t HFSPlusDateToFileTime(uint32_t date) {
  return date ? uint64_t(date) * 10000000ull + kFileTime1904 : 0;
}

uint64_t HFSPlusForkSize(const HFSPlusForkData& fork, uint32_t blockSize) {
  return fork.logicalSize ? fork.logicalSize : uint64_t(fork.totalBlocks) * blockSize;
}

std::unique_ptr<HFSPlusFileDataRun> BuildHFSPlusRunList(CHFSPlusVolume* volume, uint32_t fileId, uint8_t forkType,
                                                        const HFSPlusForkData& fork) {
  if (fork.totalBlocks == 0) return nullptr;
  auto runs = std::make_unique<HFSPlusFileDataRun>();
  ForkExtentWalk how;
  how.fileId = fileId;
  how.forkType = forkType;
  how.volume = volume;
  how.useFoundRecords = true;
  // What was found before a missing record is kept.
  WalkForkExtents(how, fork, [&](const HFSPlusExtentDescriptor& e) {
    runs->AddRun(e.startBlock, e.blockCount);
    return true;
  });
  if (runs->GetRunCount() == 0) return nullptr;
  return runs;
}

CHFSPlusFileNode::CHFSPlusFileNode(CHFSPlusVolume* volume, const HFSPlusCatalogKey* key,
                                   const HFSPlusCatalogRecord* record, bool deleted)
    : m_volume(volume) {
  SetUserData(volume);
  InitFromCatalogRecord(0, key, record, deleted);
}

CHFSPlusFileNode::CHFSPlusFileNode(CHFSPlusVolume* volume, uint64_t position, uint32_t partitionIndex,
                                   const HFSPlusCatalogKey* key, const HFSPlusCatalogRecord* record)
    : m_volume(volume) {
  SetUserData(volume);
  InitFromCatalogRecord(position, key, record, false);
  m_partitionIndex = partitionIndex;
}

CHFSPlusFileNode::~CHFSPlusFileNode() = default;

void CHFSPlusFileNode::InitFromCatalogRecord(uint64_t position, const HFSPlusCatalogKey* key,
                                             const HFSPlusCatalogRecord* record, bool deleted) {
  if (!key || !record) return;
  if (deleted) m_flags |= kHFSNodeDeleted;
  SetParentId(key->parentID);
  // Names may begin with NUL characters ("HFS+ Private Data"): shown without.
  size_t skip = 0;
  const size_t length = key->nameLength < kHFSMaxNameLength ? key->nameLength : kHFSMaxNameLength;
  while (skip < length && key->name[skip] == 0) ++skip;
  char text[4 * kHFSMaxNameLength + 1] = {};
  const size_t n = HFSPlusNameToNarrow(key->name + skip, length - skip, text, sizeof text - 1);
  m_name.assign(text, n);

  if (record->recordType == kHFSPlusFolderRecord) {
    m_flags |= kHFSNodeFolder;
    if (record->id == kHFSRootParentID) return;
    SetId(record->id);
    SetPosition(position);
    m_createDate = record->createDate;
    m_contentModDate = record->contentModDate;
    m_accessDate = record->accessDate;
    m_attributes = kFileAttributeDirectory;
  } else if (record->recordType == kHFSPlusFileRecord) {
    SetId(record->id);
    SetPosition(position);
    const uint32_t blockSize = BlockSizeOf(m_volume);
    if (record->permissions.ownerFlags & kCompressedOwnerFlag) {
      m_flags |= kHFSNodeCompressed;
      // The compressed bytes, when not inline, are in the resource fork.
      if (record->resourceFork.logicalSize != 0) {
        m_size = record->resourceFork.logicalSize;
        m_runs = BuildHFSPlusRunList(m_volume, record->id, kHFSResourceFork, record->resourceFork);
      }
    } else {
      m_size = HFSPlusForkSize(record->dataFork, blockSize);
      m_runs = BuildHFSPlusRunList(m_volume, record->id, kHFSDataFork, record->dataFork);
    }
    m_createDate = record->createDate;
    m_contentModDate = record->contentModDate;
    m_accessDate = record->accessDate;
    m_attributes = kHFSFileAttributeFile;
    if (record->fileType == kHFSDirectoryAliasType) {
      m_flags |= kHFSNodeFolder;
      m_attributes = kFileAttributeDirectory;
    }
  } else {
    return;
  }
  if (m_flags & kHFSNodeCompressed) m_attributes |= kFileAttributeCompressed;
  SetProperties(HFSPlusFileProperties::FromNode(*this));
}

void CHFSPlusFileNode::SetSize(uint64_t size) {
  m_size = size;
  if (auto* p = dynamic_cast<HFSPlusFileProperties*>(GetProperties()))
    p->SetFileSize(size > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size));
}

void CHFSPlusFileNode::SetDeleted() {
  m_flags |= kHFSNodeDeleted;
  if (IFileProperties* p = GetProperties()) p->SetDeleted(p->IsDeleted() | 1);
}

void CHFSPlusFileNode::CheckCompression() {
  if (!IsCompressed() || !m_volume || GetId() < 0) return;
  std::vector<uint8_t> data;
  const size_t n = m_volume->ReadAttribute(static_cast<uint32_t>(GetId()), kDecmpfsName, data);
  // The header is stored in host (little-endian) order.
  if (n >= kDecmpfsHeaderSize && data.size() >= kDecmpfsHeaderSize) {
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = (size << 8) | data[8 + i];
    SetSize(size);
    return;
  }
  HFSPlusPrint("Warn:Can't find file 0x%" PRIx64 " Attribute\n", static_cast<uint64_t>(GetId()));
}

// ---- properties ----

HFSPlusFileProperties* HFSPlusFileProperties::Create() {
  return new HFSPlusFileProperties;
}

HFSPlusFileProperties* HFSPlusFileProperties::FromNode(const CHFSPlusFileNode& node) {
  auto* p = new HFSPlusFileProperties;
  p->m_name = node.GetName();
  const uint64_t size = node.GetSize();
  p->m_size = size > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size);
  p->m_attributes = node.GetNodeAttributes();
  p->m_creation = node.GetCreationTime();
  p->m_modification = node.GetModificationTime();
  p->m_access = node.GetAccessTime();
  p->PackRuns(node.GetRunList());
  p->m_deleted = node.IsDeleted() ? 1 : 0;
  p->m_nodeFlags = node.GetFlags();
  return p;
}

bool HFSPlusFileProperties::Save(IScanStream* s) const {
  bool ok = StreamWriteU32(s, static_cast<uint32_t>(m_name.size())) &&
            StreamWriteBytes(s, m_name.data(), static_cast<uint32_t>(m_name.size())) &&
            StreamWriteU64(s, static_cast<uint64_t>(m_size)) && StreamWriteU16(s, m_attributes) &&
            StreamWriteU64(s, m_creation) && StreamWriteU64(s, m_modification) && StreamWriteU64(s, m_access) &&
            StreamWriteU16(s, m_deleted) && StreamWriteU32(s, m_status) && StreamWriteU8(s, m_nodeFlags);
  if (!ok) return false;
  std::unique_ptr<IDataRunList> runs(GetDataRunList());
  const uint32_t count = runs ? static_cast<uint32_t>(runs->GetRunCount()) : 0;
  if (!StreamWriteU32(s, count)) return false;
  if (runs)
    for (const DataRun& r : runs->Runs())
      if (!StreamWriteU64(s, r.start) || !StreamWriteU64(s, r.length)) return false;
  return true;
}

bool HFSPlusFileProperties::Load(IScanStream* s) {
  uint32_t nameLength = 0;
  if (!StreamReadU32(s, nameLength)) return false;
  if (nameLength == 0) return true;
  std::string name;
  uint64_t size = 0, creation = 0, modification = 0, access = 0;
  uint16_t attributes = 0, deleted = 0;
  uint32_t status = 0, count = 0;
  uint8_t flags = 0;
  if (!StreamReadText(s, nameLength, name) || !StreamReadU64(s, size) || !StreamReadU16(s, attributes) ||
      !StreamReadU64(s, creation) || !StreamReadU64(s, modification) || !StreamReadU64(s, access) ||
      !StreamReadU16(s, deleted) || !StreamReadU32(s, status) || !StreamReadU8(s, flags) ||
      !StreamReadU32(s, count))
    return false;
  std::unique_ptr<HFSPlusFileDataRun> runs;
  if (count != 0 && count < kMaxSavedRuns) {
    runs = std::make_unique<HFSPlusFileDataRun>();
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t start = 0, length = 0;
      if (!StreamReadU64(s, start) || !StreamReadU64(s, length)) return false;
      runs->AddRun(start, length);
    }
  }
  m_name = std::move(name);
  m_size = size > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size);
  m_attributes = attributes;
  m_creation = creation;
  m_modification = modification;
  m_access = access;
  m_deleted = static_cast<uint8_t>(deleted);
  m_status = 0;
  m_nodeFlags = flags;
  m_packed.reset();
  PackRuns(runs.get());
  return true;
}

bool HFSPlusSystemNodeProperties::Save(IScanStream* s) const {
  return StreamWriteU32(s, 0);
}

CFileSystemNode* CreateHFSPlusRootNode(uint64_t id, uint64_t position, int sectorsPerCluster) {
  CFileSystemNode* root = CreateFileSystemNode();
  auto* p = new HFSPlusSystemNodeProperties;
  p->SetName("HFSPlus");
  root->SetProperties(p);
  root->SetFileSystemType(EFileSystemType::HFSPlus);
  root->SetId(static_cast<int64_t>(id));
  root->SetPartitionGeometry(position, sectorsPerCluster);
  return root;
}

IFileProperties* CreateHFSPlusFolderProperties(const char* name) {
  auto* p = new HFSPlusFileProperties;
  p->SetName(name);
  p->SetAttributes(kFileAttributeDirectory);
  p->SetNodeFlags(kHFSNodeFolder);
  return p;
}
