#include "CHFSPlusJournal.h"

#include <cinttypes>
#include <cstring>
#include <vector>

#include "CHFSPlusVolume.h"
#include "HFSPlusOutput.h"
#include "HFSPlusProgressReporter.h"
#include "ReturnError.h"

CHFSPlusJournal::CHFSPlusJournal(CHFSPlusVolume* volume) : m_volume(volume) {
  if (!volume) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return;
  }
  const HFSPlusVolumeHeader* h = volume->GetVolumeHeader();
  if (!h) {
    m_status = volume->GetState();
    return;
  }
  if (!(h->attributes & kHFSVolumeJournaledBit)) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  const uint64_t volumeBytes = uint64_t(h->totalBlocks) * h->blockSize;
  if (h->blockSize == 0 || h->journalInfoBlock >= h->totalBlocks) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  const uint64_t sector = static_cast<uint64_t>(volume->GetSectorSize());
  std::vector<uint8_t> buf(sector < 512 ? 512 : sector);
  if (volume->Read(uint64_t(h->journalInfoBlock) * h->blockSize, buf.data(), buf.size()) < buf.size()) {
    m_status = HFS_RETURN_ERROR(kHFSShortRead);
    return;
  }
  flipJournalInfoBlock(&m_info, buf.data());
  m_hasInfo = true;
  // The journal must lie inside this volume and have a size: every
  // position in it is taken modulo that size.
  if (!(m_info.flags & 1) || m_info.size == 0 || m_info.offset >= volumeBytes ||
      m_info.size > volumeBytes - m_info.offset) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  if (volume->Read(m_info.offset, buf.data(), buf.size()) < buf.size()) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  JournalHeader jh;
  ReadJournalHeader(&jh, buf.data());
  if (jh.magic != kJournalMagic || jh.endian != kJournalEndian || jh.size != m_info.size) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  m_header = jh;
  m_hasHeader = true;
  m_status = kHFSOk;
}

uint64_t CHFSPlusJournal::WrapOffset(uint64_t position, uint64_t delta) const {
  const uint64_t size = m_hasInfo ? m_info.size : 0;
  if (size == 0) return 0;  // no journal: nowhere to go
  uint64_t p = position % size + delta % size;
  return p % size;
}

uint64_t CHFSPlusJournal::ReadThroughWindow(uint64_t position, uint8_t* out, uint64_t size) {
  if (size > kWindowSize / 2) return m_volume->Read(m_info.offset + position, out, size);
  if (m_window.empty() || position < m_windowStart || position + size > m_windowStart + m_window.size()) {
    const uint64_t start = position / 512 * 512;
    uint64_t length = m_info.size - start < kWindowSize ? m_info.size - start : kWindowSize;
    m_window.resize(length);
    const uint64_t got = m_volume->Read(m_info.offset + start, m_window.data(), length);
    m_window.resize(got);
    m_windowStart = start;
    if (position + size > start + got) {
      // The window could not be read whole: read the range itself.
      m_window.clear();
      return m_volume->Read(m_info.offset + position, out, size);
    }
  }
  std::memcpy(out, m_window.data() + (position - m_windowStart), size);
  return size;
}

uint64_t CHFSPlusJournal::Read(uint64_t position, void* buffer, uint64_t size) {
  if (!m_hasInfo || m_info.size == 0 || !m_volume || !buffer) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return 0;
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  position = WrapOffset(position, 0);
  while (done < size) {
    uint64_t chunk = size - done;
    if (chunk > m_info.size - position) chunk = m_info.size - position;
    uint64_t got = ReadThroughWindow(position, out + done, chunk);
    done += got;
    if (got < chunk) {
      HFS_RETURN_ERROR(kHFSDeviceError);
      break;
    }
    position = WrapOffset(position, chunk);
  }
  return done;
}

namespace {

bool IsPowerOfTwoFrom512(uint64_t v) {
  return v >= 512 && (v & (v - 1)) == 0;
}

// A block list header: its fields in the journal's (host) order.
struct BlockListHeader {
  uint16_t maxBlocks = 0;
  uint16_t numBlocks = 0;
};

BlockListHeader ReadBlockListHeader(const uint8_t* p) {
  BlockListHeader h;
  h.maxBlocks = ReadLE16(p);
  h.numBlocks = ReadLE16(p + 2);
  return h;
}

}  // namespace

