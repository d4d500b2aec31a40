#include "CNTFSSearchController.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "CFileNode.h"
#include "CFileTypeEvidenceEntry.h"
#include "CNTFSDBR.h"
#include "CNTFSFileRecord.h"
#include "CNTFSNodeFactory.h"
#include "CNTFSRestartPageCollection.h"
#include "CNTFSTemplateMatcher.h"
#include "CScanOptions.h"
#include "FolderRecordInfo.h"
#include "IDirecotryTreeBuilder.h"
#include "IScanStream.h"
#include "IStorageDevice.h"
#include "NTFSFileTypeEvidence.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "ScanStreamIO.h"

namespace {

constexpr int kIndexBlockBytes = 4096;
constexpr int kLookAheadSectors = 16;
constexpr uint32_t kBuilderFull = 19;

// Steps slower than 30 ms leave a trace in the run log (debug tracing).
class ElapsedTrace {
 public:
  ElapsedTrace(const char* label, int64_t sector)
      : m_label(label), m_sector(sector), m_start(std::chrono::steady_clock::now()) {}
  ~ElapsedTrace() {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
    if (ms > 30)
      DebugTrace("%s curSector %lld dwElapsedTime %u \n", m_label, static_cast<long long>(m_sector),
                 static_cast<unsigned>(ms));
  }

 private:
  const char* m_label;
  int64_t m_sector;
  std::chrono::steady_clock::time_point m_start;
};

int64_t CounterPoints(uint64_t counter, int64_t threshold) {
  const int64_t c = static_cast<int64_t>(counter);
  if (c < 0) return 0;
  return std::min<int64_t>(10, 10 * (c / threshold));
}

// Device sectors of one FILE record that states `recordSize`.
uint32_t RecordSpacing(uint32_t recordSize, int sectorSize) {
  return SectorsPerRecord(recordSize, static_cast<uint32_t>(sectorSize));
}

}  // namespace

int64_t ScoreNTFSCandidate(const CSearchedNTFSPartitionInfo& c) {
  int64_t points = 0;
  const uint32_t flags = c.GetStateFlags();
  for (uint32_t f : {kNTFSBootSectorFlag, kNTFSBackupBootSectorFlag, kNTFSMFTFlag, kNTFSMFTMirrFlag,
                     kNTFSFirstRestartPageFlag, kNTFSSecondRestartPageFlag})
    if (flags & f) points += 10;
  if (flags & kNTFSMFTConfirmedFlag) points += 30;
  // Only the first five sectors of $UpCase can equal a template sector, so
  // its threshold is that of $AttrDef.
  points += CounterPoints(c.GetUpCaseMatches(), 5);
  points += CounterPoints(c.GetLogPageMatches(), 10000);
  points += CounterPoints(c.GetAttrDefMatches(), 5);
  return points;
}

CNTFSSearchController::CNTFSSearchController() : m_updater(&m_candidates) {}

CNTFSSearchController::~CNTFSSearchController() {
  FreeScanState();
}

int CNTFSSearchController::SectorSize() const {
  return m_sectorSize;
}

void CNTFSSearchController::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  for (auto& [key, c] : m_candidates) partitions.push_back(c.get());
}

void CNTFSSearchController::SetDevice(IStorageDevice* device) {
  m_device = device;
  if (!device) return;
  m_updater.SetDeviceSectors(device->GetSectorCount());
  const int s = device->GetSectorSize();
  m_sectorSize = s >= 512 && s <= 65536 && (s & (s - 1)) == 0 ? s : 512;
  m_factory = std::make_unique<CNTFSNodeFactory>(device, m_builder);
}

void CNTFSSearchController::SetSearchOption(int sectorsPerBlock) {
  if (sectorsPerBlock > 0) m_blockSectors = static_cast<uint32_t>(sectorsPerBlock);
}

