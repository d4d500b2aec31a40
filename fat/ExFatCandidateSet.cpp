#include "ExFatCandidateSet.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "CExFatDBR.h"
#include "CFileNode.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "RecycleBinNames.h"

namespace {

int Part(bool a, bool b) {
  return a && b ? 50 : (a || b ? 45 : 10);
}

// Folders this large or larger are not followed cluster by cluster.
constexpr uint64_t kLargestFolder = 0x10000000;

// "$R...", "#R...", "$I..." or "#I...".
bool IsRecycleName(const char* name) {
  if (!name || (name[0] != '$' && name[0] != '#')) return false;
  const char kind = static_cast<char>(toupper(static_cast<unsigned char>(name[1])));
  return kind == 'R' || kind == 'I';
}

bool IsDeletedNode(const CFileNode* node) {
  return node->GetProperties() && (node->GetProperties()->IsDeleted() & 1);
}

}  // namespace

int ScoreExFatCandidate(CExFatPartitionEx& c) {
  const int score = Part(c.flags & CExFatPartitionEx::kMainBoot, c.flags & CExFatPartitionEx::kBackupBoot) +
                    Part(c.flags & CExFatPartitionEx::kFirstFat, c.flags & CExFatPartitionEx::kSecondFat);
  c.groupCount = static_cast<uint32_t>(c.groups.size());
  c.SetScore(score);
  c.SetPoints(static_cast<uint64_t>(score));
  c.SetRecordMatchCount(c.groupCount);
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

CExFatPartitionEx* ExFatCandidateSet::Add(uint64_t volumeStart, uint64_t heap, const CExFatDBR& boot, uint32_t flags) {
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

void ExFatCandidateSet::RebuildExFatTree(CExFatPartitionEx& p, std::vector<CFileNode*>& out, IStorageDevice* device) {
  const uint64_t spc = p.GetClusterSectors();
  if (spc == 0) return;
  p.UpdateClusterSize();
  const uint64_t clusterBytes = p.GetClusterSize() ? p.GetClusterSize() : 512;
  const uint64_t heap = p.GetHeapStart();
  const uint64_t maxClusters = std::max<uint64_t>(1, kLargestFolder / clusterBytes);
  const uint64_t rootSector =
      CExFatPartition::IsClusterNumber(p.GetRootCluster()) ? p.ClusterToOffset(p.GetRootCluster()) : ~0ull;

  std::map<uint64_t, ExFatDirectoryGroup*> groups;  // by first sector
  for (ExFatDirectoryGroup* g : p.groups) groups.emplace(g->firstSector, g);

  // The folder each cluster belongs to, by the cluster's first sector. Live
  // folders are entered first: a cluster a deleted folder held and a live
  // one holds now is the live one's.
  struct Owner {
    int64_t id;
  };
  std::unordered_map<uint64_t, Owner> owners;
  auto enter = [&](uint32_t first, uint64_t clusters, bool contiguous, int64_t id) {
    uint32_t c = first;
    for (uint64_t i = 0; i < clusters && CExFatPartition::IsClusterNumber(c); ++i) {
      owners.emplace(p.ClusterToOffset(c), Owner{id});
      if (i + 1 < clusters) c = p.GetNextCluster(c, contiguous);
    }
  };
  // The root directory has no size of its own: its chain as far as the FAT
  // leads.
  if (rootSector != ~0ull) enter(p.GetRootCluster(), maxClusters, false, -1);
  for (bool live : {true, false})
    for (const auto& [sector, g] : groups)
      for (const ExFatEntrySetRecord& s : live ? g->inUse : g->deleted) {
        if (!(s.attributes & kFileAttributeDirectory) || s.size == 0 || s.size >= kLargestFolder) continue;
        if (!CExFatPartition::IsClusterNumber(s.firstCluster)) continue;
        enter(s.firstCluster, (s.size + clusterBytes - 1) / clusterBytes, s.noFatChain != 0,
              static_cast<int64_t>(p.ClusterToOffset(s.firstCluster)));
      }

  // A group chain's parent: the folder its first cluster belongs to, else
  // the chain's own first sector (the folder whose entry was not found).
  auto chainParent = [&](const ExFatDirectoryGroup* g) -> int64_t {
    if (g->firstSector == rootSector) return -1;
    const auto it = owners.find(g->firstSector);
    return it != owners.end() ? it->second.id : static_cast<int64_t>(g->firstSector);
  };
  auto createNodes = [&](const ExFatDirectoryGroup* g, int64_t parent) {
    for (const auto* list : {&g->inUse, &g->deleted})
      for (const ExFatEntrySetRecord& s : *list) {
        int64_t parentId = parent;
        if (s.position >= heap) {
          const auto it = owners.find(heap + (s.position - heap) / spc * spc);
          if (it != owners.end()) parentId = it->second.id;
        }
        CFileNode* node = p.CreateFileNode(s);
        if (!node) continue;
        if (!node->GetProperties()) {
          DestroyFileNode(node);
          continue;
        }
        node->SetId(static_cast<int64_t>(p.ClusterToOffset(s.firstCluster)));
        node->SetParentId(parentId);
        out.push_back(node);
      }
  };
  std::unordered_set<const ExFatDirectoryGroup*> done;
  for (const auto& [sector, g] : groups) {
    if (g->previous && p.groups.count(g->previous)) continue;
    const int64_t parent = chainParent(g);
    for (ExFatDirectoryGroup* at = g; at && p.groups.count(at) && done.insert(at).second; at = at->next)
      createNodes(at, parent);
  }
  // Continuations whose chain head is not this partition's, and chains
  // that loop.
  for (const auto& [sector, g] : groups)
    if (done.insert(g).second) createNodes(g, chainParent(g));

  // What lies in a deleted folder is deleted too.
  std::unordered_map<int64_t, const CFileNode*> folders;
  for (const CFileNode* n : out) {
    if (!(n->GetProperties()->GetAttributes() & kFileAttributeDirectory)) continue;
    auto [it, added] = folders.emplace(n->GetId(), n);
    if (!added && IsDeletedNode(it->second) && !IsDeletedNode(n)) it->second = n;
  }
  std::unordered_map<int64_t, bool> underDeleted;  // folder id: it or a folder above it is deleted
  auto isUnderDeleted = [&](int64_t id) {
    std::vector<int64_t> path;
    std::unordered_set<int64_t> seen;
    bool result = false;
    for (int64_t at = id; at != -1 && seen.insert(at).second;) {
      const auto known = underDeleted.find(at);
      if (known != underDeleted.end()) {
        result = known->second;
        break;
      }
      const auto folder = folders.find(at);
      if (folder == folders.end()) break;
      path.push_back(at);
      if (IsDeletedNode(folder->second)) {
        result = true;
        break;
      }
      at = folder->second->GetParentId();
    }
    for (int64_t at : path) underDeleted[at] = result;
    return result;
  };
  for (CFileNode* n : out)
    if (!IsDeletedNode(n) && isUnderDeleted(n->GetParentId())) n->GetProperties()->SetDeleted(1);

  // Recycled files take the names their information files hold.
  CRecyclePendingList pending;
  for (CFileNode* n : out) {
    if (!IsRecycleName(n->GetProperties()->GetName()) || IsRecycleBinFolder(n)) continue;
    CFileNode* partner = MatchRecyclePair(pending, n);
    if (!partner) continue;
    const bool info = IsRecycleInfoFile(n);
    RestoreRecycledName(device, info ? partner : n, info ? n : partner, heap, static_cast<uint32_t>(spc));
  }
}
