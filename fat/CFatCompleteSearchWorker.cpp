#include "CFatCompleteSearchWorker.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <deque>
#include <string>

#include "ByteOrder.h"
#include "CFATDataRunList.h"
#include "CFATDirEntry.h"
#include "CFATFileProperties.h"
#include "CFileSystemNode.h"
#include "CRawFileInfo.h"
#include "FatConfig.h"
#include "IFATTable.h"
#include "IRawFileAnalyser.h"
#include "IStorageDevice.h"
#include "RunLog.h"
#include "SafeAlloc.h"

namespace {

constexpr uint32_t kChainEnd = 0x0FFFFFF8;
constexpr uint32_t kLastData = 0x0FFFFFF7;
// A directory walk reads at most this many sectors at once (one cluster when
// clusters are larger).
constexpr uint64_t kRunSectors = 128;
// What IsKnownFileStart hands every analyser, zero-padded.
constexpr size_t kProbeBytes = 4096;
// Walks up the parent chain of a directory stop after this many steps.
constexpr int kMaxDepth = 4096;
// IsKnownFileStart reads this many bytes ahead at once: the deleted files of
// one directory mostly start close together.
constexpr uint64_t kProbeWindowBytes = 1u << 20;

// The clusters one chain walk has met: the first few in place (most files
// hold few clusters), a hash set beyond.
class VisitedClusters {
 public:
  explicit VisitedClusters(uint64_t first) { Insert(first); }
  VisitedClusters() = default;
  // False when the cluster was met already.
  bool Insert(uint64_t cluster) {
    if (m_set.empty()) {
      for (size_t i = 0; i < m_count; ++i)
        if (m_inline[i] == cluster) return false;
      if (m_count < kInline) {
        m_inline[m_count++] = cluster;
        return true;
      }
      m_set.insert(m_inline, m_inline + m_count);
    }
    return m_set.insert(cluster).second;
  }

 private:
  static constexpr size_t kInline = 16;
  uint64_t m_inline[kInline] = {};
  size_t m_count = 0;
  std::unordered_set<uint64_t> m_set;
};

CFATFileProperties* FatProps(const CFileNode* node) {
  return node ? dynamic_cast<CFATFileProperties*>(node->GetProperties()) : nullptr;
}

int64_t CalendarSeconds(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / 10000000u);
}

bool SameNameIgnoringCase(const char* a, const char* b) {
  if (!a || !b) return a == b;
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

const char* TypeName(int fatType) {
  switch (fatType) {
    case 0:
      return "FAT12";
    case 1:
      return "FAT16";
    case 2:
      return "FAT32";
    default:
      return "UNKNOWN";
  }
}

EFileSystemType TypeOf(int fatType) {
  switch (fatType) {
    case 0:
      return EFileSystemType::FAT12;
    case 1:
      return EFileSystemType::FAT16;
    case 2:
      return EFileSystemType::FAT32;
    default:
      return EFileSystemType::Unknown;
  }
}

}  // namespace

CFatCompleteSearchWorker::CFatCompleteSearchWorker(IStorageDevice* device, IFATTable* fat,
                                                   const FatRebuildGeometry& geometry)
    : m_device(device), m_fat(fat), m_geo(geometry) {
  m_sectorSize =
      device != nullptr && device->GetSectorSize() > 0 ? static_cast<uint32_t>(device->GetSectorSize()) : 512u;
  if (m_geo.sectorsPerCluster == 0) m_geo.sectorsPerCluster = 1;
  const uint64_t end = m_geo.partitionStart + m_geo.partitionSize;
  m_dataSectors = end > m_geo.dataStart ? end - m_geo.dataStart : 0;
  const uint64_t clusters = m_dataSectors / m_geo.sectorsPerCluster;
  // FAT32 cluster numbers have 28 bits.
  m_clusterEnd = std::min<uint64_t>(clusters + 2, kLastData);
  m_bytesPerCluster = static_cast<uint64_t>(m_sectorSize) * m_geo.sectorsPerCluster;
  m_used.assign(static_cast<size_t>(std::min<uint64_t>(clusters + 3, uint64_t(kLastData))), false);
  if (m_geo.fatType == 2) m_revise = ReadReviseSetting();
}

CFatCompleteSearchWorker::~CFatCompleteSearchWorker() {
  for (CFileNode* n : m_nodes) DeleteFileNode(n);
  for (CFileNode* n : m_retired) DeleteFileNode(n);
}

void CFatCompleteSearchWorker::SetRawAnalysers(std::vector<std::unique_ptr<IRawFileAnalyser>> analysers) {
  m_analysers = std::move(analysers);
}

std::vector<CFileNode*> CFatCompleteSearchWorker::TakeNodes() {
  std::vector<CFileNode*> out(m_nodes.begin(), m_nodes.end());
  m_nodes.clear();
  m_dirMap.clear();
  m_root = nullptr;
  m_lostFiles = nullptr;
  return out;
}