void CNTFSSearchController::StartSearch() {
  if (!m_device) return;
  FreeScanState();
  const uint64_t deviceSectors = m_device->GetSectorCount();
  m_attrDef = std::make_unique<CNTFSAttrDefMatcher>();
  m_upCase = std::make_unique<CNTFSUpCaseMatcher>();
  m_restart = std::make_unique<CNTFSRestartPageCollection>(&m_candidates, &m_updater, m_sectorSize);
  m_restart->SetDeviceSectors(deviceSectors);
  m_tracker = std::make_unique<CNTFSSystemRecordTracker>(&m_lists, &m_candidates, &m_updater, m_sectorSize);
  m_tracker->SetDeviceSectors(deviceSectors);
  // The block buffer is made on the first block the device does not hold
  // in memory itself.
  m_block.clear();
  m_pendingRecord.bytes.assign(kNTFSMaxRecordLength, 0);
  m_pendingIndex.bytes.assign(kIndexBlockBytes, 0);
  m_pendingRecord.Clear();
  m_pendingIndex.Clear();
  m_work.assign(kNTFSMaxRecordLength, 0);
  m_buildNodes = true;
  m_scanning = true;
  SetNTFSEngineSectorSize(m_sectorSize);
  m_factory = std::make_unique<CNTFSNodeFactory>(m_device, m_builder);
  m_factory->CreateVolumeNode(nullptr, 0, 0);
}

const uint8_t* CNTFSSearchController::ReadBlock(uint64_t first, uint64_t count) {
  const size_t s = static_cast<size_t>(m_sectorSize);
  // A read-ahead block is analysed where it lies, without a copy.
  if (m_device->GetSectorSize() == m_sectorSize)
    if (const uint8_t* held = m_device->PeekSectors(first, count)) return held;
  if (m_block.size() < count * s) m_block.assign(size_t(m_blockSectors) * s, 0);
  if (m_device->ReadSectors(m_block.data(), first, count)) return m_block.data();
  // The block did not read whole: sector by sector, and what fails reads
  // as zeros (never as the bytes of the block before).
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t* at = m_block.data() + i * s;
    if (!m_device->ReadSectors(at, first + i, 1)) std::memset(at, 0, s);
  }
  return m_block.data();
}

void CNTFSSearchController::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (!m_scanning || !m_device || sectorCount == 0) return;
  SetNTFSEngineSectorSize(m_sectorSize);
  const size_t s = static_cast<size_t>(m_sectorSize);
  for (uint64_t done = 0; done < sectorCount;) {
    // A caller's block larger than the buffer is taken in buffer-sized parts.
    const uint64_t first = firstSector + done;
    const uint64_t count = std::min<uint64_t>(sectorCount - done, m_blockSectors);
    const uint8_t* block = ReadBlock(first, count);
    const bool bootSectors = GetScanOptions()->analyseBootSectors != 0;
    const uint64_t units = UnitsPerSector(static_cast<uint32_t>(s));
    for (uint64_t k = 0; k < count; ++k) {
      const uint64_t i = first + k;
      const uint8_t* p = block + k * s;
      const int available = static_cast<int>(std::min<uint64_t>(kLookAheadSectors, count - k) * s);
      if (IsValidNTFSBootSector(p)) {
        if (bootSectors) {
          ElapsedTrace trace("AnalyzeNTFSDBRSector", static_cast<int64_t>(i));
          AnalyzeNTFSDBRSector(i, p);
        }
      } else if (IsRestartPage(p, available)) {
        ElapsedTrace trace("AnalyzeRSTRRecord", static_cast<int64_t>(i));
        m_restart->AnalyzeRSTRRecord(i, p, available);
      } else {
        AnalyzeIndexRecordSector(i, p, available);
      }
      AnalyzeNTFSFileRecordSector(i, p, available);
      for (uint64_t u = 0; u < units; ++u) {
        m_attrDef->MatchSector(i * units + u, p + u * kNTFSTemplateUnit);
        m_upCase->MatchSector(i * units + u, p + u * kNTFSTemplateUnit);
      }
    }
    m_restart->EndBlock(block, first, count);
    done += count;
  }
}

std::unique_ptr<CSearchedNTFSPartitionInfo> CNTFSSearchController::NewCandidateFromDBR(const uint8_t* sector,
                                                                                        uint64_t start,
                                                                                        uint32_t flags) const {
  CNTFSDBR dbr;
  if (!dbr.SetFromSector(sector)) return nullptr;
  if (static_cast<int64_t>(start) < 0) return nullptr;
  const uint64_t deviceSectors = m_updater.GetDeviceSectors();
  if (start >= deviceSectors) return nullptr;
  const uint64_t size = std::min<uint64_t>(dbr.GetTotalSectors(), deviceSectors - start);
  const uint32_t k = dbr.GetSectorsPerCluster();
  if (size < 8 || k == 0) return nullptr;
  auto c = std::make_unique<CSearchedNTFSPartitionInfo>(m_sectorSize);
  c->SetStateFlags(flags);
  c->SetType(EFileSystemType::NTFS);
  c->SetSectorsPerCluster(k);
  c->SetStartSector(start);
  c->SetClusterStartSector(start);
  c->SetSerialNumber(dbr.GetSerialNumber());
  // The volume's own sector count (the boot sector's, cut at the device's
  // end); the clusters are the whole ones inside it.
  c->SetClusterCount(size / k);
  c->SetSectorCount(size);
  return c;
}

