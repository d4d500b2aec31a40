#include "CHFSPlusVolume.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "CHFSPlusFileNode.h"
#include "HFSPlusForkExtents.h"
#include "HFSPlusProgressReporter.h"
#include "HFSPlusUnicode.h"
#include "IDirecotryTreeBuilder.h"
#include "IStorageDevice.h"
#include "HFSPlusOutput.h"
#include "ReturnError.h"

CHFSPlusVolume::CHFSPlusVolume(IStorageDevice* device, uint64_t firstSector)
    : m_device(device), m_firstSector(firstSector) {
  if (!device) {
    m_state = HFS_RETURN_ERROR(kHFSBadArgument);
    return;
  }
  m_sectorSize = device->GetSectorSize();
  if (m_sectorSize <= 0) {
    m_state = HFS_RETURN_ERROR(kHFSBadStructure);
    return;
  }
  // Each step records its outcome; later steps still run (a volume without
  // journal is usable), and the catalog's header record decides at the end.
  try {
    m_state = ReadVolumeHeader();
    m_journal = std::make_unique<CHFSPlusJournal>(this);
    m_state = m_journal->GetStatus();
    m_extentsReader = std::make_unique<CHFSPlusRawfile>(this, kHFSExtentsFileID, m_header.extentsFile);
    m_state = m_extentsReader->GetStatus();
    m_extents = std::make_unique<CHFSPlusExtents>(this, m_extentsReader.get());
    m_state = m_extents->GetStatus();
    m_attributesReader = std::make_unique<CHFSPlusRawfile>(this, kHFSAttributesFileID, m_header.attributesFile);
    m_state = m_attributesReader->GetStatus();
    m_attributes = std::make_unique<CHFSPlusAttribute>(this, m_attributesReader.get());
    m_state = m_attributes->GetStatus();
    m_catalogReader = std::make_unique<CHFSPlusFileCache>(this, kHFSCatalogFileID, m_header.catalogFile);
    m_state = m_catalogReader->GetStatus();
    m_catalog = std::make_unique<CHFSPlusCatalog>(this, m_catalogReader.get());
    m_state = m_catalog->GetStatus();
  } catch (const std::bad_alloc&) {
    m_state = HFS_RETURN_ERROR(kHFSNoMemory);
    return;
  }
  if (const BTHeaderRec* h = m_catalog->GetHeaderRecord()) {
    m_keyCompareType = h->keyCompareType;
    m_state = kHFSOk;
  } else {
    m_state = HFS_RETURN_ERROR(kHFSBadStructure);
  }
}

CHFSPlusVolume::~CHFSPlusVolume() = default;

int CHFSPlusVolume::ReadVolumeHeader() {
  uint8_t raw[512] = {};
  m_hasHeader = false;
  m_header = HFSPlusVolumeHeader();
  if (Read(1024, raw, sizeof raw) < sizeof raw) return m_state = HFS_RETURN_ERROR(kHFSShortRead);
  flipVolumeHeader(&m_header, raw);
  m_hasHeader = true;
  return m_state = kHFSOk;
}

uint64_t CHFSPlusVolume::Read(uint64_t offset, void* buffer, uint64_t size) {
  if (!m_device || !buffer || m_sectorSize <= 0) {
    m_state = HFS_RETURN_ERROR(kHFSDeviceError);
    return 0;
  }
  const uint64_t S = static_cast<uint64_t>(m_sectorSize);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  std::vector<uint8_t> scratch;
  auto fail = [&]() {
    m_state = HFS_RETURN_ERROR(kHFSDeviceError);
    HFSPlusPrint("Location%" PRIu64 "Size:%" PRIu64 "\n", offset, size - done);
    return done;
  };
  // Head: a partial first sector.
  if (offset % S != 0 && size > 0) {
    scratch.resize(S);
    if (!m_device->ReadSectors(scratch.data(), m_firstSector + offset / S, 1)) return fail();
    uint64_t within = offset % S;
    uint64_t n = S - within < size ? S - within : size;
    std::memcpy(out, scratch.data() + within, n);
    done += n;
  }
  // Body: whole sectors straight into the buffer.
  uint64_t whole = (size - done) / S;
  if (whole > 0) {
    if (!m_device->ReadSectors(out + done, m_firstSector + (offset + done) / S, whole)) return fail();
    done += whole * S;
  }
  // Tail: a partial last sector.
  if (done < size) {
    scratch.resize(S);
    if (!m_device->ReadSectors(scratch.data(), m_firstSector + (offset + done) / S, 1)) return fail();
    std::memcpy(out + done, scratch.data(), size - done);
    done = size;
  }
  return done;
}