bool CFatCompleteSearchWorker::Stopped() const {
  return m_stop != nullptr && m_stop->load() != 0;
}

bool CFatCompleteSearchWorker::IsClusterStart(uint64_t sector) const {
  return sector >= m_geo.dataStart && (sector - m_geo.dataStart) % m_geo.sectorsPerCluster == 0;
}

uint64_t CFatCompleteSearchWorker::SectorToCluster(uint64_t sector) const {
  return sector < m_geo.dataStart ? 0 : (sector - m_geo.dataStart) / m_geo.sectorsPerCluster + 2;
}

uint64_t CFatCompleteSearchWorker::ClusterToSector(uint64_t cluster) const {
  return m_geo.dataStart + (cluster - 2) * m_geo.sectorsPerCluster;
}

uint32_t CFatCompleteSearchWorker::NextCluster(uint64_t cluster) const {
  if (m_fat == nullptr || !InData(cluster)) return 0;
  return m_fat->GetEntry(static_cast<uint32_t>(cluster));
}

bool CFatCompleteSearchWorker::ReadSectors(uint8_t* buffer, uint64_t sector, uint64_t count) {
  if (m_device == nullptr || count == 0) return false;
  const uint64_t end = m_geo.partitionStart + m_geo.partitionSize;
  if (sector < m_geo.partitionStart || sector > end || count > end - sector) return false;
  return m_device->ReadSectors(buffer, sector, count) != 0;
}

CFileNode* CFatCompleteSearchWorker::NewNode(CFATFileProperties* props, int64_t id, int64_t parentId) {
  CFileNode* node = CreateFileNode();
  node->SetProperties(props);
  node->SetId(id);
  node->SetParentId(parentId);
  m_nodes.insert(node);
  return node;
}

void CFatCompleteSearchWorker::DropNode(CFileNode* node) {
  if (node->GetParent() != nullptr) node->GetParent()->RemoveChild(node);
  m_nodes.erase(node);
  m_retired.push_back(node);
}

CFileNode* CFatCompleteSearchWorker::MakeFolder(const char* name, uint32_t firstCluster, uint32_t parentCluster,
                                                int64_t id, int64_t parentId) {
  CFATFileProperties* props = CreateFATFileProperties();
  props->SetName(name);
  props->SetAttributes(kFileAttributeDirectory);
  props->SetDeleted(kMadeUp);
  props->SetFirstCluster(firstCluster);
  props->SetParentCluster(parentCluster);
  return NewNode(props, id, parentId);
}

CFileNode* CFatCompleteSearchWorker::MakeNumberedFolder(uint32_t firstCluster, uint32_t parentCluster) {
  const std::string name = "DIR" + std::to_string(m_folderCounter++);
  return MakeFolder(name.c_str(), firstCluster, parentCluster, firstCluster, parentCluster);
}

CFileNode* CFatCompleteSearchWorker::LostFiles() {
  if (m_lostFiles == nullptr) {
    m_lostFiles = MakeFolder("Other lost files", kNoCluster, kNoCluster, kLostFilesId, 0);
    m_root->AddChild(m_lostFiles);
  }
  return m_lostFiles;
}

bool CFatCompleteSearchWorker::DirectoryInRecycleBin(const CFileNode* dir) const {
  // A folder not linked yet is found through the clusters its ".." names.
  for (int depth = 0; dir != nullptr && depth < kMaxDepth; ++depth) {
    if (IsRecycleBinFolder(dir)) return true;
    if (dir->GetParent() != nullptr) {
      dir = dir->GetParent();
      continue;
    }
    const CFATFileProperties* p = FatProps(dir);
    if (p == nullptr || p->GetParentCluster() == kNoCluster) return false;
    auto it = m_dirMap.find(p->GetParentCluster());
    dir = it == m_dirMap.end() || it->second == dir ? nullptr : it->second;
  }
  return false;
}

