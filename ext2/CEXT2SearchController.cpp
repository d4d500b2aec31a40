#include "CEXT2SearchController.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "ByteOrder.h"
#include "CClusterUseBitMap.h"
#include "CExt2FileSystem.h"
#include "CExt2QuickSearch.h"
#include "CExt2SearchedPartitionInfo.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "CSimulateStorageDevice.h"
#include "Ext2Exceptions.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "IStorageDevice.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"

namespace {
// Offset of the magic inside a superblock.
constexpr size_t kMagicOffset = 56;
// The most bytes read in one go.
constexpr uint64_t kMaxPieceBytes = 64ull << 20;
}  // namespace

CEXT2SearchController::CEXT2SearchController() {
  InstallStructuredExceptionTranslator();
}

CEXT2SearchController::~CEXT2SearchController() {
  delete m_candidate;
  for (CExt2SearchedPartitionInfo* p : m_found) delete p;
}

CEXT2SearchController* CEXT2SearchController::Create() {
  return new CEXT2SearchController();
}

bool CEXT2SearchController::IsOwnFileSystemType(EFileSystemType type) {
  return type == EFileSystemType::Ext2 || type == EFileSystemType::Ext3;
}

void CEXT2SearchController::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.insert(partitions.end(), m_found.begin(), m_found.end());
}

void CEXT2SearchController::SetDevice(IStorageDevice* device) {
  m_device = device;
  m_wrapper.reset();
  const int size = device ? device->GetSectorSize() : 512;
  m_sectorSize = size >= 512 && size % 512 == 0 ? size : 512;
  m_ratio = static_cast<uint32_t>(m_sectorSize / 512);
  if (device && m_ratio > 1) m_wrapper = std::make_unique<CSimulateStorageDevice>(device);
}

IStorageDevice* CEXT2SearchController::Device512() const {
  return m_wrapper ? m_wrapper.get() : m_device;
}

void CEXT2SearchController::StartSearch() {
  m_work.clear();
  m_carrySectors = 0;
  m_next512 = 0;
  delete m_candidate;
  m_candidate = nullptr;
}

void CEXT2SearchController::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (!m_device || sectorCount == 0) return;
  uint64_t first512 = 0, count512 = 0, bytes = 0;
  if (__builtin_mul_overflow(firstSector, m_ratio, &first512) ||
      __builtin_mul_overflow(sectorCount, m_ratio, &count512) || __builtin_mul_overflow(count512, 512, &bytes))
    return;
  // A block larger than the framework's chunks is taken in pieces.
  const uint64_t pieceSectors = kMaxPieceBytes / static_cast<uint64_t>(m_sectorSize);
  if (bytes > kMaxPieceBytes) {
    for (uint64_t at = 0; at < sectorCount; at += pieceSectors)
      AnalyzeBlock(firstSector + at, std::min(pieceSectors, sectorCount - at));
    return;
  }
  // A block that does not follow the last one starts a new window.
  if (first512 != m_next512 || m_carrySectors > kWindowSectors - 1) m_carrySectors = 0;
  // The read-ahead block is looked at where it lies; otherwise it is read.
  const uint8_t* block = m_device->PeekSectors(firstSector, sectorCount);
  if (!block) {
    m_block.resize(static_cast<size_t>(bytes));
    uint8_t* into = m_block.data();
    if (!m_device->ReadSectors(into, firstSector, sectorCount)) {
      // Sector by sector, so that one bad sector costs only itself; what
      // cannot be read is zeros.
      const size_t size = static_cast<size_t>(m_sectorSize);
      for (uint64_t i = 0; i < sectorCount; ++i)
        if (!m_device->ReadSectors(into + i * size, firstSector + i, 1)) std::memset(into + i * size, 0, size);
    }
    block = into;
  }
  // The windows that begin in the sectors carried over from the last block
  // are looked at in m_work: the carried sectors, then the block's first.
  const uint64_t carried = m_carrySectors;
  const uint64_t head = std::min<uint64_t>(kWindowSectors - 1, count512);
  m_work.resize(static_cast<size_t>((carried + head) * 512));
  std::memcpy(m_work.data() + carried * 512, block, static_cast<size_t>(head * 512));
  const uint64_t base512 = first512 - carried;
  try {
    for (uint64_t i = 0; i + kWindowSectors <= carried + head; ++i) VisitWindow(base512 + i, m_work.data() + i * 512);
    for (uint64_t i = 0; i + kWindowSectors <= count512; ++i) VisitWindow(first512 + i, block + i * 512);
  } catch (const std::exception& e) {
    ReportExt2Exception(e);
  }
  // The last sectors seen, for the windows that begin in them.
  const uint64_t total = carried + count512;
  m_carrySectors = std::min<uint64_t>(total, kWindowSectors - 1);
  const size_t keep = static_cast<size_t>(m_carrySectors * 512);
  if (count512 >= m_carrySectors) {
    m_work.assign(block + bytes - keep, block + bytes);
  } else {
    m_work.erase(m_work.begin(), m_work.end() - static_cast<std::ptrdiff_t>(keep));
  }
  m_next512 = first512 + count512;
}

