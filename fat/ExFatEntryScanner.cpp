#include "ExFatEntryScanner.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "CExFatDBR.h"

namespace {

const uint8_t kUpcaseStart[16] = {0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0};

bool IsContinuationEntry(uint8_t type) {
  return type == 0xC0 || type == 0x40 || type == 0xC1 || type == 0x41;
}

}  // namespace

ExFatSectorKind ClassifyExFatSector(const uint8_t* s, uint32_t sectorSize) {
  if (s[0] == 0) {
    bool upcase = true;
    for (int i = 0; i < 16; ++i)
      if (s[i] != kUpcaseStart[i]) upcase = false;
    return upcase ? ExFatSectorKind::UpcaseStart : ExFatSectorKind::Empty;
  }
  if (s[510] == 0x55 && s[511] == 0xAA && CExFatDBR(s).IsValid(sectorSize)) return ExFatSectorKind::BootSector;
  if (ReadLE32(s) == 0xFFFFFFF8 && ReadLE32(s + 4) == 0xFFFFFFFF) return ExFatSectorKind::FatStart;
  return ExFatSectorKind::Entries;
}

ExFatEntryScanner::ExFatEntryScanner() {
  SetGeometry(0, 512);
}

void ExFatEntryScanner::SetGeometry(uint64_t deviceSectors, uint32_t sectorSize) {
  m_deviceSectors = deviceSectors;
  m_sectorSize = sectorSize >= 512 ? sectorSize : 512;
  m_entriesPerSector = m_sectorSize / 32;
  m_parser.SetGeometry(FloorLog2(m_sectorSize), kClusterShift, deviceSectors);
  m_joinParser.SetGeometry(FloorLog2(m_sectorSize), kClusterShift, deviceSectors);
  m_parser.Records().reserve(m_entriesPerSector);
  m_group.reset();
}

void ExFatEntryScanner::Clear() {
  m_group.reset();
  m_hasPendingHead = false;
  m_heads.clear();
  m_continuations.clear();
  m_joins.clear();
  m_parser.Reset();
  m_parser.ClearRecords();
}

size_t ExFatEntryScanner::ReadVolumeEntries(const uint8_t* bytes, bool* ends) {
  bool label = false, bitmap = false, upcase = false;
  const ExFatGeometry& g = m_parser.Geometry();
  for (size_t i = 0; i < m_entriesPerSector; ++i) {
    const uint8_t* e = bytes + i * 32;
    switch (e[0]) {
      case 0x83:
        if (label) {
          *ends = true;
          return i;
        }
        label = true;
        if (IsValidExFatVolumeLabelEntry(e)) {
          const uint8_t n = e[1] <= 11 ? e[1] : 11;
          for (uint8_t k = 0; k < 16; ++k)
            m_group->label[k] = k < n ? static_cast<char16_t>(ReadLE16(e + 2 + 2 * k)) : 0;
          m_group->flags |= ExFatDirectoryGroup::kLabelSeen;
        }
        break;
      case 0x03:
        if (IsValidExFatVolumeLabelEntry(e)) m_group->flags |= ExFatDirectoryGroup::kLabelSeen;
        break;
      case 0x81:
        if (bitmap) {
          *ends = true;
          return i;
        }
        bitmap = true;
        if (IsValidExFatBitmapEntry(e, g)) {
          const uint64_t length = ReadLE64(e + 24);
          m_group->bitmapClusters = static_cast<uint32_t>(length * 8 > 0xFFFFFFFFull ? 0xFFFFFFFFull : length * 8);
          const uint32_t first = ReadLE32(e + 20);
          if (first < 0xFFFFFFFF && first + 1 > m_group->clustersReferenced) m_group->clustersReferenced = first + 1;
          m_group->flags |= ExFatDirectoryGroup::kBitmapSeen;
        }
        break;
      case 0x82:
        if (upcase) {
          *ends = true;
          return i;
        }
        upcase = true;
        if (IsValidExFatUpcaseEntry(e, g)) {
          m_group->upcaseCluster = ReadLE32(e + 20);
          m_group->upcaseLength = ReadLE64(e + 24);
          if (m_group->upcaseCluster < 0xFFFFFFFF && m_group->upcaseCluster + 1 > m_group->clustersReferenced)
            m_group->clustersReferenced = m_group->upcaseCluster + 1;
          m_group->flags |= ExFatDirectoryGroup::kUpcaseSeen;
        }
        break;
      default:
        break;
    }
  }
  return m_entriesPerSector;
}