int64_t CFatCompleteSearchWorker::RebuildDirectories(const uint8_t* bytes, size_t length, CFileNode* dir,
                                                     std::vector<CFileNode*>* dirs, std::vector<CFileNode*>* dirs2,
                                                     std::vector<CFileNode*>* files, bool stopAtInvalid,
                                                     bool takeLive) {
  CFATFileProperties* dirProps = FatProps(dir);
  if (bytes == nullptr || dir == nullptr || dirProps == nullptr) return -1;
  const bool dirDeleted = dirProps->IsDeleted() == kDeleted;
  const uint32_t dirCluster = dirProps->GetFirstCluster();
  const bool inRecycleBin = DirectoryInRecycleBin(dir);
  const size_t whole = length - length % CFATDirEntry::kSize;
  int64_t runStart = -1;
  int dotEntries = 0;

  for (size_t off = 0; off < whole; off += CFATDirEntry::kSize) {
    const CFATDirEntry entry(bytes + off);
    if (!entry.IsValid(0)) {
      runStart = -1;
      if (stopAtInvalid) return static_cast<int64_t>(length);
      continue;
    }
    if (entry.IsLongNameEntry()) {
      if (runStart < 0) runStart = static_cast<int64_t>(off);
      continue;
    }
    if (entry.IsVolumeLabel()) {
      runStart = -1;
      if (!stopAtInvalid && m_root != nullptr) {
        std::string label;
        entry.GetShortName(label, 1);
        m_root->SetName(label.c_str());
      }
      continue;
    }
    // Only "." and ".." start an 8.3 name with a dot; long names such as
    // ".git" are ordinary entries.
    if (bytes[off] == '.') {
      runStart = -1;
      if (++dotEntries > 2) return -1;
      continue;
    }
    if (!takeLive && !dirDeleted && !entry.IsDeleted() && !entry.IsDirectory()) {
      runStart = -1;
      continue;
    }
    uint64_t cluster = entry.GetFirstCluster();
    if (m_geo.fatType != 2) cluster &= 0xFFFF;
    if (cluster > 2 && (cluster - 2) * m_geo.sectorsPerCluster >= m_dataSectors) {
      runStart = -1;
      if (stopAtInvalid) return static_cast<int64_t>(length);
      continue;
    }
    if (cluster >= 2 && cluster == dirCluster) {
      runStart = -1;
      continue;
    }
    const size_t from = runStart >= 0 ? static_cast<size_t>(runStart) : off;
    runStart = -1;
    CFATFileProperties* props = CreateFATFilePropertiesFromEntries(bytes + from, off + CFATDirEntry::kSize - from);
    if (props == nullptr) continue;
    if (dirDeleted) props->SetDeleted(kDeleted);
    props->SetParentCluster(dirCluster);
    props->SetFirstCluster(static_cast<uint32_t>(cluster));
    CFileNode* node = NewNode(props, static_cast<int64_t>(cluster), dir->GetId());

    if (entry.IsDirectory()) {
      DebugTrace("Find directory: %s at cluster :%" PRIx64 ", parent :%x", props->GetName(), cluster, dirCluster);
      auto it = cluster >= 2 ? m_dirMap.find(cluster) : m_dirMap.end();
      if (it != m_dirMap.end()) {
        CFileNode* existing = it->second;
        CFATFileProperties* old = FatProps(existing);
        // An entry naming this directory or one above it would close a loop.
        bool above = false;
        for (CFileNode* up = dir; up != nullptr && !above; up = up->GetParent()) above = up == existing;
        if (above || (old != nullptr && CompareDirectoryCandidates(*old, *props) >= 0)) {
          DebugTrace("Discard a directory named %s, cur:%" PRIx64 ", parent:%x", props->GetName(), cluster, dirCluster);
          DropNode(node);
          continue;
        }
        if (stopAtInvalid) {
          // The existing folder stays where it is and takes the new entry.
          props->SetParentCluster(old != nullptr ? old->GetParentCluster() : dirCluster);
          props->AddRef();
          existing->SetProperties(props);
          DropNode(node);
          continue;
        }
        if (existing->GetParent() != nullptr) existing->GetParent()->RemoveChild(existing);
        while (CFileNode* child = existing->GetFirstChild()) {
          existing->RemoveChild(child);
          node->AddChild(child);
        }
        if (existing == m_lostFiles) m_lostFiles = nullptr;
        it->second = node;
        DropNode(existing);
      } else if (cluster >= 2) {
        m_dirMap.emplace(cluster, node);
      }
      if (dirs) dirs->push_back(node);
      if (dirs2) dirs2->push_back(node);
    } else {
      DebugTrace("Found a File %s!", props->GetName());
      if (props->GetFileSize() > 0) {
        IDataRunList* runs =
            BuildFileDataRuns(cluster, static_cast<uint64_t>(props->GetFileSize()), props->IsDeleted() != 0);
        if (runs == nullptr) {
          DebugTrace("Failed build Datarun list!");
          DropNode(node);
          continue;
        }
        props->SetDataRunList(runs);
      }
      if (files) files->push_back(node);
    }
    dir->AddChild(node);
    node->SetId(static_cast<int64_t>(cluster));
    if (inRecycleBin) {
      if (CFileNode* partner = MatchRecyclePair(m_recyclePending, node)) {
        const bool nodeIsInfo = IsRecycleInfoFile(node);
        CFileNode* data = nodeIsInfo ? partner : node;
        CFileNode* info = nodeIsInfo ? node : partner;
        RestoreRecycledName(m_device, data, info, m_geo.dataStart, m_geo.sectorsPerCluster);
      }
    }
  }
  if (runStart < 0) return static_cast<int64_t>(length);
  ReleaseTrace("Unporcessed long file name directory entry at %" PRId64, runStart);
  return runStart;
}