int CNTFSSearchController::IsBackupDBR(const CSearchedNTFSPartitionInfo& b) {
  ElapsedTrace trace("IsBackupDBR", 0);
  int backup = 0;
  m_updater.ForEachEqual(b, [&](CSearchedNTFSPartitionInfo& c) {
    c.AddStateFlags(kNTFSBackupBootSectorFlag);
    if ((c.GetSectorCount() == b.GetSectorCount() && c.GetSerialNumber() == b.GetSerialNumber()) ||
        (c.GetStateFlags() & kNTFSBootSectorFlag))
      backup = 1;
  });
  return backup;
}

int CNTFSSearchController::AdjustPartitionSizeAccordingtoDBR(const CSearchedNTFSPartitionInfo& b) {
  ElapsedTrace trace("AdjustPartitionSizeAccordingtoDBR", 0);
  // The boot sector knows the volume's size better than any other trace
  // (the $Bitmap counts whole clusters, index blocks reach to the device's
  // end): equal candidates take its size.
  return m_updater.ForEachEqual(b, [&](CSearchedNTFSPartitionInfo& c) {
    c.SetSectorCount(b.GetSectorCount());
    c.SetClusterCount(b.GetClusterCount());
    if (c.GetSerialNumber() == 0) c.SetSerialNumber(b.GetSerialNumber());
  });
}

void CNTFSSearchController::AnalyzeNTFSDBRSector(uint64_t sector, const uint8_t* bytes) {
  CNTFSDBR dbr;
  if (!dbr.SetFromSector(bytes)) return;
  const uint64_t total = dbr.GetTotalSectors();
  // The backup boot sector lies T sectors behind the volume's first one.
  if (total <= sector) {
    if (auto b = NewCandidateFromDBR(bytes, sector - total, kNTFSBackupBootSectorFlag)) {
      if (IsBackupDBR(*b)) {
        // This is a backup: the primary boot sector T sectors before made a
        // backup hypothesis that now goes.
        if (sector >= 2 * total) {
          b->SetStartSector(sector - 2 * total);
          m_updater.UpdateCandidateFlags(*b, 0, kNTFSBackupBootSectorFlag);
        }
        return;
      }
      // Equal candidates already carry the backup flag (IsBackupDBR); a
      // second record of the same volume would only split its evidence.
      if (!AdjustPartitionSizeAccordingtoDBR(*b)) InsertCandidate(m_candidates, std::move(b));
    }
  }
  if (auto c = NewCandidateFromDBR(bytes, sector, kNTFSBootSectorFlag)) InsertCandidate(m_candidates, std::move(c));
}

int CNTFSSearchController::MarkFolderMatches(const CSearchedNTFSPartitionInfo& candidate) {
  return m_updater.ForEachEqual(candidate, [](CSearchedNTFSPartitionInfo& c) {
    c.AddStateFlags(kNTFSIndexBlockFlag);
    c.SetRecordMatchCount(c.GetRecordMatchCount() + 1);
  });
}

void CNTFSSearchController::OfferFolderCandidate(uint64_t blockSector, const FolderRecordInfo& folder,
                                                 uint64_t vcn) {
  const int64_t lcn = folder.VCNToLCN(vcn);
  if (lcn < 0) return;
  auto c = CreatePartitionCandidate(blockSector, lcn, folder.GetSectorsPerCluster(), kNTFSIndexBlockFlag,
                                    m_updater.GetDeviceSectors(), m_sectorSize);
  if (!c) return;
  if (MarkFolderMatches(*c)) return;
  InsertCandidate(m_candidates, std::move(c));
}

CNTFSSearchController::PendingState CNTFSSearchController::JoinPending(PendingBytes& pending, uint64_t sector,
                                                                       const uint8_t* bytes, int available,
                                                                       View& view) const {
  if (!pending.active) return PendingState::None;
  const uint64_t end = pending.sector + pending.held / static_cast<uint32_t>(m_sectorSize);
  if (sector < end) return PendingState::Inside;
  const uint32_t missing = pending.need - pending.held;
  const bool joins = sector == end && static_cast<uint32_t>(available) >= missing;
  PendingState state = PendingState::None;
  if (joins) {
    std::memcpy(pending.bytes.data() + pending.held, bytes, missing);
    view.bytes = pending.bytes.data();
    view.sector = pending.sector;
    view.length = static_cast<int>(pending.need);
    state = PendingState::Joined;
  }
  // Joined or not, the held part is let go: the joined bytes stay readable
  // until the next hold.
  pending.Clear();
  return state;
}