int CHFSPlusVolume::Search(int treeType, const HFSPlusKey& key, HFSPlusSearchResult* result,
                           std::unique_ptr<HFSPlusRecord>* dataOut) {
  if (!m_hasHeader) return HFS_RETURN_ERROR(kHFSBadArgument);
  CHFSPlusBTreeOptionBase* options = nullptr;
  switch (treeType) {
    case kHFSExtentsTree:
      options = m_extents.get();
      break;
    case kHFSCatalogTree:
      options = m_catalog.get();
      break;
    case kHFSAttributesTree:
      options = m_attributes.get();
      break;
    default:
      return m_state = HFS_RETURN_ERROR(kHFSUnsupported);
  }
  if (!options) return m_state = HFS_RETURN_ERROR(kHFSMissing);
  return m_state = options->Search(key, result, dataOut);
}

int CHFSPlusVolume::Traverse(int treeType, IHFSPlusRecordVisitor* visitor) {
  if (treeType != kHFSCatalogTree) return m_state = HFS_RETURN_ERROR(kHFSUnsupported);
  if (!m_catalog) return m_state = HFS_RETURN_ERROR(kHFSMissing);
  return m_state = m_catalog->Traverse(visitor);
}

int CHFSPlusVolume::GetVolumeName(char* out, size_t outSize) {
  static const char kSuffix[] = " (HFS+)";
  if (!out || outSize < sizeof kSuffix) return -5;
  if (!m_catalog) return -1;
  uint32_t root = m_catalog->GetRoot();
  std::unique_ptr<CHFSPlusBTNode> node = root ? m_catalog->CreateNode(root) : nullptr;
  if (!node || !node->GetDescriptor()) return -2;
  // The first key of the catalog is the root folder's own: parent 1, the volume name.
  std::unique_ptr<HFSPlusKey> key = m_catalog->ReadKey(*node, 0);
  auto* k = dynamic_cast<HFSPlusCatalogKey*>(key.get());
  if (!k) return -3;
  if (k->parentID != kHFSRootParentID) return -4;
  size_t n = HFSPlusNameToNarrow(k->name, k->nameLength, out, outSize - sizeof kSuffix);
  std::memcpy(out + n, kSuffix, sizeof kSuffix);
  return 0;
}

namespace {

// Turns the catalog's folder and file records into live nodes for a builder.
class CatalogNodeVisitor : public IHFSPlusRecordVisitor {
 public:
  CatalogNodeVisitor(CHFSPlusVolume* volume, IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter)
      : m_volume(volume), m_builder(builder), m_reporter(reporter) {}
  bool ShouldContinue() override { return !m_reporter || m_reporter->ShouldContinue(); }
  void OnRecord(const HFSPlusKey& key, const HFSPlusRecord& record) override {
    OfferNode(m_volume, m_builder, m_reporter, dynamic_cast<const HFSPlusCatalogKey*>(&key),
              dynamic_cast<const HFSPlusCatalogRecord*>(&record), false);
  }

  // Makes the node and hands it over; a node without an id (thread records,
  // the root's parent) and a refused node are destroyed.
  static void OfferNode(CHFSPlusVolume* volume, IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter,
                        const HFSPlusCatalogKey* key, const HFSPlusCatalogRecord* record, bool deleted) {
    if (!key || !record) return;
    auto* node = new CHFSPlusFileNode(volume, key, record, deleted);
    if (node->GetId() == CFileNode::kNoId) {
      DestroyFileNode(node);
      return;
    }
    node->CheckCompression();
    int error = 0;
    if (!builder || !builder->AddNode(node, ETreeKind::HFSPlus, error)) {
      DestroyFileNode(node);
      return;
    }
    if (reporter) reporter->Step();
  }

 private:
  CHFSPlusVolume* m_volume;
  IDirecotryTreeBuilder* m_builder;
  HFSPlusProgressReporter* m_reporter;
};

}  // namespace

int CHFSPlusVolume::Traverse(int treeType, IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter) {
  CatalogNodeVisitor visitor(this, builder, reporter);
  return Traverse(treeType, &visitor);
}