int CFatCompleteSearchWorker::CompareDirectoryCandidates(const CFATFileProperties& a, const CFATFileProperties& b) {
  const uint8_t da = a.IsDeleted();
  const uint8_t db = b.IsDeleted();
  const bool aMadeUp = (da & 8) != 0;
  const bool bMadeUp = (db & 8) != 0;
  if (aMadeUp) return bMadeUp ? 0 : -1;
  if (da != 0) {
    if (bMadeUp) return 1;
    if (db == 0) return -1;
    const int64_t ta = CalendarSeconds(a.GetModificationTime());
    const int64_t tb = CalendarSeconds(b.GetModificationTime());
    if (ta != tb) return ta < tb ? -1 : 1;
    return SameNameIgnoringCase(a.GetName(), b.GetName()) ? 0 : -1;
  }
  if (db != 0) return 1;
  ReleaseTrace(
      "Some thing must be wrong! \t\t\t\t\t\t\tWe found two undeleted directory got the same first cluster "
      "number!");
  return 0;
}

bool CFatCompleteSearchWorker::ProcessPendingBuffers(CFileNode* dir, uint64_t cluster, std::vector<CFileNode*>& queue,
                                                     bool isRoot, bool takeLive) {
  const uint64_t spc = m_geo.sectorsPerCluster;
  const uint64_t maxRun = std::max<uint64_t>(1, kRunSectors / spc);
  const size_t carryRoom = (kMaxCarry + m_sectorSize) / m_sectorSize * m_sectorSize;
  std::vector<uint8_t> buffer(static_cast<size_t>(maxRun * spc * m_sectorSize) + carryRoom);
  const uint64_t first = cluster;
  size_t carry = 0;
  bool walked = false;
  CFATFileProperties* dirProps = FatProps(dir);

  while (cluster != 0 && cluster < kChainEnd) {
    if (!InData(cluster)) break;
    if (m_visited.count(cluster)) {
      if (!walked) return false;
      break;
    }
    // The clusters that follow each other in the FAT, up to kRunSectors.
    uint64_t length = 1;
    uint64_t cur = cluster;
    uint64_t next = NextCluster(cur);
    while (next == cur + 1 && length < maxRun && InData(next) && !m_visited.count(next)) {
      cur = next;
      ++length;
      next = NextCluster(cur);
    }
    uint8_t* at = buffer.data() + carry;
    if (!ReadSectors(at, ClusterToSector(cluster), length * spc)) {
      if (!walked) return false;
      break;
    }
    for (uint64_t c = cluster; c < cluster + length; ++c) m_visited.insert(c);
    const size_t bytes = carry + static_cast<size_t>(length * spc * m_sectorSize);
    if (cluster == first) {
      const CFATDirEntry dot(buffer.data());
      const CFATDirEntry dotDot(buffer.data() + CFATDirEntry::kSize);
      if (IsDotEntry(dot) == isRoot || IsDotDotEntry(dotDot) == isRoot) return false;
    }
    std::vector<CFileNode*> dirs;
    std::vector<CFileNode*> files;
    const int64_t used = RebuildDirectories(buffer.data(), bytes, dir, &dirs, nullptr, &files, false, takeLive);
    if (used < 0) return walked;
    walked = true;
    const size_t left = bytes - static_cast<size_t>(used);
    if (left >= 1 && left <= kMaxCarry) {
      ReleaseTrace("Found unproessed buffer, lengh:%zu bytes", left);
      std::memmove(buffer.data(), buffer.data() + used, left);
      carry = left;
    } else {
      carry = 0;
    }
    if (m_revise) {
      for (CFileNode* d : dirs) {
        const CFATFileProperties* p = FatProps(d);
        if (p != nullptr && p->IsDeleted() == 0) queue.push_back(d);
      }
      if (m_geo.fatType == 2 && dirProps != nullptr && dirProps->GetFirstCluster() < 0x10000)
        ReviseDeletedFiles(dir, files);
    }
    cluster = next;
  }
  return walked;
}

void CFatCompleteSearchWorker::ReviseDeletedFiles(CFileNode* dir, const std::vector<CFileNode*>& files) {
  // The directory's children in directory order (AddChild puts each first).
  std::vector<CFileNode*> children;
  for (CFileNode* c = dir->GetFirstChild(); c != nullptr; c = c->GetNextSibling()) children.push_back(c);
  std::reverse(children.begin(), children.end());
  for (CFileNode* file : files) {
    CFATFileProperties* props = FatProps(file);
    if (props == nullptr || props->IsDeleted() == 0 || props->GetFirstCluster() >= 0x10000) continue;
    if (IsKnownFileStart(props->GetFirstCluster())) continue;
    std::vector<FatSiblingInfo> siblings;
    size_t order = 0;
    for (CFileNode* c : children) {
      if (c == file) {
        order = siblings.size();
        continue;
      }
      const CFATFileProperties* p = FatProps(c);
      if (p == nullptr || (p->IsDeleted() & 8) != 0) continue;
      FatSiblingInfo s;
      s.firstCluster = p->GetFirstCluster();
      s.size = static_cast<uint64_t>(std::max<int64_t>(0, p->GetFileSize()));
      s.creationSeconds = CalendarSeconds(p->GetCreationTime());
      s.deleted = p->IsDeleted() != 0;
      s.directory = (p->GetAttributes() & kFileAttributeDirectory) != 0;
      siblings.push_back(s);
    }
    const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(0, props->GetFileSize()));
    const uint64_t guess = GuessClusterHighWord(siblings, size, props->GetFirstCluster(),
                                                CalendarSeconds(props->GetCreationTime()), order, m_bytesPerCluster);
    if (guess == props->GetFirstCluster() || !InData(guess) || size == 0) continue;
    IDataRunList* runs = BuildFileDataRuns(guess, size, true);
    if (runs == nullptr) continue;
    props->SetFirstCluster(static_cast<uint32_t>(guess));
    props->SetDataRunList(runs);
    file->SetId(static_cast<int64_t>(guess));
  }
}

