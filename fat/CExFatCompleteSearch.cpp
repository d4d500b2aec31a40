#include "CExFatCompleteSearch.h"

#include "IStorageDevice.h"
#include "ScanEngineRegistry.h"

CExFatCompleteSearch::CExFatCompleteSearch() = default;

CExFatCompleteSearch::~CExFatCompleteSearch() {
  // The scanner keeps pointers into the groups: drop them first.
  m_scanner.Clear();
}

void CExFatCompleteSearch::SetTreeBuilder(IDirecotryTreeBuilder* builder) {
  m_builder = builder;
  m_candidates.SetTreeBuilder(builder);
}

bool CExFatCompleteSearch::Setup() {
  if (m_sectorSize) return true;
  if (!m_device || m_blockSectors <= 0) return false;
  const int size = m_device->GetSectorSize();
  if (size < 512 || size > 4096 || (size & (size - 1))) return false;
  m_sectorSize = static_cast<uint32_t>(size);
  m_deviceSectors = m_device->GetSectorCount();
  m_scanner.SetGeometry(m_deviceSectors, m_sectorSize);
  m_candidates.SetGeometry(m_sectorSize, m_deviceSectors);
  m_buffer.Reset(m_sectorSize, static_cast<uint64_t>(m_blockSectors));
  return true;
}

void CExFatCompleteSearch::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  ScanBlock(firstSector, sectorCount);
}

int CExFatCompleteSearch::ScanBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (m_ended || !Setup()) return 0;
  uint8_t* at = m_buffer.Prepare(sectorCount);
  if (!at) return 0;
  const bool ok = m_device->ReadSectors(at, firstSector, sectorCount) != 0;
  m_buffer.Analyze(firstSector, sectorCount, ok, m_scanner, m_candidates,
                   [this](std::unique_ptr<ExFatDirectoryGroup> g) { m_groups.push_back(std::move(g)); });
  return ok ? 1 : 0;
}

void CExFatCompleteSearch::EndSearch() {
  if (m_ended) return;
  m_ended = true;
  if (m_sectorSize)
    m_buffer.Finish(m_scanner, m_candidates,
                    [this](std::unique_ptr<ExFatDirectoryGroup> g) { m_groups.push_back(std::move(g)); });
  m_scanner.Clear();
  for (const auto& g : m_groups) m_candidates.AddGroup(g.get());
  m_candidates.CollectCandidates(m_partitions);
  for (auto& p : m_partitions) p->SetOwner(this);
}

void CExFatCompleteSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  for (auto& p : m_partitions) {
    p->SetOwner(this);
    p->SyncBaseFields();
    partitions.push_back(p.get());
  }
}

void CExFatCompleteSearch::BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>&) {}

void CExFatCompleteSearch::BuildLostFiles(std::vector<CSearchedPartitionInfo*>&) {}

void RegisterExFatCompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::exFAT, [] { return new CExFatCompleteSearch; });
}
