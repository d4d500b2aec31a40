#include "CNTFSSystemRecordTracker.h"

#include <algorithm>

#include "CNTFSFileRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"

namespace {
constexpr uint64_t kNone = ~uint64_t(0);

// The cluster count a $Bitmap record implies; -1 when it cannot be read.
int64_t ReadBitmapClusterCount(const CNTFSFileRecord& record) {
  if (!record.IsValid()) return -1;
  CNTFSRunList runs;
  uint64_t size = 0;
  if (!CollectDataRuns(record, runs, true, &size) || size == 0 || runs.GetClusterCount() == 0) return -1;
  if (size > uint64_t(INT64_MAX) / 8) return -1;
  return static_cast<int64_t>(size * 8);
}
}  // namespace

uint64_t CNTFSSystemRecordTracker::SectorsPerRecordOf(uint32_t recordSize) const {
  return SectorsPerRecord(recordSize, static_cast<uint32_t>(m_sectorSize));
}

bool CNTFSSystemRecordTracker::IsFull(const CNTFSFileRecord& record) const {
  if (IsMFTRecord(record)) return m_lists->mfts.size() > kMaxItems - 1;
  if (IsMFTMirrRecord(record)) return m_lists->mirrors.size() > kMaxItems - 1;
  return false;
}

bool CNTFSSystemRecordTracker::ShouldFlush(uint64_t sector, const CNTFSFileRecord& record, int index) const {
  if (!record.IsValid() || index < 0 || !m_mft || sector < m_mftSector) return true;
  const uint64_t distance = sector - m_mftSector;
  if (distance > kFollowedRecords * m_recordSectors) return true;
  return distance % m_recordSectors != 0 || distance / m_recordSectors != static_cast<uint64_t>(index);
}

void CNTFSSystemRecordTracker::Reset() {
  Flush();
  m_mft = nullptr;
  m_mirror = nullptr;
  m_mftSector = kNone;
  m_bitmapClusters = -1;
}

int CNTFSSystemRecordTracker::AddRecord(uint64_t sector, const CNTFSFileRecord& record) {
  if (!m_lists) return 0;
  // The other sectors of a record of the current $MFT run.
  if (!record.IsValid() && m_mft && sector > m_mftSector) {
    const uint64_t distance = sector - m_mftSector;
    if (distance <= kFollowedRecords * m_recordSectors && distance % m_recordSectors != 0) return 0;
  }
  const int index = GetSystemFileIndex(record);
  if (ShouldFlush(sector, record, index)) Reset();
  if (!record.IsValid()) return 0;
  if (IsMFTRecord(record)) {
    m_mftSector = sector;
    m_recordSectors = SectorsPerRecordOf(RecordSizeOf(record.GetRecord(), record.GetLength(), kNTFSMinRecordLength));
    if (m_lists->mfts.size() >= kMaxItems) return 0;
    std::unique_ptr<CNTFSMFTRecordInfo> info = CreateMFTRecordInfo(record, sector);
    if (!info) {
      Reset();
      return 0;
    }
    m_mft = info.get();
    m_lists->analyzers.emplace_back(m_mft, std::make_unique<CNTFSLogFileAnalyzer>());
    m_lists->mfts.push_back(std::move(info));
    return 1;
  }
  if (IsMFTMirrRecord(record)) {
    if (m_lists->mirrors.size() >= kMaxItems) return 0;
    auto item = std::make_unique<CNTFSFoundRecordItemEx>();
    if (!item->SetFromRecord(record, sector)) {
      Reset();
      return 0;
    }
    m_mirror = item.get();
    m_lists->mirrors.push_back(std::move(item));
    return 1;
  }
  if (m_readBitmap && IsBitmapRecord(record)) {
    const int64_t clusters = ReadBitmapClusterCount(record);
    if (clusters > 0) m_bitmapClusters = clusters;
  }
  return 1;
}

void CNTFSSystemRecordTracker::Flush() {
  if (!m_mft) return;
  if (!m_mirror) {
    InsertMFTCandidates(*m_mft);
    return;
  }
  NTFSMFTPair pair{m_mft, m_mirror};
  PairMFTAndMirror(pair);
  m_lists->pairs.push_back(pair);
}