int CHFSPlusJournal::GetDeleteRecord(HFSPlusProgressReporter* reporter, HFSPlusFoundRecords& found) {
  if (!m_hasHeader || !m_volume) return kHFSOk;
  const uint64_t size = m_info.size;
  const uint32_t jhdrSize = m_header.jhdrSize, blhdrSize = m_header.blhdrSize;
  // Sizes the walk can step by: without them it never moves or reads past
  // the journal.
  if (size == 0 || !IsPowerOfTwoFrom512(jhdrSize) || !IsPowerOfTwoFrom512(blhdrSize) || jhdrSize > size ||
      blhdrSize > size || jhdrSize > kMaxHeaderSize || blhdrSize > kMaxHeaderSize) {
    return HFS_RETURN_ERROR(kHFSDeviceError);
  }
  std::vector<uint8_t> scratch;
  try {
    scratch.resize(jhdrSize > blhdrSize ? jhdrSize : blhdrSize);
  } catch (const std::bad_alloc&) {
    return HFS_RETURN_ERROR(kHFSNoMemory);
  }
  const uint64_t end = WrapOffset(m_header.end, 0);
  uint64_t position = end;
  HFSPlusPrint("Journal Start Offset:0x%" PRIx64 "\n", position);
  // Once around the buffer at most: a walk whose steps jump over the end
  // would otherwise go round for ever.
  uint64_t travelled = 0;
  auto advance = [&](uint64_t by) {
    position = WrapOffset(position, by);
    travelled += by;
  };
  int status = kHFSOk;
  std::vector<uint8_t> block;
  do {
    if (reporter && !reporter->ShouldContinue()) return kHFSStopped;
    if (Read(position, scratch.data(), jhdrSize) < jhdrSize) return HFS_RETURN_ERROR(kHFSDeviceError);
    const BlockListHeader list = ReadBlockListHeader(scratch.data());
    const uint32_t entries = blhdrSize / 16;
    if (uint32_t(list.maxBlocks) + 1 != entries || list.numBlocks > uint32_t(list.maxBlocks) + 1) {
      advance(jhdrSize);
      continue;
    }
    if (Read(position, scratch.data(), blhdrSize) < blhdrSize) return HFS_RETURN_ERROR(kHFSDeviceError);
    advance(blhdrSize);
    for (uint32_t i = 1; i < list.numBlocks && travelled < size; ++i) {
      if (reporter && !reporter->ShouldContinue()) return kHFSStopped;
      const uint8_t* info = scratch.data() + 16 * i;
      const uint64_t bnum = ReadLE64(info);
      const uint32_t bsize = ReadLE32(info + 8);
      // A block the journal cannot hold, or larger than any node: the rest
      // of this list cannot be trusted to say where its blocks lie.
      if (bsize == 0 || bsize > kMaxBlockSize || bsize > size) break;
      block.resize(bsize);
      if (Read(position, block.data(), bsize) < bsize) return HFS_RETURN_ERROR(kHFSDeviceError);
      advance(bsize);
      if (!IsBTreeNode(block.data(), bsize)) continue;
      CHFSPlusBTNode node(block.data(), bsize);
      const BTNodeDescriptor* d = node.GetDescriptor();
      if (!d || d->kind != kBTLeafNode) continue;
      uint64_t address = 0;
      if (__builtin_mul_overflow(bnum, uint64_t(jhdrSize), &address)) continue;
      switch (m_volume->GetNodeBelongToFile(address)) {
        case kHFSCatalogFileID:
          HarvestCatalog(node, reporter, found);
          break;
        case kHFSExtentsFileID:
          HarvestExtents(node, found);
          break;
        case kHFSAttributesFileID:
          HarvestAttributes(node, found);
          break;
        default:
          break;
      }
    }
  } while (position != end && travelled < size);
  return status;
}

