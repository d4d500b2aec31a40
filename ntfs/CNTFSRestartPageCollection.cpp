#include "CNTFSRestartPageCollection.h"

#include <cstring>

#include "ByteOrder.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CNTFSTemplateMatcher.h"
#include "NTFSRecordNumber.h"

namespace {
constexpr int kPageBytes = 4096;
constexpr int kClientNameOffset = 0x90;
constexpr int kRestartUsnOffset = 30;
}  // namespace

bool IsRestartPage(const uint8_t* p, int length) {
  if (!p || length < kPageBytes || std::memcmp(p, "RSTR", 4) != 0) return false;
  if (std::memcmp(p + kClientNameOffset, "N\0T\0F\0S\0", 8) != 0) return false;
  const uint16_t usn = ReadLE16(p + kRestartUsnOffset);
  for (int k = 0; k < 8; ++k)
    if (ReadLE16(p + 512 * k + 510) != usn) return false;
  return true;
}

void LogRecordStitchBuffer::Clear() {
  m_data.fill(0);
  m_count = 0;
  m_unit = ~uint64_t(0);
}

void LogRecordStitchBuffer::Hold(const uint8_t* bytes, uint64_t unit, uint32_t count) {
  if (!bytes || count == 0 || count >= kPageUnits) return;
  std::memcpy(m_data.data(), bytes, count * kNTFSTemplateUnit);
  m_count = count;
  m_unit = unit;
}

bool LogRecordStitchBuffer::Join(const uint8_t* block, uint64_t firstUnit, uint64_t unitCount, uint32_t& used) {
  used = 0;
  if (m_count == 0 || m_count >= kPageUnits || firstUnit != m_unit + m_count || m_count + unitCount < kPageUnits)
    return false;
  used = kPageUnits - m_count;
  std::memcpy(m_data.data() + m_count * kNTFSTemplateUnit, block, used * kNTFSTemplateUnit);
  m_count = kPageUnits;
  return true;
}

const uint8_t* LogRecordStitchBuffer::Take(uint64_t& unit) {
  unit = m_unit;
  m_taken = m_data;
  Clear();
  return m_taken.data();
}

std::unique_ptr<CSearchedNTFSPartitionInfo> CNTFSRestartPageCollection::Candidate(uint64_t page,
                                                                                  const CNTFSFoundRecordItemEx& item,
                                                                                  uint32_t flags) const {
  return CreatePartitionCandidate(page, item.GetFirstLCN(), item.GetSectorsPerCluster(), flags, m_deviceSectors,
                                  m_sectorSize);
}

void CNTFSRestartPageCollection::AddCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item, uint32_t flags) {
  auto c = Candidate(page, item, flags);
  if (!c || !m_map) return;
  if (m_updater && m_updater->UpdateCandidateFlags(*c, flags, 0)) return;
  InsertCandidate(*m_map, std::move(c));
}

void CNTFSRestartPageCollection::AddFirstPageCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item) {
  AddCandidate(page, item, kNTFSFirstRestartPageFlag);
}

void CNTFSRestartPageCollection::AddSecondPageCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item) {
  AddCandidate(page, item, kNTFSSecondRestartPageFlag);
}

void CNTFSRestartPageCollection::AddBothPagesCandidate(uint64_t page, const CNTFSFoundRecordItemEx& item) {
  AddCandidate(page, item, kNTFSBothRestartPagesFlags);
}

void CNTFSRestartPageCollection::ConfirmSecondPage(uint64_t page, const CNTFSFoundRecordItemEx& item) {
  if (!m_updater) return;
  const uint64_t step = PageSectors();
  if (page >= step)
    if (auto first = Candidate(page - step, item, kNTFSSecondRestartPageFlag))
      m_updater->UpdateCandidateFlags(*first, kNTFSSecondRestartPageFlag, 0);
  if (auto wrong = Candidate(page, item, kNTFSFirstRestartPageFlag))
    m_updater->UpdateCandidateFlags(*wrong, 0, kNTFSFirstRestartPageFlag);
}