void CNTFSSearchController::Hold(PendingBytes& pending, uint64_t sector, const uint8_t* bytes, int available,
                                 uint32_t need) {
  std::memcpy(pending.bytes.data(), bytes, static_cast<size_t>(available));
  pending.active = true;
  pending.sector = sector;
  pending.held = static_cast<uint32_t>(available);
  pending.need = need;
}

int CNTFSSearchController::AnalyzeIndexRecordSector(uint64_t sector, const uint8_t* bytes, int available) {
  View v{bytes, sector, available};
  const PendingState state = JoinPending(m_pendingIndex, sector, bytes, available, v);
  if (state == PendingState::Inside) return 0;
  if (state != PendingState::Joined && available < kIndexBlockBytes && IsIndexRecordHeader(bytes, available)) {
    // Cut by the end of the block: held until the next block brings the rest.
    Hold(m_pendingIndex, sector, bytes, available, kIndexBlockBytes);
    return 0;
  }
  if (!AnalyzeIndexRecordBuffer(v.bytes, v.length)) return 0;
  IndexRecordInfo info;
  info.sector = v.sector;
  info.vcn = GetIndexRecordVCN(v.bytes);
  info.lsn = GetIndexRecordLSN(v.bytes);
  {
    // The parent is read from the block with its fixups applied.
    std::vector<uint8_t> fixed(v.bytes, v.bytes + v.length);
    ApplyIndexRecordFixups(fixed.data(), v.length);
    const int64_t reference = GetIndexRecordParentReference(fixed.data(), v.length);
    if (reference < 0) return 0;
    info.parent = static_cast<int64_t>(static_cast<uint64_t>(reference) & 0xFFFFFFFFu);
  }
  if (info.parent == 5) return 1;
  auto range = m_folders.equal_range(info.parent);
  for (auto it = range.first; it != range.second; ++it) OfferFolderCandidate(info.sector, *it->second, info.vcn);
  if (m_indexBlocks.size() >= kMaxItems) {
    ++m_droppedIndexBlocks;
    return 1;
  }
  m_indexBlocks.emplace(info.parent, info);
  return 1;
}

int CNTFSSearchController::AnalyzeNTFSFileRecordSector(uint64_t sector, const uint8_t* bytes, int available) {
  View v{bytes, sector, available};
  const PendingState state = JoinPending(m_pendingRecord, sector, bytes, available, v);
  if (state != PendingState::Joined && IsFileRecordHeader(bytes)) {
    const uint32_t fallback = std::max<uint32_t>(kNTFSMinRecordLength, static_cast<uint32_t>(m_sectorSize));
    const uint32_t size = RecordSizeOf(bytes, available, fallback);
    if (static_cast<uint32_t>(available) < size) {
      // Cut by the end of the block: held until the next block brings the rest.
      if (state != PendingState::Inside) Hold(m_pendingRecord, sector, bytes, available, size);
      return 1;
    }
  }
  AnalyzeRecord(v.sector, v.bytes, v.length);
  return 0;
}

void CNTFSSearchController::AnalyzeRecord(uint64_t sector, const uint8_t* bytes, int available) {
  const uint32_t fallback = std::max<uint32_t>(kNTFSMinRecordLength, static_cast<uint32_t>(m_sectorSize));
  const int length = std::min(available, static_cast<int>(RecordSizeOf(bytes, available, fallback)));
  CNTFSFileRecord view(bytes, length, false);
  m_tracker->AddRecord(sector, view);
  if (!view.IsValid()) return;
  ElapsedTrace trace("AnalyzeNTFSFileRecordSector begin", static_cast<int64_t>(sector));
  const uint32_t spacing = RecordSpacing(static_cast<uint32_t>(length), m_sectorSize);
  if (HasIndexAllocation(bytes, length)) {
    ElapsedTrace folderTrace("AnalyzeFolderFileRecordHavingIndexAllocation", static_cast<int64_t>(sector));
    AnalyzeFolderFileRecordHavingIndexAllocation(sector, bytes, length, spacing);
  } else if (IsLogFileRecord(bytes, length)) {
    m_restart->AddLogFileRecord(sector, bytes, length);
  } else if (IsAttrDefRecord(bytes, length)) {
    m_attrDef->AddRecord(sector, bytes, length);
  } else if (IsUpCaseRecord(bytes, length)) {
    m_upCase->AddRecord(sector, bytes, length);
  } else {
    AnalyzeOtherFileRecord(sector, view, bytes, length, spacing);
  }
}