// Collects the node's records of one tree that `isLive` does not find in
// the live tree: a record whose pair `same` finds replaces that pair's
// record, else a new pair is added (and `added` called).
template <class Key, class Record, class Pair, class IsLive, class Same, class Added>
void HarvestRecords(IHFSPlusBTreeOption& options, CHFSPlusBTNode& node, std::vector<Pair>& pairs, IsLive isLive,
                    Same same, Added added) {
  for (uint16_t i = 0; i < node.GetRecordCount(); ++i) {
    std::unique_ptr<HFSPlusKey> k = options.ReadKey(node, i);
    std::unique_ptr<HFSPlusRecord> r = k ? options.ReadData(node, i) : nullptr;
    auto* key = dynamic_cast<Key*>(k.get());
    auto* record = dynamic_cast<Record*>(r.get());
    if (!key || !record || isLive(*key, *record)) continue;
    Pair* match = nullptr;
    for (Pair& pair : pairs)
      if (same(pair, *key, *record)) match = match ? match : &pair;
    r.release();
    if (match) {
      match->record.reset(record);
      continue;
    }
    k.release();
    pairs.push_back({std::unique_ptr<Key>(key), std::unique_ptr<Record>(record)});
    added();
  }
}

void CHFSPlusJournal::HarvestCatalog(CHFSPlusBTNode& node, HFSPlusProgressReporter* reporter,
                                     HFSPlusFoundRecords& found) {
  CHFSPlusCatalog* catalog = m_volume->GetCatalog();
  if (!catalog) return;
  const uint8_t compareType = m_volume->GetKeyCompareType();
  HarvestRecords<HFSPlusCatalogKey, HFSPlusCatalogRecord>(
      *catalog, node, found.catalog,
      [&](const HFSPlusCatalogKey& key, const HFSPlusCatalogRecord& record) {
        // Thread records name no file; a record still in the live catalog
        // under the same id is no deleted one.
        if (record.recordType != kHFSPlusFolderRecord && record.recordType != kHFSPlusFileRecord) return true;
        HFSPlusSearchResult result;
        std::unique_ptr<HFSPlusRecord> live;
        m_volume->Search(kHFSCatalogTree, key, &result, &live);
        auto* liveRecord = dynamic_cast<HFSPlusCatalogRecord*>(live.get());
        return result.found && liveRecord && liveRecord->id == record.id;
      },
      [&](const HFSPlusFoundCatalogRecord& pair, const HFSPlusCatalogKey& key, const HFSPlusCatalogRecord& record) {
        return pair.record->id == record.id && CompareCatalogKeys(*pair.key, key, compareType) == 0;
      },
      [&] {
        if (reporter) reporter->Step();
      });
}

void CHFSPlusJournal::HarvestExtents(CHFSPlusBTNode& node, HFSPlusFoundRecords& found) {
  CHFSPlusExtents* extents = m_volume->GetExtents();
  if (!extents) return;
  HarvestRecords<HFSPlusExtentKey, HFSPlusExtentRecord>(
      *extents, node, found.extents,
      [&](const HFSPlusExtentKey& key, const HFSPlusExtentRecord&) {
        HFSPlusSearchResult result;
        if (extents->GetRoot() != 0) m_volume->Search(kHFSExtentsTree, key, &result, nullptr);
        return result.found != 0;
      },
      [](const HFSPlusFoundExtentRecord& pair, const HFSPlusExtentKey& key, const HFSPlusExtentRecord&) {
        return CompareExtentKeys(*pair.key, key) == 0;
      },
      [] {});
}

void CHFSPlusJournal::HarvestAttributes(CHFSPlusBTNode& node, HFSPlusFoundRecords& found) {
  CHFSPlusAttribute* attributes = m_volume->GetAttributes();
  if (!attributes) return;
  HarvestRecords<HFSPlusAttrKey, HFSPlusAttrRecord>(
      *attributes, node, found.attributes,
      [&](const HFSPlusAttrKey& key, const HFSPlusAttrRecord&) {
        HFSPlusSearchResult result;
        if (attributes->GetRoot() != 0) m_volume->Search(kHFSAttributesTree, key, &result, nullptr);
        return result.found != 0;
      },
      [](const HFSPlusFoundAttributeRecord& pair, const HFSPlusAttrKey& key, const HFSPlusAttrRecord&) {
        return CompareAttributeKeys(*pair.key, key) == 0;
      },
      [] {});
}