void CEXT2SearchController::VisitWindow(uint64_t sector512, const uint8_t* window) {
  // Most sectors are neither a superblock nor awaited descriptors.
  if (ReadLE16(window + kMagicOffset) != CExt2SuperBlock::kMagic &&
      (!m_candidate || m_candidate->IsDescriptorTableComplete()))
    return;
  AnalyzeSuperBlock(sector512, window);
}

void CEXT2SearchController::AnalyzeSuperBlock(uint64_t sector512, const uint8_t* window) {
  if (ReadLE16(window + kMagicOffset) == CExt2SuperBlock::kMagic) {
    CExt2SuperBlock super(window);
    super.Normalize();
    const int64_t primary = CExt2SearchedPartitionInfo::PrimarySector512(super, sector512);
    // The primary superblock has to lie on the device, and the file
    // system's start on a sector of it.
    if (super.IsValid() && primary >= 2 && (static_cast<uint64_t>(primary) - 2) % m_ratio == 0) {
      delete m_candidate;
      m_candidate = new CExt2SearchedPartitionInfo(window, sector512, m_sectorSize);
      return;
    }
  }
  if (!m_candidate || m_candidate->IsDescriptorTableComplete() || !m_candidate->IsGroupDescriptorSector(sector512))
    return;
  m_candidate->AddGroupDescriptorSector(window, sector512);
  if (m_candidate->IsDescriptorTableComplete()) ConfirmCandidate();
}

void CEXT2SearchController::ConfirmCandidate() {
  if (!m_candidate->HasValidGroupDescriptors()) {
    delete m_candidate;
    m_candidate = nullptr;
    return;
  }
  // A backup copy inside a listed file system: it waits to be replaced.
  if (LiesInListedPartition(m_candidate->GetFoundSector512())) return;
  CExt2SearchedPartitionInfo* record = m_candidate;
  m_candidate = nullptr;
  if (CExt2SearchedPartitionInfo* listed = AddPartition(record); listed == record) AnnouncePartition(record);
}

bool CEXT2SearchController::LiesInListedPartition(uint64_t sector512) const {
  for (const CExt2SearchedPartitionInfo* p : m_found) {
    const uint64_t position = p->GetFoundSector512();
    const uint64_t sectors = p->GetSectorCount() * (p->GetBytesPerSector() / 512);
    if (sector512 > position && sector512 - position <= sectors) return true;
  }
  return false;
}

CExt2SearchedPartitionInfo* CEXT2SearchController::AddPartition(CExt2SearchedPartitionInfo* record) {
  for (CExt2SearchedPartitionInfo* p : m_found) {
    if (!p->IsSamePartition(*record)) continue;
    p->AddRecordMatch();
    p->AddTimeFound();
    delete record;
    return nullptr;
  }
  m_found.push_back(record);
  record->SetOwner(this);
  return record;
}

void CEXT2SearchController::AnnouncePartition(CExt2SearchedPartitionInfo* record) {
  if (!m_builder) return;
  try {
    const CExt2FileSystem fs(Device512(), record->GetStart512(), record->GetSuperBlock().Bytes(),
                             record->GetDescriptorTable());
    CFileSystemNode* root = CExt2QuickSearch::MakeVolumeNode(fs, record->GetClusterStartSector(),
                                                             static_cast<int>(record->GetSectorsPerCluster()));
    m_roots[root] = record;
    if (!m_builder->AddFileSystemNode(root)) {
      m_roots.erase(root);
      DestroyFileNode(root);
    }
  } catch (const std::exception& e) {
    // Listed all the same (a feature this reader does not read, say); it
    // gets no tree.
    LogError("Ext2 complete search: the file system at sector %llu gets no tree: %s",
             static_cast<unsigned long long>(record->GetStartSector()), e.what());
  }
}