void CNTFSSearchController::AnalyzeFolderFileRecordHavingIndexAllocation(uint64_t sector, const uint8_t* bytes,
                                                                         int length, uint32_t spacing) {
  auto folder = std::make_unique<FolderRecordInfo>();
  if (folder->SetFromRecord(bytes, length, sector)) {
    const int64_t number = folder->GetDirectoryRecordNumber();
    if (m_folders.size() >= kMaxItems) {
      ++m_droppedFolders;
    } else {
      FolderRecordInfo* f = folder.get();
      m_folders.emplace(number, std::move(folder));
      ElapsedTrace trace("BuildPartitionInfoAccordingtoFolderFileRecordHavingIndexAllocation", 0);
      auto range = m_indexBlocks.equal_range(number);
      for (auto it = range.first; it != range.second; ++it) OfferFolderCandidate(it->second.sector, *f, it->second.vcn);
    }
  }
  if (m_buildNodes && m_factory) AddNodeToBuilder(m_factory->CreateFileNodeFromRecord(bytes, length, sector, nullptr, nullptr));
  // Folder records always start a run of their own.
  NTFSRecordRun run;
  run.firstSector = sector;
  run.count = 1;
  run.spacing = spacing;
  m_runs.push_back(run);
}

void CNTFSSearchController::AnalyzeOtherFileRecord(uint64_t sector, const CNTFSFileRecord& view, const uint8_t* bytes,
                                                   int length, uint32_t spacing) {
  if (view.IsExtensionRecord()) return;
  if (m_tracker->IsFull(view) || m_restart->IsFull()) {
    ++m_droppedRecords;
    return;
  }
  if (m_buildNodes && m_factory) AddNodeToBuilder(m_factory->CreateFileNodeFromRecord(bytes, length, sector, nullptr, nullptr));
  ExtendLastRecordRun(sector, spacing);
  CFileTypeEvidenceEntry entry;
  if (MakeFileTypeEvidence(view, sector, entry)) {
    if (m_evidence.GetCount() >= kMaxItems) ++m_droppedEvidence;
    else m_evidence.Add(entry);
  }
}

int CNTFSSearchController::ExtendLastRecordRun(uint64_t sector, uint32_t spacing) {
  if (!m_runs.empty()) {
    NTFSRecordRun& last = m_runs.back();
    if (last.spacing == spacing && sector == last.SectorOf(last.count)) {
      ++last.count;
      return 1;
    }
  }
  NTFSRecordRun run;
  run.firstSector = sector;
  run.count = 1;
  run.spacing = spacing;
  m_runs.push_back(run);
  return 0;
}

void CNTFSSearchController::AddNodeToBuilder(CFileNode* node) {
  if (!node) return;
  if (!m_builder) {
    DeleteFileNode(node);
    return;
  }
  int error = 0;
  if (m_builder->AddNode(node, ETreeKind::NTFS, error)) return;
  if ((error & 0xFFFF) == static_cast<int>(kBuilderFull)) m_buildNodes = false;
  DeleteFileNode(node);
}

void CNTFSSearchController::NoteCap(const char* name, uint64_t& dropped) {
  if (dropped == 0) return;
  LogInfo("NTFS search: cap \"%s\" dropped %llu", name, static_cast<unsigned long long>(dropped));
  if (m_builder) m_builder->NoteCap(name, dropped);
  dropped = 0;
}

