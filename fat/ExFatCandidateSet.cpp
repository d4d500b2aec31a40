#include "ExFatCandidateSet.h"

#include <algorithm>

#include "CExFatDBR.h"
#include "IDirecotryTreeBuilder.h"

namespace {

int Part(bool a, bool b) { return a && b ? 50 : (a || b ? 45 : 10); }

}  // namespace

int ScoreExFatCandidate(CExFatPartitionEx& c) {
  const int score = Part(c.flags & CExFatPartitionEx::kMainBoot, c.flags & CExFatPartitionEx::kBackupBoot) +
                    Part(c.flags & CExFatPartitionEx::kFirstFat, c.flags & CExFatPartitionEx::kSecondFat);
  c.groupCount = static_cast<uint32_t>(c.groups.size());
  c.SetScore(score);
  return score;
}

void ExFatCandidateSet::SetGeometry(uint32_t sectorSize, uint64_t deviceSectors) {
  m_sectorSize = sectorSize ? sectorSize : 512;
  m_deviceSectors = deviceSectors;
}

CExFatPartitionEx* ExFatCandidateSet::Find(uint64_t heap, uint32_t sectorsPerCluster) const {
  for (const auto& c : m_candidates)
    if (c->GetHeapStart() == heap && c->GetClusterSectors() == sectorsPerCluster) return c.get();
  return nullptr;
}

CExFatPartitionEx* ExFatCandidateSet::Add(uint64_t volumeStart, uint64_t heap, const CExFatDBR& boot,
                                          uint32_t flags) {
  auto c = std::make_unique<CExFatPartitionEx>(static_cast<int>(m_sectorSize));
  c->SetSectorSize(m_sectorSize);
  c->SetVolumeStart(volumeStart);
  c->SetHeapStart(heap);
  c->SetVolumeLength(boot.GetVolumeLength());
  c->SetClusterSectors(boot.GetSectorsPerCluster());
  c->UpdateClusterSize();
  uint32_t count = boot.GetClusterCount();
  const uint64_t fatEntries = static_cast<uint64_t>(boot.GetFatLength()) * m_sectorSize / 4;
  if (fatEntries > count) count = static_cast<uint32_t>(std::min<uint64_t>(fatEntries, 0xFFFFFFFFu));
  c->SetClusterCount(count);
  c->SetRootCluster(boot.GetRootDirectoryCluster());
  c->fatCount = boot.GetNumberOfFats();
  c->fatLength = boot.GetFatLength();
  c->fatOffset = boot.GetFatOffset();
  c->flags = flags;
  c->SyncBaseFields();
  m_candidates.push_back(std::move(c));
  return m_candidates.back().get();
}

void ExFatCandidateSet::AddExFatBootCandidate(uint64_t sector, const CExFatDBR& boot) {
  const uint64_t heap = sector + boot.GetClusterHeapOffset();
  const uint32_t spc = boot.GetSectorsPerCluster();
  if (heap >= kBackupDistance) {
    if (CExFatPartitionEx* main = Find(heap - kBackupDistance, spc)) {
      // This is the backup of a main boot sector 12 sectors earlier: the
      // guess made from that sector as a backup is no volume.
      main->flags |= CExFatPartitionEx::kBackupBoot;
      if (heap >= 2 * kBackupDistance) {
        const uint64_t ghost = heap - 2 * kBackupDistance;
        m_candidates.erase(std::remove_if(m_candidates.begin(), m_candidates.end(),
                                          [&](const std::unique_ptr<CExFatPartitionEx>& c) {
                                            return c->GetHeapStart() == ghost && c->GetClusterSectors() == spc &&
                                                   c->flags == CExFatPartitionEx::kBackupBoot;
                                          }),
                           m_candidates.end());
      }
      return;
    }
  }
  Trim();
  Add(sector, heap, boot, CExFatPartitionEx::kMainBoot);
  if (sector >= kBackupDistance)
    Add(sector - kBackupDistance, heap - kBackupDistance, boot, CExFatPartitionEx::kBackupBoot);
}

void ExFatCandidateSet::AddFatStart(uint64_t sector) {
  for (const auto& c : m_candidates) {
    if (!(c->flags & CExFatPartitionEx::kBootFlags)) continue;
    if (c->GetVolumeStart() + c->fatOffset == sector) {
      c->flags |= CExFatPartitionEx::kFirstFat;
      return;
    }
  }
  for (const auto& c : m_candidates) {
    if (!(c->flags & CExFatPartitionEx::kBootFlags) || c->fatCount < 2) continue;
    if (c->GetVolumeStart() + c->fatOffset + c->fatLength == sector) {
      c->flags |= CExFatPartitionEx::kSecondFat;
      return;
    }
  }
}

void ExFatCandidateSet::Sort() {
  std::stable_sort(m_candidates.begin(), m_candidates.end(),
                   [](const std::unique_ptr<CExFatPartitionEx>& a, const std::unique_ptr<CExFatPartitionEx>& b) {
                     if (a->flags != b->flags) return a->flags > b->flags;
                     return a->groups.size() > b->groups.size();
                   });
}

void ExFatCandidateSet::Trim() {
  if (m_candidates.size() <= kMostCandidates) return;
  Sort();
  const uint64_t dropped = m_candidates.size() - kCandidatesKept;
  m_candidates.resize(kCandidatesKept);
  if (m_builder) m_builder->NoteCap("exFAT partition candidates", dropped);
}

void ExFatCandidateSet::Resolve() {
  Sort();
  bool anyAttached = false;
  for (const auto& c : m_candidates) {
    const uint64_t spc = c->GetClusterSectors();
    if (spc == 0) continue;
    const uint64_t heap = c->GetHeapStart();
    const uint64_t end = c->GetVolumeStart() + c->GetVolumeLength();
    for (ExFatDirectoryGroup* g : m_groups) {
      if (g->flags & ExFatDirectoryGroup::kClaimed) continue;
      if (g->firstSector < heap || g->firstSector + g->sectorCount > end) continue;
      if (!g->AcceptsClusterSectors(spc) || (g->firstSector - heap) % spc != 0) continue;
      const uint64_t cluster = (g->firstSector - heap) / spc + 2;
      if (g->IsRoot() && CExFatPartition::IsClusterNumber(c->GetRootCluster()) && cluster != c->GetRootCluster())
        continue;
      g->flags |= ExFatDirectoryGroup::kClaimed;
      c->groups.insert(g);
      c->alignedSectors.insert(g->firstSector);
      c->groupWeights[g->firstSector] = 1;
    }
    if (!c->groups.empty()) anyAttached = true;
  }
  if (anyAttached)
    m_candidates.erase(std::remove_if(m_candidates.begin(), m_candidates.end(),
                                      [](const std::unique_ptr<CExFatPartitionEx>& c) { return c->groups.empty(); }),
                       m_candidates.end());
}

void ExFatCandidateSet::CollectCandidates(std::vector<std::unique_ptr<CExFatPartitionEx>>& out) {
  if (!m_groups.empty()) Resolve();
  Sort();
  for (auto& c : m_candidates) {
    ScoreExFatCandidate(*c);
    c->SyncBaseFields();
    out.push_back(std::move(c));
  }
  m_candidates.clear();
}