void CNTFSSystemRecordTracker::AddCandidateFromMFT(const CNTFSMFTRecordInfo& mft, NTFSCandidateList& out) const {
  const uint64_t sector = static_cast<uint64_t>(mft.GetSector());
  if (mft.GetSectorsPerCluster() != 0) {
    auto c = CreatePartitionCandidate(sector, mft.GetFirstLCN(), mft.GetSectorsPerCluster(), kNTFSMFTFlag,
                                      m_deviceSectors, m_sectorSize);
    if (c) out.push_back(std::move(c));
    return;
  }
  CreatePartitionCandidatesForAllClusterSizes(sector, mft.GetFirstLCN(), kNTFSMFTFlag, m_deviceSectors, out,
                                              m_sectorSize);
}

void CNTFSSystemRecordTracker::ApplyMFTInfo(CSearchedNTFSPartitionInfo& c) const {
  if (c.GetMFTSector() == CSearchedNTFSPartitionInfo::kUnknown) c.SetMFTSector(m_mftSector);
  const uint64_t k = c.GetSectorsPerCluster();
  if (!(c.GetStateFlags() & kNTFSBootSectorFlag) && m_bitmapClusters > 0) {
    c.SetClusterCount(std::min<uint64_t>(c.GetClusterCount(), static_cast<uint64_t>(m_bitmapClusters)));
    c.SetSectorCount(c.GetClusterCount() * k);
  }
  c.SetBitmapSize(m_bitmapClusters * static_cast<int64_t>(k));
}

void CNTFSSystemRecordTracker::ApplyMFTInfoToEqual(const CSearchedNTFSPartitionInfo& candidate) {
  if (m_updater) m_updater->ForEachEqual(candidate, [this](CSearchedNTFSPartitionInfo& c) { ApplyMFTInfo(c); });
}

void CNTFSSystemRecordTracker::InsertMFTCandidates(const CNTFSMFTRecordInfo& mft) {
  NTFSCandidateList trials;
  AddCandidateFromMFT(mft, trials);
  for (auto& c : trials) {
    ApplyMFTInfo(*c);
    if (m_updater && m_updater->UpdateCandidateFlags(*c, kNTFSMFTFlag, 0)) {
      ApplyMFTInfoToEqual(*c);
      return;  // the remaining trials are dropped with the list
    }
    if (m_map) InsertCandidate(*m_map, std::move(c));
  }
}

void CNTFSSystemRecordTracker::PairMFTAndMirror(const NTFSMFTPair& pair) {
  const uint64_t mftSector = static_cast<uint64_t>(pair.mft->GetSector());
  std::unique_ptr<CSearchedNTFSPartitionInfo> c;
  if (pair.mirror->GetFirstLCN() >= 0 && pair.mft->GetSectorsPerCluster() != 0)
    c = CreatePartitionCandidate(mftSector, pair.mirror->GetFirstLCN(), pair.mft->GetSectorsPerCluster(),
                                 kNTFSMFTMirrFlag, m_deviceSectors, m_sectorSize);
  if (!c) {
    InsertMFTCandidates(*pair.mft);
    return;
  }
  ApplyMFTInfo(*c);
  // Confirmed when the primary $MFT this copy places is a pair already met.
  const int64_t lcn = pair.mft->GetFirstLCN();
  bool confirmed = false;
  if (lcn >= 0) {
    const uint64_t primary = c->GetStartSector() + static_cast<uint64_t>(lcn) * c->GetSectorsPerCluster();
    for (const NTFSMFTPair& known : m_lists->pairs)
      if (static_cast<uint64_t>(known.mft->GetSector()) == primary) confirmed = true;
  }
  if (confirmed) {
    if (m_updater) m_updater->UpdateCandidateFlags(*c, kNTFSMFTConfirmedFlag, kNTFSMFTFlag);
    return;
  }
  const int equal = m_updater ? m_updater->UpdateCandidateFlags(*c, kNTFSMFTMirrFlag, 0) : 0;
  ApplyMFTInfoToEqual(*c);
  if (!equal) InsertMFTCandidates(*pair.mft);
}