void CNTFSSearchController::SettleCandidates() {
  const size_t n = m_candidates.size();
  size_t i = 0;
  const int* options = GetScanOptions()->ntfsOptions;
  for (auto it = m_candidates.begin(); it != m_candidates.end(); ++i) {
    CSearchedNTFSPartitionInfo& c = *it->second;
    if (m_attrDef) m_attrDef->ResolveCandidate(c);
    if (m_upCase) m_upCase->ResolveCandidate(c);
    if (m_restart) m_restart->ResolveCandidate(c);
    if (c.GetMFTSector() != CSearchedNTFSPartitionInfo::kUnknown) {
      c.SetMFTGroupSwitch(static_cast<uint32_t>(options[1]));
      c.SetGroupOnlySwitch(static_cast<uint32_t>(options[2]));
    }
    const int64_t points = ScoreNTFSCandidate(c);
    c.SetPoints(points);
    DebugTrace("NTFS candidate start %llu sectors %llu k %u flags 0x%x points %lld folders %llu\n",
               static_cast<unsigned long long>(c.GetStartSector()), static_cast<unsigned long long>(c.GetSectorCount()),
               c.GetSectorsPerCluster(), c.GetStateFlags(), static_cast<long long>(points),
               static_cast<unsigned long long>(c.GetRecordMatchCount()));
    if (n <= kSettlementKeep || i < kSettlementKeep || points > 10) {
      c.SetClusterStartSector(c.GetStartSector());
      m_evidence.CountRawMatches(m_store, &c);
      ++it;
    } else {
      ++m_droppedCandidates;
      it = m_candidates.erase(it);
    }
  }
  if (m_candidates.size() > 49) {
    for (auto it = m_candidates.begin(); it != m_candidates.end();) {
      const CSearchedNTFSPartitionInfo& c = *it->second;
      if (c.GetStateFlags() == kNTFSIndexBlockFlag && static_cast<int64_t>(c.GetRecordMatchCount()) <= 0 &&
          static_cast<int64_t>(c.GetRawMatchCount()) <= 0)
        it = m_candidates.erase(it);
      else
        ++it;
    }
  }
  for (auto& [key, c] : m_candidates) c->SetOwner(this);
}

void CNTFSSearchController::EndSearch() {
  if (!m_scanning) return;
  ElapsedTrace trace("EndSearch", -1);
  SettleCandidates();
  NoteCap(kFolderCapName, m_droppedFolders);
  NoteCap(kIndexBlockCapName, m_droppedIndexBlocks);
  NoteCap(kEvidenceCapName, m_droppedEvidence);
  NoteCap(kSettlementCapName, m_droppedCandidates);
  NoteCap(kRecordListCapName, m_droppedRecords);
  m_scanning = false;
  m_block.clear();
  m_block.shrink_to_fit();
  m_tracker.reset();
  m_attrDef.reset();
  m_upCase.reset();
  m_restart.reset();
  m_lists.pairs.clear();
  m_lists.mirrors.clear();
  m_folders.clear();
  m_indexBlocks.clear();
  m_evidence.Clear();
}

void CNTFSSearchController::FreeScanState() {
  m_scanning = false;
  m_tracker.reset();
  m_attrDef.reset();
  m_upCase.reset();
  m_restart.reset();
  m_folders.clear();
  m_indexBlocks.clear();
  m_evidence.Clear();
  m_block.clear();
}

void CNTFSSearchController::SaveSearchState(IScanStream* stream) {
  if (!stream) return;
  if (!StreamWriteU64(stream, m_lists.mfts.size())) return;
  for (const auto& mft : m_lists.mfts)
    if (!mft->Save(*stream)) return;
  if (!StreamWriteU64(stream, m_runs.size())) return;
  for (const NTFSRecordRun& run : m_runs)
    if (!StreamWriteU64(stream, run.firstSector) || !StreamWriteU64(stream, run.count)) return;
}

void CNTFSSearchController::LoadSearchState(IScanStream* stream) {
  if (!stream) return;
  uint64_t k = 0;
  if (!StreamReadU64(stream, k)) return;
  for (uint64_t i = 0; i < k; ++i) {
    auto mft = std::make_unique<CNTFSMFTRecordInfo>();
    if (!mft->Load(*stream)) return;
    m_lists.mfts.push_back(std::move(mft));
  }
  uint64_t m = 0;
  if (!StreamReadU64(stream, m)) return;
  // Saved runs keep no spacing: records of the size the device's sectors
  // give (1024 bytes, or one sector when sectors are larger).
  const uint32_t spacing =
      RecordSpacing(std::max<uint32_t>(kNTFSMinRecordLength, static_cast<uint32_t>(m_sectorSize)), m_sectorSize);
  for (uint64_t i = 0; i < m; ++i) {
    NTFSRecordRun run;
    if (!StreamReadU64(stream, run.firstSector) || !StreamReadU64(stream, run.count)) return;
    run.spacing = spacing;
    m_runs.push_back(run);
  }
}

void RegisterNTFSCompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::NTFS, [] { return new CNTFSSearchController; });
}
