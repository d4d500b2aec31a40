#include "CRAWSearchController.h"

#include <algorithm>
#include <cstring>

#include "CFoundFileStore.h"
#include "CRawAnalyserRegistry.h"
#include "CRawFileInfo.h"
#include "CRawSearchProgress.h"
#include "CScanOptions.h"
#include "IRawFileAnalyser.h"
#include "ScanEngineRegistry.h"

namespace {

// An analyser that throws counts as one that did not match.
bool Matches(IRawFileAnalyser* analyser, const uint8_t* sector, CRawFileInfo* record) {
  try {
    return analyser->MatchHeader(sector, record) != 0;
  } catch (...) {
    return false;
  }
}

}  // namespace

CRAWSearchController::~CRAWSearchController() {
  m_pending.clear();
  m_ring.Close();
}

void CRAWSearchController::SetProgressSink(IScanProgressSink* sink) {
  CRawSearchProgress::Instance().SetSink(sink);
}

void CRAWSearchController::StartSearch() {
  CRawAnalyserRegistry& registry = CRawAnalyserRegistry::Instance();
  const std::vector<int> selected = GetScanOptions()->raw.enabledFileTypes;
  registry.SelectFallbackTypes(selected);
  registry.RebuildSignatureMap(selected);
  m_sectorSize = m_device ? m_device->GetSectorSize() : 512;
  if (m_sectorSize <= 0) m_sectorSize = 512;
  if (m_sectorsPerBlock <= 0) m_sectorsPerBlock = 8192;
  m_ring.Attach(m_device, 0, m_sectorSize, m_sectorsPerBlock, kRingBlocks);
  m_blockBytes = static_cast<size_t>(m_sectorsPerBlock) * static_cast<size_t>(m_sectorSize);
  m_block.reset(new uint8_t[m_blockBytes + kBlockTailBytes]);
  std::memset(m_block.get(), 0, m_blockBytes + kBlockTailBytes);
  m_pending.clear();
  m_cancelled = false;
}

bool CRAWSearchController::StopAsked() {
  const bool goOn = CRawSearchProgress::Instance().Continue() != 0;
  if (GetScanOptions()->raw.stopMatching.load()) m_cancelled = true;
  return m_cancelled || !goOn;
}

void CRAWSearchController::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (!m_block || !m_device) return;
  const uint64_t per = static_cast<uint64_t>(m_sectorsPerBlock);
  while (sectorCount) {
    const uint64_t n = std::min(sectorCount, per);
    AnalyzePiece(firstSector, n);
    firstSector += n;
    sectorCount -= n;
  }
}

void CRAWSearchController::AnalyzePiece(uint64_t first, uint64_t count) {
  CRawAnalyserRegistry& registry = CRawAnalyserRegistry::Instance();
  // Only a selection without any analyser leaves nothing to do.
  if (registry.GetAnalyserList(0).empty() && registry.GetSignatureMap().empty()) return;

  const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_sectorSize);
  if (!m_device->ReadSectors(m_block.get(), first, count)) {
    m_ring.AppendUnreadableBlock(count);
    return;
  }
  // A short block leaves no bytes of the previous one behind it.
  std::memset(m_block.get() + bytes, 0, m_blockBytes + kBlockTailBytes - bytes);

  const bool goOn = MatchSectors(first, count);
  m_ring.AppendBlock(m_block.get(), count);
  if (!goOn) return;
  // A record is sized once the ring holds its block and the blocks after it.
  const uint64_t held = m_ring.GetWindowStart() + m_ring.GetHeldSectors();
  const uint64_t ahead = static_cast<uint64_t>(kRingBlocks - 1) * static_cast<uint64_t>(m_sectorsPerBlock);
  if (held > ahead) SizePending(held - ahead);
}

bool CRAWSearchController::MatchSectors(uint64_t first, uint64_t count) {
  CRawAnalyserRegistry& registry = CRawAnalyserRegistry::Instance();
  const CRawAnalyserRegistry::AnalyserList fallback = registry.GetAnalyserList(0);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* sector = m_block.get() + i * static_cast<uint64_t>(m_sectorSize);
    if (StopAsked()) return false;
    uint32_t word;
    std::memcpy(&word, sector, 4);
    if (word == 0) continue;

    // Each analyser gets a clean record: those that decline leave values
    // behind. A record is allocated only when the last one was accepted.
    if (!m_scratch) m_scratch.reset(new CRawFileInfo);
    std::unique_ptr<CRawFileInfo>& record = m_scratch;
    IRawFileAnalyser* matchedBy = nullptr;
    IRawFileAnalyser* keyed = registry.FindBySector(sector);
    if (keyed) {
      *record = CRawFileInfo();
      if (Matches(keyed, sector, record.get())) matchedBy = keyed;
    }
    if (!matchedBy) {
      for (IRawFileAnalyser* a : fallback) {
        if (GetScanOptions()->raw.stopMatching.load()) {
          m_cancelled = true;
          return false;
        }
        *record = CRawFileInfo();
        if (Matches(a, sector, record.get())) {
          matchedBy = a;
          break;
        }
      }
    }
    if (!matchedBy || !m_store) continue;
    record->SetStartSector(first + i);
    record->SetAnalyser(matchedBy);
    record->SetAnalyserTypeId(matchedBy->GetTypeId());
    CRawFileInfo* stored = record.get();
    if (!m_store->AddFile(stored)) continue;
    record.release();  // the store's now
    if (stored->GetFileSize() == 0)
      m_pending.push_back(stored);
    else
      ClipAtDeviceEnd(stored);  // a size told by the header
  }
  return true;
}

void CRAWSearchController::SizeRecord(CRawFileInfo* record) {
  if (!record || !record->GetAnalyser()) return;
  try {
    record->GetAnalyser()->FindFileSize(record, &m_ring);
  } catch (...) {
    record->SetFileSize(0);
  }
  ClipAtDeviceEnd(record);
}

void CRAWSearchController::ClipAtDeviceEnd(CRawFileInfo* record) {
  const uint64_t total = m_device ? m_device->GetSectorCount() : 0;
  const uint64_t start = record->GetStartSector();
  const uint64_t room = start < total ? (total - start) * static_cast<uint64_t>(m_sectorSize) : 0;
  if (record->GetFileSize() > room) record->SetFileSize(room);
}

bool CRAWSearchController::SizePending(uint64_t limit) {
  while (!m_pending.empty()) {
    CRawFileInfo* record = m_pending.front();
    if (record->GetStartSector() >= limit) return true;
    if (StopAsked()) return false;
    SizeRecord(record);
    m_pending.pop_front();
  }
  return true;
}

void CRAWSearchController::EndSearch() {
  if (m_block) SizePending(~0ull);
  m_pending.clear();
  m_block.reset();
  CRawSearchProgress::Instance().ClearSink();
}

void RegisterRawCompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::RAW, [] { return CRAWSearchController::Create(); });
}