uint64_t CFatCompleteSearchWorker::GuessClusterHighWord(const std::vector<FatSiblingInfo>& siblings, uint64_t size,
                                                        uint64_t firstCluster, int64_t creationSeconds, size_t order,
                                                        uint64_t bytesPerCluster) {
  if (firstCluster >= 0x10000) return firstCluster;
  const uint64_t low = firstCluster & 0xFFFF;
  if (bytesPerCluster == 0) return low;
  auto dataEnd = [bytesPerCluster](const FatSiblingInfo& s) {
    return s.firstCluster + (s.size + bytesPerCluster - 1) / bytesPerCluster;
  };
  auto distance = [creationSeconds](const FatSiblingInfo& s) {
    const int64_t d = s.creationSeconds - creationSeconds;
    return static_cast<uint64_t>(d < 0 ? -d : d);
  };
  // Siblings are ranked by (time, directory order); the file sits at
  // (creationSeconds, order) between them.
  auto before = [&](size_t i) {
    const FatSiblingInfo& s = siblings[i];
    return s.creationSeconds < creationSeconds || (s.creationSeconds == creationSeconds && i < order);
  };
  // Nearer in time first, then nearer in directory order, then earlier.
  auto nearer = [&](size_t i, size_t j) {
    const uint64_t di = distance(siblings[i]), dj = distance(siblings[j]);
    if (di != dj) return di < dj;
    const size_t oi = i < order ? order - i : i + 1 - order;
    const size_t oj = j < order ? order - j : j + 1 - order;
    if (oi != oj) return oi < oj;
    return i < j;
  };
  constexpr size_t kNone = SIZE_MAX;
  size_t nearestDeleted = kNone, earlier = kNone, later = kNone, highest = kNone;
  for (size_t i = 0; i < siblings.size(); ++i) {
    const FatSiblingInfo& s = siblings[i];
    if (s.size / 10 > 0x19000000u) continue;
    if (s.deleted) {
      if (nearestDeleted == kNone || nearer(i, nearestDeleted)) nearestDeleted = i;
      continue;
    }
    if (before(i)) {
      if (earlier == kNone || nearer(i, earlier)) earlier = i;
    } else if (later == kNone || nearer(i, later)) {
      later = i;
    }
    if (highest == kNone || s.firstCluster > siblings[highest].firstCluster) highest = i;
  }
  if (nearestDeleted != kNone && siblings[nearestDeleted].firstCluster > 0x10000 && size > 0)
    return (dataEnd(siblings[nearestDeleted]) & ~uint64_t(0xFFFF)) | low;

  const uint64_t limit = highest == kNone              ? 0
                         : siblings[highest].directory ? siblings[highest].firstCluster
                                                       : dataEnd(siblings[highest]);
  const uint64_t highEarlier = earlier == kNone ? 0 : siblings[earlier].firstCluster >> 16;
  const uint64_t highLater = later == kNone ? 0 : siblings[later].firstCluster >> 16;
  const uint64_t dEarlier = earlier == kNone ? UINT64_MAX : distance(siblings[earlier]);
  const uint64_t dLater = later == kNone ? UINT64_MAX : distance(siblings[later]);
  const bool earlierAsNear = dEarlier <= dLater;
  auto fits = [&](uint64_t high) { return ((high << 16) | low) <= limit && limit > 0xFFFF; };

  if (highEarlier != 0 && highLater != 0) return ((earlierAsNear ? highEarlier : highLater) << 16) | low;
  if (highEarlier != 0) return earlierAsNear || fits(highEarlier) ? (highEarlier << 16) | low : low;
  if (highLater != 0) {
    bool use = fits(highLater);
    if (use && earlier != kNone && earlierAsNear) use = dataEnd(siblings[earlier]) > 0x10000;
    return use ? (highLater << 16) | low : low;
  }
  if (earlier != kNone && later == kNone && dataEnd(siblings[earlier]) > 0x10000) return low + 0x10000;
  return low;
}