void CNTFSRestartPageCollection::AnalyzeRSTRRecord(uint64_t sector, const uint8_t* bytes, int length) {
  if (m_pages.size() >= kMaxEntries || !IsRestartPage(bytes, length)) return;
  const uint64_t step = PageSectors();
  const bool second = !m_pages.empty() && sector >= step && m_pages.back() == sector - step;
  for (const auto& item : m_items) {
    if (item->GetFirstLCN() < 0 || item->GetSectorsPerCluster() == 0) continue;
    if (second) {
      ConfirmSecondPage(sector, *item);
    } else {
      AddFirstPageCandidate(sector, *item);
      if (sector > step) AddSecondPageCandidate(sector - step, *item);
    }
  }
  m_pages.push_back(sector);
}

void CNTFSRestartPageCollection::AddLogFileRecord(uint64_t sector, const uint8_t* bytes, int length) {
  if (m_items.size() >= kMaxEntries) return;
  auto item = std::make_unique<CNTFSFoundRecordItemEx>();
  if (!item->SetFromBuffer(bytes, length, sector)) return;
  const uint64_t step = PageSectors();
  if (item->GetSectorsPerCluster() != 0 && item->GetFirstLCN() >= 0) {
    for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
      const uint64_t page = *it;
      auto next = std::next(it);
      if (next != m_pages.end() && *next == page + step) {
        AddBothPagesCandidate(page, *item);
        it = next;
      } else {
        AddFirstPageCandidate(page, *item);
        if (page > step) AddSecondPageCandidate(page - step, *item);
      }
    }
  }
  m_items.push_back(std::move(item));
}

void CNTFSRestartPageCollection::CountLogPage(const uint8_t* page, uint64_t unit) {
  if (!IsValidRecordPage(page)) return;
  for (uint32_t i = 0; i < LogRecordStitchBuffer::kPageUnits; ++i) m_logPages.AddMatch(unit + i);
}

void CNTFSRestartPageCollection::EndBlock(const uint8_t* block, uint64_t firstSector, uint64_t sectorCount) {
  if (!block || sectorCount == 0) return;
  const uint64_t units = UnitsPerSector(static_cast<uint32_t>(m_sectorSize));
  const uint64_t first = firstSector * units;
  const uint64_t count = sectorCount * units;
  uint64_t o = 0;
  uint32_t used = 0;
  if (m_stitch.Join(block, first, count, used)) {
    uint64_t unit = 0;
    const uint8_t* page = m_stitch.Take(unit);
    CountLogPage(page, unit);
    o = used;
  } else {
    m_stitch.Clear();
  }
  constexpr uint32_t kPage = LogRecordStitchBuffer::kPageUnits;
  while (o < count) {
    const uint8_t* at = block + o * kNTFSTemplateUnit;
    if (std::memcmp(at, "RCRD", 4) != 0) {
      ++o;
      continue;
    }
    if (count - o < kPage) {
      m_stitch.Hold(at, first + o, static_cast<uint32_t>(count - o));
      return;
    }
    CountLogPage(at, first + o);
    o += kPage;
  }
}

const CNTFSFoundRecordItemEx* CNTFSRestartPageCollection::FindRecordForCandidate(
    const CSearchedNTFSPartitionInfo& c) const {
  const uint64_t mft = c.GetMFTSector();
  if (mft != CSearchedNTFSPartitionInfo::kUnknown)
    for (const auto& item : m_items)
      if (item->GetSector() == mft + 2 * SectorsPerRecord(item->GetRecordSize(), c.GetBytesPerSector()))
        return item.get();
  for (const auto& item : m_items) {
    if (item->GetSector() >= c.GetStartSector() + c.GetSectorCount()) break;
    if (item->GetSector() >= c.GetStartSector()) return item.get();
  }
  return nullptr;
}

void CNTFSRestartPageCollection::ResolveCandidate(CSearchedNTFSPartitionInfo& c) const {
  const CNTFSFoundRecordItemEx* item = FindRecordForCandidate(c);
  if (!item) {
    c.SetLogPageMatches(0);
    return;
  }
  c.SetLogFileSector(item->GetSector());
  const uint64_t units = UnitsPerSector(c.GetBytesPerSector());
  c.SetLogPageMatches(m_logPages.CountMatches(item->GetRunList(), c.GetStartSector() * units,
                                              uint64_t(c.GetSectorsPerCluster()) * units));
}
