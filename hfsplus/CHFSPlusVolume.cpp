#include "CHFSPlusVolume.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "HFSPlusUnicode.h"
#include "IStorageDevice.h"
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
    std::printf("Location%" PRIu64 "Size:%" PRIu64 "\n", offset, size - done);
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