void CFatCompleteSearchWorker::RebuildRoot() {
  if (!m_geo.rebuildRoot || m_root == nullptr) return;
  if (m_geo.fatType == 2) {
    std::vector<CFileNode*> queue;
    ProcessPendingBuffers(m_root, m_geo.rootCluster, queue, true, true);
    return;
  }
  // A fixed root holds at most 65535 entries.
  const uint64_t maxSectors = (65535u * CFATDirEntry::kSize + m_sectorSize - 1) / m_sectorSize;
  const uint64_t sectors = std::min<uint64_t>(m_geo.rootDirSectors, maxSectors);
  if (sectors == 0) return;
  std::vector<uint8_t> buffer(static_cast<size_t>(sectors * m_sectorSize));
  if (!ReadSectors(buffer.data(), m_geo.rootStart, sectors)) return;
  RebuildDirectories(buffer.data(), buffer.size(), m_root, nullptr, nullptr, nullptr, false, true);
}

IDataRunList* CFatCompleteSearchWorker::BuildFileDataRuns(uint64_t firstCluster, uint64_t size, bool deletedFile) {
  auto* list = new CFATDataRunList;
  const uint64_t spc = m_geo.sectorsPerCluster;
  auto fitsData = [&](const DataRun& run) {
    return run.start <= m_dataSectors / spc && run.length <= m_dataSectors / spc - run.start;
  };
  if (deletedFile && m_fat != nullptr) {
    // Free entries (0) are taken for the next cluster; set entries are
    // followed, whoever's chain they belong to now.
    VisitedClusters seen;
    uint64_t cur = firstCluster, gathered = 0;
    while (cur >= 2 && gathered < size && InData(cur) && seen.Insert(cur)) {
      list->AppendMerged(DataRun{cur - 2, 1});
      gathered += m_bytesPerCluster;
      uint64_t next = m_fat->GetEntry(static_cast<uint32_t>(cur));
      if (next == 0) next = cur + 1;
      if (next >= kChainEnd) break;
      cur = next;
    }
    if (list->GetRunCount() == 0) {
      delete list;
      return nullptr;
    }
    return list;
  }
  if (firstCluster < 2 || !InData(firstCluster)) {
    delete list;
    return nullptr;
  }
  const bool followFat = m_fat != nullptr && !deletedFile;
  VisitedClusters seen(firstCluster);
  DataRun run{firstCluster - 2, 1};
  uint64_t gathered = 0, cur = firstCluster;
  for (;;) {
    const uint64_t next = followFat ? m_fat->GetEntry(static_cast<uint32_t>(cur)) : 0;
    if (next < 2 || next > kLastData || !InData(next) || !seen.Insert(next)) {
      run.length = (size - gathered + m_bytesPerCluster - 1) / m_bytesPerCluster;
      if (!fitsData(run)) {
        ReleaseTrace("File overflows partition!");
        delete list;
        return nullptr;
      }
      if (run.length > 0) list->AppendMerged(run);
      break;
    }
    if (next == cur + 1) {
      ++run.length;
    } else {
      if (!fitsData(run)) {
        ReleaseTrace("File overflows partition!");
        delete list;
        return nullptr;
      }
      list->AppendMerged(run);
      gathered += run.length * m_bytesPerCluster;
      if (gathered >= size) break;
      run = DataRun{next - 2, 1};
    }
    cur = next;
  }
  if (list->GetRunCount() == 0) {
    delete list;
    return nullptr;
  }
  for (const DataRun& r : list->Runs())
    for (uint64_t i = r.start; i < r.start + r.length && i < m_used.size(); ++i) m_used[static_cast<size_t>(i)] = true;
  return list;
}

void CFatCompleteSearchWorker::BuildLostClusters(CFileNode* lostFiles, const std::vector<FatDirectoryStart>& starts) {
  std::vector<uint8_t> buffer(static_cast<size_t>(m_geo.sectorsPerCluster) * m_sectorSize);
  const uint64_t end = m_geo.partitionStart + m_geo.partitionSize;
  for (const FatDirectoryStart& s : starts) {
    if (Stopped()) return;
    if (s.sector < m_geo.dataStart || s.sector >= end || s.dotCluster != -1 || !IsClusterStart(s.sector)) continue;
    const uint64_t cluster = SectorToCluster(s.sector);
    if (!InData(cluster) || m_visited.count(cluster)) continue;
    if (!ReadSectors(buffer.data(), s.sector, m_geo.sectorsPerCluster)) continue;
    m_visited.insert(cluster);
    ReleaseTrace("Build Lost Cluster %" PRIu64 " Sector %" PRId64, cluster, static_cast<int64_t>(s.sector));
    CFileNode* folder = MakeNumberedFolder(static_cast<uint32_t>(s.dotCluster), static_cast<uint32_t>(s.dotDotCluster));
    lostFiles->AddChild(folder);
    RebuildDirectories(buffer.data(), buffer.size(), folder, nullptr, nullptr, nullptr, true, true);
  }
}