CSearchedPartitionInfo* CEXT2SearchController::FindPartitionOfNode(CFileNode* root) {
  auto it = m_roots.find(root);
  return it == m_roots.end() ? nullptr : it->second;
}

bool CEXT2SearchController::IsListed(const CSearchedPartitionInfo* partition) const {
  return std::find(m_found.begin(), m_found.end(), partition) != m_found.end();
}

uint64_t CEXT2SearchController::ScoreOf(uint32_t timesFound, bool atPrimary, bool superValid, bool recordValid) {
  if (timesFound == 1) {
    if (atPrimary) return superValid ? 60 : 30;
    return superValid ? 45 : 20;
  }
  if (atPrimary && recordValid) return superValid ? 100 : 80;
  return superValid ? 90 : 70;
}

void CEXT2SearchController::ScorePartitions() {
  for (CExt2SearchedPartitionInfo* p : m_found) {
    if (p->GetTimesFound() == 0) continue;
    const bool atPrimary = p->GetFoundSector512() - p->GetStart512() == 2;
    p->SetPoints(ScoreOf(p->GetTimesFound(), atPrimary, p->GetSuperBlock().IsValid(), p->IsSuperBlockValid()));
  }
}

void CEXT2SearchController::EndSearch() {
  delete m_candidate;
  m_candidate = nullptr;
  ScorePartitions();
}

void CEXT2SearchController::BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) {
  for (CSearchedPartitionInfo* p : partitions)
    if (IsListed(p)) BuildPartitionTree(static_cast<CExt2SearchedPartitionInfo*>(p));
}

int CEXT2SearchController::BuildPartitionTree(CExt2SearchedPartitionInfo* record) {
  if (!record || !IsListed(record) || !Device512()) return -1;
  if (record->HasNoDescriptorTable() && !record->ReadGroupDescriptors(Device512())) return -2;
  try {
    const CExt2FileSystem fs(Device512(), record->GetStart512(), record->GetSuperBlock().Bytes(),
                             record->GetDescriptorTable());
    CExt2QuickSearch search;
    search.SetTreeBuilder(m_builder);
    search.SetProgressSink(m_sink);
    search.RunOnPartition(fs, record);
    if (search.IsBuildStopped()) {
      m_buildStopped = true;
      LogError("Ext2 complete search: the tree builder refused nodes of the file system at sector %llu",
               static_cast<unsigned long long>(record->GetStartSector()));
    }
    record->SetBlockUseBitmap(search.TakeBlockUseBitmap());
  } catch (const std::exception& e) {
    ReportExt2Exception(e);
  }
  return 0;
}

void CEXT2SearchController::BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (!m_store || m_store->GetFileCount() == 0 || !m_device) return;
  for (CSearchedPartitionInfo* p : partitions) {
    if (!IsListed(p)) continue;
    auto* record = static_cast<CExt2SearchedPartitionInfo*>(p);
    const std::vector<bool>& bits = record->GetBlockUseBitmap();
    const uint64_t blocks = record->GetNormalizedSuperBlock().BlocksCount();
    if (bits.size() < blocks || record->GetSectorsPerCluster() == 0) continue;
    try {
      ClusterUseBitMapInfo info;
      info.bits = &bits;
      info.firstSector = record->GetClusterStartSector();
      info.sectorsPerCluster = record->GetSectorsPerCluster();
      info.clusterCount = blocks;
      CClusterUseBitMap map(info);
      PlaceRawFiles(m_device, m_store, m_builder, record, &map);
    } catch (const std::exception& e) {
      ReportExt2Exception(e);
    }
  }
}

int CEXT2SearchController::IsNodeInPartition(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (m_buildStopped || !node || !partition || !IsOwnFileSystemType(partition->GetType()) || !IsListed(partition))
    return 0;
  const CExt2SuperBlock super = static_cast<CExt2SearchedPartitionInfo*>(partition)->GetNormalizedSuperBlock();
  const int64_t id = node->GetId();
  return id >= static_cast<int64_t>(super.GetFirstInode()) && id <= static_cast<int64_t>(super.InodesCount()) ? 1 : 0;
}

ICompleteFileSystemSearchController* CreateExt2CompleteSearch() {
  return CEXT2SearchController::Create();
}

void RegisterExt2CompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::Ext2, [] { return CreateExt2CompleteSearch(); });
}