int CHFSPlusVolume::QuickSearchFiles(IDirecotryTreeBuilder* builder, HFSPlusProgressReporter* reporter,
                                     uint64_t* count) {
  if (!m_journal) return m_state = HFS_RETURN_ERROR(kHFSMissing);
  m_journal->GetDeleteRecord(reporter, m_found);
  const size_t deleted = m_found.catalog.size();
  if (reporter && m_hasHeader)
    reporter->SetTotal(uint64_t(m_header.fileCount) + m_header.folderCount + deleted + 1);
  if (count) *count += deleted;
  for (HFSPlusFoundCatalogRecord& pair : m_found.catalog) {
    if (reporter && !reporter->ShouldContinue()) break;
    CatalogNodeVisitor::OfferNode(this, builder, reporter, pair.key.get(), pair.record.get(), true);
  }
  // The extent and attribute records stay for the nodes' look-ups.
  m_found.catalog.clear();
  if (reporter && !reporter->ShouldContinue()) return kHFSStopped;
  return Traverse(kHFSCatalogTree, builder, reporter);
}

size_t CHFSPlusVolume::ReadAttribute(uint32_t fileId, const char* name, std::vector<uint8_t>& out) {
  out.clear();
  if (!m_hasHeader || !m_attributes || !name) return 0;
  HFSPlusAttrKey key;
  key.fileID = fileId;
  key.startBlock = 0;
  size_t n = 0;
  for (; name[n] && n < kHFSMaxNameLength; ++n) key.name[n] = static_cast<unsigned char>(name[n]);
  key.nameLength = static_cast<uint16_t>(n);
  key.keyLength = static_cast<uint16_t>(12 + 2 * n);
  HFSPlusSearchResult result;
  std::unique_ptr<HFSPlusRecord> data;
  // Volumes without an attributes file have no tree to search.
  if (m_attributes->GetRoot() != 0) Search(kHFSAttributesTree, key, &result, &data);
  if (!result.found || !data) FindFoundAttributeRecord(key, &result, &data);
  auto* record = dynamic_cast<HFSPlusAttrRecord*>(data.get());
  if (!result.found || !record) return 0;
  if (record->recordType != kHFSPlusAttrInlineData) {
    HFSPlusPrint("unsupported attribute node format\n");
    return 0;
  }
  out = record->inlineData;
  return out.size();
}

bool CHFSPlusVolume::IsBelongToFile(uint32_t fileId, const HFSPlusForkData& fork, uint64_t address) {
  if (!m_hasHeader) return false;
  const uint64_t B = m_header.blockSize;
  bool hit = false;
  ForkExtentWalk how;
  how.fileId = fileId;
  how.volume = fileId == kHFSExtentsFileID ? nullptr : this;
  const EForkWalkEnd end = WalkForkExtents(how, fork, [&](const HFSPlusExtentDescriptor& e) {
    const uint64_t first = e.startBlock * B;
    if (address >= first && address < first + e.blockCount * B) hit = true;
    return !hit;
  });
  if (hit) return true;
  if (end != EForkWalkEnd::Complete) m_state = HFS_RETURN_ERROR(kHFSBadStructure);
  return false;
}

uint32_t CHFSPlusVolume::GetNodeBelongToFile(uint64_t address) {
  if (!m_hasHeader) {
    m_state = kHFSMissing;
    return 0;
  }
  const struct {
    uint32_t id;
    const HFSPlusForkData* fork;
  } files[] = {{kHFSCatalogFileID, &m_header.catalogFile},
               {kHFSExtentsFileID, &m_header.extentsFile},
               {kHFSAttributesFileID, &m_header.attributesFile},
               {kHFSAllocationFileID, &m_header.allocationFile},
               {kHFSStartupFileID, &m_header.startupFile}};
  for (const auto& f : files)
    if (IsBelongToFile(f.id, *f.fork, address)) return f.id;
  return 0;
}

void CHFSPlusVolume::FindFoundExtentRecord(const HFSPlusExtentKey& key, HFSPlusSearchResult* result,
                                           std::unique_ptr<HFSPlusRecord>* dataOut) {
  if (result) result->found = 0;
  for (const HFSPlusFoundExtentRecord& pair : m_found.extents) {
    if (CompareExtentKeys(*pair.key, key) != 0) continue;
    if (dataOut) *dataOut = CopyExtentRecord(pair.record.get());
    if (result) result->found = 1;
    return;
  }
}

void CHFSPlusVolume::FindFoundAttributeRecord(const HFSPlusAttrKey& key, HFSPlusSearchResult* result,
                                              std::unique_ptr<HFSPlusRecord>* dataOut) {
  if (result) result->found = 0;
  for (const HFSPlusFoundAttributeRecord& pair : m_found.attributes) {
    if (CompareAttributeKeys(*pair.key, key) != 0) continue;
    if (dataOut) *dataOut = CopyAttributeRecord(pair.record.get());
    if (result) result->found = 1;
    return;
  }
}