bool CFatCompleteSearchWorker::IsKnownFileStart(uint64_t cluster) {
  if (cluster >= 65537) return true;
  if (!InData(cluster)) return false;
  m_probe.assign(std::max<size_t>(kProbeBytes, m_sectorSize), 0);
  const uint64_t sector = ClusterToSector(cluster);
  if (const uint8_t* ahead = ProbeWindow(sector))
    std::memcpy(m_probe.data(), ahead, m_sectorSize);
  else if (!ReadSectors(m_probe.data(), sector, 1))
    return false;
  auto matches = [this](IRawFileAnalyser* analyser) {
    CRawFileInfo scratch;
    try {
      return analyser && analyser->MatchHeader(m_probe.data(), &scratch);
    } catch (...) {
      // An analyser that throws did not match.
      return false;
    }
  };
  for (const auto& analyser : m_analysers)
    if (matches(analyser.get())) return true;
  for (IRawFileAnalyser* analyser : m_borrowedAnalysers)
    if (matches(analyser)) return true;
  return IsPEImage(m_probe.data(), m_sectorSize);
}

void CFatCompleteSearchWorker::FreeWindow::operator()(uint8_t* p) const {
  FreeBuffer(p);
}

const uint8_t* CFatCompleteSearchWorker::ProbeWindow(uint64_t sector) {
  auto inside = [sector](uint64_t first, uint64_t count) { return sector >= first && sector - first < count; };
  if (inside(m_windowFirst, m_windowSectors)) return m_window.get() + (sector - m_windowFirst) * m_sectorSize;
  // Inside a window that did not read: the sectors are read one by one.
  if (inside(m_failedFirst, m_failedSectors)) return nullptr;
  const uint64_t end = m_geo.partitionStart + m_geo.partitionSize;
  if (sector >= end) return nullptr;
  const uint64_t count = std::min<uint64_t>(std::max<uint64_t>(1, kProbeWindowBytes / m_sectorSize), end - sector);
  const size_t bytes = static_cast<size_t>(count * m_sectorSize);
  if (bytes > m_windowBytes) {
    m_window.reset(AllocBuffer(static_cast<uint32_t>(bytes)));
    m_windowBytes = bytes;
  }
  if (!ReadSectors(m_window.get(), sector, count)) {
    m_windowSectors = 0;
    m_failedFirst = sector;
    m_failedSectors = count;
    return nullptr;
  }
  m_windowFirst = sector;
  m_windowSectors = count;
  return m_window.get();
}