std::unique_ptr<ExFatDirectoryGroup> ExFatEntryScanner::ScanSector(uint64_t sector, const uint8_t* bytes,
                                                                   size_t available) {
  if (!m_group) m_group.reset(new ExFatDirectoryGroup);
  ExFatDirectoryGroup& g = *m_group;
  const bool first = g.sectorCount == 0;
  const bool continuation = first && !g.HasSets() && IsContinuationEntry(bytes[0]) && !m_parser.Assembling();
  bool ended = false;
  size_t walk = ReadVolumeEntries(bytes, &ended);
  // A set that runs on past this sector is read on only when the following
  // bytes hold it whole and its checksum holds; else the group ends with
  // the set's head, to be joined with whatever group continues it.
  const size_t cut = FindCutSet(sector, bytes, walk, available);
  if (cut < walk) {
    walk = cut;
    ended = true;
  }
  size_t taken = 0;
  if (!m_parser.ParseEntries(bytes, walk * 32, sector, &taken)) ended = true;
  if (taken != 0 && continuation) {
    g.flags |= ExFatDirectoryGroup::kBeginsWithContinuation;
    Continuation tail;
    tail.group = &g;
    tail.length = static_cast<uint32_t>(std::min(available, kLongestSet));
    std::memcpy(tail.bytes, bytes, tail.length);
    bool joined = false;
    for (auto it = m_heads.begin(); it != m_heads.end() && !joined; ++it)
      if (TryJoin(it->second, sector, tail)) {
        m_heads.erase(it);
        joined = true;
      }
    if (!joined) m_continuations[sector] = tail;
  }
  for (ExFatEntrySetRecord& r : m_parser.Records()) g.FinishSet(r);
  m_parser.ClearRecords();
  if (taken == 0) {
    // Nothing here is a directory entry.
    m_parser.Reset();
    if (!g.HasSets() && !(g.flags & ExFatDirectoryGroup::kRootFlags)) {
      // Kept empty for the next sector: the walk over sectors that hold no
      // entries allocates nothing.
      g = ExFatDirectoryGroup();
      return nullptr;
    }
    return HandOut();
  }
  if (g.sectorCount == 0) g.firstSector = sector;
  ++g.sectorCount;
  if (ended) return HandOut();
  if (static_cast<uint64_t>(g.sectorCount) * m_sectorSize >= g.greatestClusterSize) return HandOut();
  return nullptr;
}

std::unique_ptr<ExFatDirectoryGroup> ExFatEntryScanner::EndGroup() {
  if (!m_group || m_group->sectorCount == 0) return nullptr;
  return HandOut();
}

std::unique_ptr<ExFatDirectoryGroup> ExFatEntryScanner::HandOut() {
  std::unique_ptr<ExFatDirectoryGroup> g = std::move(m_group);
  const bool cut = m_hasPendingHead;
  m_parser.Reset();
  m_hasPendingHead = false;
  if (!g || g->sectorCount == 0 || !(g->HasSets() || g->IsRoot())) {
    // Nothing of this group is handed out: forget what points into it, and
    // keep it, emptied, for the next group.
    for (auto it = m_continuations.begin(); it != m_continuations.end();)
      it = it->second.group == g.get() ? m_continuations.erase(it) : std::next(it);
    if (g) {
      *g = ExFatDirectoryGroup();
      m_group = std::move(g);
    }
    return nullptr;
  }
  if (cut) {
    g->flags |= ExFatDirectoryGroup::kEndsWithCutSet;
    m_pendingHead.group = g.get();
    bool joined = false;
    for (auto it = m_continuations.begin(); it != m_continuations.end() && !joined; ++it)
      if (TryJoin(m_pendingHead, it->first, it->second)) {
        m_continuations.erase(it);
        joined = true;
      }
    if (!joined) m_heads[m_pendingHead.sector] = m_pendingHead;
  }
  g->ComputeClusterSizeBounds(m_sectorSize);
  return g;
}

size_t ExFatEntryScanner::FindCutSet(uint64_t sector, const uint8_t* bytes, size_t walk, size_t available) {
  m_hasPendingHead = false;
  for (size_t i = 0; i < walk; ++i) {
    const uint8_t* e = bytes + i * 32;
    if (e[0] != 0x85 && e[0] != 0x05) continue;
    const size_t total = e[1] + 1u;
    if (i + total <= m_entriesPerSector || e[1] < 2 || e[1] > 18) continue;
    if ((i + total) * 32 <= available && ExFatEntrySetChecksum(e, total * 32, ReadLE16(e + 2))) return walk;
    m_pendingHead.sector = sector;
    m_pendingHead.entries = static_cast<uint32_t>(m_entriesPerSector - i);
    std::memcpy(m_pendingHead.bytes, e, m_pendingHead.entries * 32);
    m_hasPendingHead = true;
    return i;
  }
  return walk;
}

bool ExFatEntryScanner::TryJoin(const CutHead& head, uint64_t continuationSector, const Continuation& tail) {
  const uint32_t total = head.bytes[1] + 1u;
  if (head.entries >= total) return false;
  const uint32_t rest = total - head.entries;
  if (rest * 32 > tail.length) return false;
  std::memcpy(m_joinBuffer, head.bytes, head.entries * 32);
  std::memcpy(m_joinBuffer + head.entries * 32, tail.bytes, rest * 32);
  if (!ExFatEntrySetChecksum(m_joinBuffer, total * 32, ReadLE16(head.bytes + 2))) return false;
  m_joinParser.Reset();
  m_joinParser.ClearRecords();
  size_t taken = 0;
  m_joinParser.ParseEntries(m_joinBuffer, total * 32, head.sector, &taken);
  if (taken != total || m_joinParser.Records().size() != 1) return false;
  head.group->FinishSet(m_joinParser.Records().front());
  m_joinParser.ClearRecords();
  m_joins[head.sector] = continuationSector;
  head.group->next = tail.group;
  tail.group->previous = head.group;
  return true;
}

void ScanExFatSectors(ExFatEntryScanner& scanner, ExFatCandidateSet& candidates, uint64_t first, const uint8_t* bytes,
                      uint64_t count, size_t available, const ExFatGroupSink& onGroup) {
  const uint32_t size = scanner.SectorSize();
  for (uint64_t i = 0; i < count && (i + 1) * size <= available; ++i) {
    const uint8_t* s = bytes + i * size;
    const uint64_t at = first + i;
    std::unique_ptr<ExFatDirectoryGroup> group;
    switch (ClassifyExFatSector(s, size)) {
      case ExFatSectorKind::Entries:
        group = scanner.ScanSector(at, s, available - i * size);
        break;
      case ExFatSectorKind::BootSector:
        candidates.AddExFatBootCandidate(at, CExFatDBR(s));
        group = scanner.EndGroup();
        break;
      case ExFatSectorKind::FatStart:
        candidates.AddFatStart(at);
        group = scanner.EndGroup();
        break;
      case ExFatSectorKind::UpcaseStart:
        candidates.AddUpcaseSector(at);
        group = scanner.EndGroup();
        break;
      case ExFatSectorKind::Empty:
        group = scanner.EndGroup();
        break;
    }
    if (group) onGroup(std::move(group));
  }
}

void ExFatScanBuffer::Reset(uint32_t sectorSize, uint64_t blockSectors) {
  m_sectorSize = sectorSize ? sectorSize : 512;
  m_blockSectors = blockSectors;
  m_bytes.assign(static_cast<size_t>((blockSectors + kCarried) * m_sectorSize), 0);
  m_lastCount = 0;
  m_carriedAt = 0;
  m_started = false;
}

uint8_t* ExFatScanBuffer::Prepare(uint64_t count) {
  if (count == 0 || count > m_blockSectors) return nullptr;
  if (m_lastCount) std::memmove(m_bytes.data(), m_bytes.data() + m_lastCount * m_sectorSize, kCarried * m_sectorSize);
  return m_bytes.data() + kCarried * m_sectorSize;
}

void ExFatScanBuffer::Analyze(uint64_t first, uint64_t count, bool readOk, ExFatEntryScanner& scanner,
                              ExFatCandidateSet& candidates, const ExFatGroupSink& onGroup) {
  if (count == 0 || count > m_blockSectors) return;
  uint8_t* block = m_bytes.data() + kCarried * m_sectorSize;
  if (!readOk) std::memset(block, 0, static_cast<size_t>(count * m_sectorSize));
  const size_t window = static_cast<size_t>((count + kCarried) * m_sectorSize);
  // The carried sectors of the first block stand before the device: skip
  // them.
  const uint64_t skip = m_started ? 0 : kCarried;
  if (count > skip) {
    const size_t from = static_cast<size_t>(skip * m_sectorSize);
    ScanExFatSectors(scanner, candidates, first - kCarried + skip, m_bytes.data() + from, count - skip, window - from,
                     onGroup);
  }
  m_started = true;
  m_lastCount = count;
  m_carriedAt = first + count - kCarried;
}

void ExFatScanBuffer::Finish(ExFatEntryScanner& scanner, ExFatCandidateSet& candidates, const ExFatGroupSink& onGroup) {
  if (m_started && m_lastCount) {
    ScanExFatSectors(scanner, candidates, m_carriedAt, m_bytes.data() + m_lastCount * m_sectorSize, kCarried,
                     kCarried * m_sectorSize, onGroup);
    m_lastCount = 0;
  }
  if (auto g = scanner.EndGroup()) onGroup(std::move(g));
}