bool CFatCompleteSearchWorker::IsPEImage(const uint8_t* bytes, uint64_t length) {
  if (bytes == nullptr || length < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  const uint64_t p = ReadLE32(bytes + 60);
  return p + 2 <= length && bytes[p] == 'P' && bytes[p + 1] == 'E';
}

void CFatCompleteSearchWorker::PlaceOrphans() {
  std::vector<CFileNode*> orphans;
  for (const auto& [cluster, node] : m_dirMap)
    if (node != m_root && node->GetParent() == nullptr) orphans.push_back(node);
  for (CFileNode* node : orphans) {
    const CFATFileProperties* p = FatProps(node);
    if (p == nullptr || p->GetParentCluster() == kNoCluster) continue;
    auto it = m_dirMap.find(p->GetParentCluster());
    CFileNode* parent = it != m_dirMap.end() ? it->second : nullptr;
    // A parent below the node itself would close a loop.
    for (CFileNode* up = parent; up != nullptr; up = up->GetParent())
      if (up == node) {
        parent = nullptr;
        break;
      }
    (parent != nullptr ? parent : LostFiles())->AddChild(node);
  }
}

void CFatCompleteSearchWorker::ReplaceTempDirectory(CFileNode* node) {
  std::vector<CFileNode*> madeUp, deletedEmpty;
  for (CFileNode* c = node->GetFirstChild(); c != nullptr; c = c->GetNextSibling()) {
    const CFATFileProperties* p = FatProps(c);
    if (p == nullptr || (p->GetAttributes() & kFileAttributeDirectory) == 0 || c == m_lostFiles) continue;
    if (p->IsDeleted() == kMadeUp)
      madeUp.push_back(c);
    else if (p->IsDeleted() == kDeleted && c->GetFirstChild() == nullptr)
      deletedEmpty.push_back(c);
  }
  std::vector<bool> used(madeUp.size(), false);
  for (CFileNode* empty : deletedEmpty) {
    CFATFileProperties* p = FatProps(empty);
    for (size_t i = 0; i < madeUp.size(); ++i) {
      CFATFileProperties* q = FatProps(madeUp[i]);
      if (used[i] || q->GetFirstCluster() == kNoCluster || (q->GetFirstCluster() & 0xFFFF) != p->GetFirstCluster())
        continue;
      used[i] = true;
      ReleaseTrace("Replace a temp directory %s first clusternum %x with directory %s firstclusternum %x!",
                   q->GetName(), q->GetFirstCluster(), p->GetName(), p->GetFirstCluster());
      p->SetFirstCluster(q->GetFirstCluster());
      p->AddRef();
      q->AddRef();
      madeUp[i]->SetProperties(p);
      empty->SetProperties(q);
      madeUp[i]->SetId(static_cast<int64_t>(p->GetFirstCluster()));
      // The folder now named by the entry holds the contents; the empty
      // shell left with the made-up name goes.
      for (auto m = m_dirMap.begin(); m != m_dirMap.end(); ++m)
        if (m->second == empty) {
          m_dirMap.erase(m);
          break;
        }
      DropNode(empty);
      break;
    }
  }
}

CFileSystemNode* CFatCompleteSearchWorker::Run(const std::vector<FatDirectoryStart>& unsorted) {
  std::vector<FatDirectoryStart> starts(unsorted);
  std::stable_sort(starts.begin(), starts.end(),
                   [](const FatDirectoryStart& a, const FatDirectoryStart& b) { return a.sector < b.sector; });

  m_root = CreateFileSystemNode();
  m_root->SetName(TypeName(m_geo.fatType));
  m_root->SetPartitionGeometry(m_geo.dataStart, static_cast<int>(m_geo.sectorsPerCluster));
  m_root->SetFileSystemType(TypeOf(m_geo.fatType));
  CFATFileProperties* rootProps = CreateFATFileProperties();
  rootProps->SetName(TypeName(m_geo.fatType));
  rootProps->SetAttributes(kFileAttributeDirectory);
  rootProps->SetFirstCluster(0);
  rootProps->SetParentCluster(kNoCluster);
  m_root->SetProperties(rootProps);
  m_root->SetId(0);
  m_nodes.insert(m_root);
  RebuildRoot();
  m_dirMap[0] = m_root;

  const uint64_t end = m_geo.partitionStart + m_geo.partitionSize;
  uint64_t windowStart = m_geo.dataStart;
  if (m_geo.fatType != 2 && !m_geo.rebuildRoot) {
    const uint64_t back = 131072 / m_sectorSize;
    windowStart = m_geo.dataStart > back ? m_geo.dataStart - back : 0;
  }
  std::vector<uint8_t> sector(m_sectorSize);
  std::vector<CFileNode*> queue;
  for (const FatDirectoryStart& s : starts) {
    if (Stopped()) break;
    if (s.sector < windowStart || s.sector >= end) continue;
    if (s.sector < m_geo.dataStart) {
      if (ReadSectors(sector.data(), s.sector, 1))
        RebuildDirectories(sector.data(), sector.size(), m_root, nullptr, nullptr, nullptr, true, true);
      continue;
    }
    const uint64_t cluster = SectorToCluster(s.sector);
    if (s.dotCluster < 2 || static_cast<uint64_t>(s.dotCluster) != cluster || !IsClusterStart(s.sector)) continue;
    ReleaseTrace("Build Cluster %" PRIu64 " Sector %" PRId64, cluster, static_cast<int64_t>(s.sector));
    auto it = m_dirMap.find(cluster);
    const bool made = it == m_dirMap.end();
    CFileNode* node =
        made ? MakeNumberedFolder(static_cast<uint32_t>(cluster), static_cast<uint32_t>(s.dotDotCluster)) : it->second;
    if (made) m_dirMap.emplace(cluster, node);
    if (ProcessPendingBuffers(node, cluster, queue, false, true)) continue;
    if (Stopped()) break;
    const CFATFileProperties* p = FatProps(node);
    bool found = false;
    if (m_geo.fatType == 2 && p != nullptr && p->IsDeleted() == kDeleted) {
      // A deleted entry that lost the high word of its cluster.
      const uint64_t low = cluster & 0xFFFF;
      for (uint64_t i = 0; i < cluster / 65536 + 50 && !found && !Stopped(); ++i) {
        const uint64_t candidate = i * 65536 + low;
        if (candidate == cluster || !InData(candidate)) continue;
        found = ProcessPendingBuffers(node, candidate, queue, false, true);
        if (found) {
          FatProps(node)->SetFirstCluster(static_cast<uint32_t>(candidate));
          node->SetId(static_cast<int64_t>(candidate));
          m_dirMap.erase(cluster);
          m_dirMap.emplace(candidate, node);
        }
      }
    }
    if (!found && made && node->GetFirstChild() == nullptr) {
      m_dirMap.erase(cluster);
      DropNode(node);
    }
  }

  PlaceOrphans();
  BuildLostClusters(LostFiles(), starts);
  if (m_lostFiles != nullptr && m_lostFiles->GetFirstChild() == nullptr) {
    DropNode(m_lostFiles);
    m_lostFiles = nullptr;
  }

  std::deque<CFileNode*> pending{m_root};
  size_t done = 0;
  while (!pending.empty()) {
    CFileNode* node = pending.front();
    pending.pop_front();
    ReplaceTempDirectory(node);
    for (CFileNode* c = node->GetFirstChild(); c != nullptr; c = c->GetNextSibling())
      if (c->GetFirstChild() != nullptr) pending.push_back(c);
    if (++done > 5) m_progress = std::max(m_progress, static_cast<int>(done * 100 / (done + pending.size())));
  }
  m_progress = 100;
  return m_root;
}
