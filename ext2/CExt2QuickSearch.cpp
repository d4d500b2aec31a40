#include "CExt2QuickSearch.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <exception>

#include "CExt2BlockIterator.h"
#include "CExt2DataRunList.h"
#include "CExt2DirEntryIterator.h"
#include "CExt2FileProperties.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"
#include "CExt2InodeIterator.h"
#include "CFileSystemNode.h"
#include "CScanOptions.h"
#include "Ext2Exceptions.h"
#include "IDirecotryTreeBuilder.h"
#include "IScanProgressSink.h"
#include "IStorageDevice.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"

namespace {
constexpr uint32_t kRootInode = 2;
// The sink is asked whether to go on once per this many steps.
constexpr uint64_t kPollInterval = 256;
// A chain of parents longer than this is taken for a loop.
constexpr int kMaxDepth = 4096;

CExt2FileProperties* Ext2Properties(CFileNode* node) {
  return node ? dynamic_cast<CExt2FileProperties*>(node->GetProperties()) : nullptr;
}
}  // namespace

CExt2QuickSearch::CExt2QuickSearch() : m_partition(std::make_unique<CSearchedPartitionInfo>(512)) {}

CExt2QuickSearch::~CExt2QuickSearch() {
  ClearState();
}

CExt2QuickSearch* CExt2QuickSearch::Create() {
  return new CExt2QuickSearch();
}

void CExt2QuickSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.push_back(m_partition.get());
}

const char* CExt2QuickSearch::TypeText(EFileSystemType type) {
  if (type == EFileSystemType::Ext2) return "Ext2";
  if (type == EFileSystemType::Ext3) return "Ext3";
  return "Ext?";
}

void CExt2QuickSearch::ClearState() {
  for (auto& [inode, node] : m_unplaced) DestroyFileNode(node);
  m_unplaced.clear();
  for (auto& [inode, entry] : m_seen) entry.directory->Release();
  m_seen.clear();
  m_parents.clear();
  m_names.Clear();
  m_lookup.reset();
  m_buildStopped = false;
  m_stopped = false;
  m_scanDone = 0;
  m_scanTotal = 0;
}

bool CExt2QuickSearch::IsCancelled() {
  if (m_stopped) return true;
  if (m_cancel && m_cancel->load() != 0) m_stopped = true;
  return m_stopped;
}

int CExt2QuickSearch::QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) {
  if (!volume || !sink) return ext2_search::kBadArgument;
  m_sink = sink;
  m_lastError.clear();
  const int sectorSize = volume->GetSectorSize();
  IStorageDevice* device = sectorSize == 512 ? volume : volume->Get512ByteDevice();
  std::unique_ptr<CExt2FileSystem> fs;
  try {
    if (!device) throw CExt2ReadSectorError();
    fs = std::make_unique<CExt2FileSystem>(device, 2);
  } catch (const CExt2UnsupportedFeature& e) {
    m_lastError = e.what();
    LogError("Ext2 search refused the volume: %s", e.what());
    return ext2_search::kUnsupportedFeature;
  } catch (const std::exception& e) {
    ReportExt2Exception(e);
    m_lastError = "no Ext2, Ext3 or Ext4 file system could be opened on the volume";
    return ext2_search::kCannotOpen;
  }
  if (!fs->HasGroupDescriptors()) {
    m_lastError = "the file system's group descriptors were not read";
    return ext2_search::kCannotOpen;
  }
  // The volume's own geometry, in its own sectors: block 0 at its start.
  const uint32_t blockSize = fs->GetSuperBlock().GetBlockSize();
  const uint32_t ownSector = sectorSize > 0 ? static_cast<uint32_t>(sectorSize) : 512;
  m_partition = std::make_unique<CSearchedPartitionInfo>(static_cast<int>(ownSector));
  m_partition->SetType(fs->GetFileSystemType());
  m_partition->SetSectorsPerCluster(std::max<uint32_t>(1, blockSize / ownSector));
  m_partition->SetClusterStartSector(0);
  m_partition->SetStartSector(0);
  m_partition->SetSectorCount(volume->GetSectorCount());
  m_partition->SetScore(1.0);
  if (!sink->ShouldContinue()) return 0;
  SearchFileSystem(*fs);
  SendScanStatus(m_sink, EScanStatusKind::Progress, m_scanTotal, m_scanTotal);
  return 0;
}

CFileNode* CExt2QuickSearch::SearchFileSystem(const CExt2FileSystem& fs) {
  ClearState();
  const CExt2SuperBlock super = fs.GetSuperBlock();
  const uint64_t begin = CExt2InodeIterator::Begin(super), end = CExt2InodeIterator::End(super);
  m_scanTotal = end > begin ? end - begin : 0;
  CFileSystemNode* root = CreateVolumeNode(fs);
  try {
    ScanAllInodes(fs);
  } catch (const std::exception& e) {
    ReportExt2Exception(e);
  }
  if (!IsCancelled()) AddOrphanInodes();
  for (auto& [inode, entry] : m_seen) entry.directory->Release();
  m_seen.clear();
  m_lookup.reset();
  return root;
}

CFileSystemNode* CExt2QuickSearch::MakeVolumeNode(const CExt2FileSystem& fs, uint64_t startSector,
                                                  int sectorsPerCluster) {
  const EFileSystemType type = fs.GetFileSystemType();
  const std::string label = FormatPartitionDisplayName(GetScanOptions()->searchedVolume, TypeText(type), 1);
  CExt2FileProperties* properties = CreateExt2FileProperties();
  properties->SetName(label.c_str());
  properties->SetAttributes(kFileAttributeDirectory);
  properties->SetInodeNumber(kRootInode);
  CFileSystemNode* root = CreateFileSystemNode();
  root->SetProperties(properties);
  root->SetName(label.c_str());
  root->SetFileSystemType(type);
  root->SetPartitionGeometry(startSector, sectorsPerCluster);
  root->SetId(kRootInode);
  return root;
}

CFileSystemNode* CExt2QuickSearch::CreateVolumeNode(const CExt2FileSystem& fs) {
  CFileSystemNode* root = MakeVolumeNode(fs, m_partition->GetClusterStartSector(),
                                         static_cast<int>(m_partition->GetSectorsPerCluster()));
  CExt2FileProperties* properties = Ext2Properties(root);
  // Walking the root needs its properties beyond the builder's hold.
  properties->AddRef();
  if (m_builder && !m_completePartition) m_builder->AddFileSystemNode(root);
  try {
    const CExt2Inode inode(&fs, kRootInode);
    if (inode.IsDirectory() && inode.HasValidBlockPointers()) WalkDirectory(inode, properties, kRootInode);
  } catch (const std::exception&) {
  }
  properties->Release();
  return root;
}

bool CExt2QuickSearch::RunOnPartition(const CExt2FileSystem& fs, CSearchedPartitionInfo* partition) {
  m_completePartition = partition;
  m_blockUse.assign(static_cast<size_t>(fs.GetSuperBlock().BlocksCount()), false);
  CFileNode* root = SearchFileSystem(fs);
  m_completePartition = nullptr;
  if (!root) return false;
  DestroyFileNode(root);
  return true;
}

void CExt2QuickSearch::ScanAllInodes(const CExt2FileSystem& fs) {
  const CExt2SuperBlock super = fs.GetSuperBlock();
  const uint64_t end = CExt2InodeIterator::End(super);
  CExt2InodeIterator it(&fs, CExt2InodeIterator::Begin(super));
  for (uint64_t n = it.GetInodeNumber(); n < end; ++n, ++it) {
    if (m_scanDone % kPollInterval == 0) {
      // The complete search reports its own progress.
      if (!m_completePartition) SendScanStatus(m_sink, EScanStatusKind::Progress, m_scanTotal, m_scanDone);
      if (m_sink && !m_sink->ShouldContinue()) m_stopped = true;
    }
    if (IsCancelled()) break;
    ++m_scanDone;
    if (n == kRootInode) continue;
    const CExt2Inode inode = it.GetInode();
    if (inode.HasValidBlockPointers()) AddInodeNode(inode);
  }
  if (it.GetUnreadableGroups())
    LogError("Ext2 search: %" PRIu32 " inode tables could not be read; their inodes were skipped",
             it.GetUnreadableGroups());
}

std::unique_ptr<CExt2DataRunList> CExt2QuickSearch::BuildDataRunList(const CExt2Inode& inode) {
  auto list = std::make_unique<CExt2DataRunList>();
  const CExt2FileSystem* fs = inode.GetFileSystem();
  if (!fs || !(inode.IsRegular() || (inode.IsSymlink() && !inode.IsFastSymlink()))) return list;
  const uint64_t blockUnits = fs->GetSuperBlock().GetBlockSize() / 512;
  // A file maps no more blocks than it has allocated, nor than the file
  // system holds: a map that claims more is damaged and ends there.
  const uint64_t mappable =
      std::min(blockUnits ? inode.GetAllocatedSectors() / blockUnits : 0, fs->GetSuperBlock().BlocksCount());
  const uint64_t blocks = inode.GetBlockCount();
  CExt2BlockIterator it(&inode, 0);
  uint64_t mapped = 0;
  for (uint64_t logical = 0; logical < blocks;) {
    uint64_t count = 0;
    const uint64_t block = it.Map(logical, count);
    count = std::min(std::max<uint64_t>(count, 1), blocks - logical);
    if (block != 0) {
      if (count > mappable - mapped) break;
      mapped += count;
      list->AddExtent({block, count});
    } else {
      list->AddExtent({DataRun::kSparseStart, count});
    }
    logical += count;
  }
  return list;
}

void CExt2QuickSearch::MarkBlocksUsed(const CExt2DataRunList& runs) {
  const uint64_t blocks = m_blockUse.size();
  for (const DataRun& r : runs.Runs()) {
    if (r.IsSparse() || r.start >= blocks) continue;
    const uint64_t end = r.start + std::min(r.length, blocks - r.start);
    std::fill(m_blockUse.begin() + static_cast<ptrdiff_t>(r.start), m_blockUse.begin() + static_cast<ptrdiff_t>(end),
              true);
  }
}

CExt2FileProperties* CExt2QuickSearch::CreateFileProperties(const CExt2Inode& inode) {
  CExt2FileProperties* p = CreateExt2FileProperties();
  p->SetCreationTime(CExt2Inode::TimeToFileTime(inode.ChangeTime()));
  p->SetModificationTime(CExt2Inode::TimeToFileTime(inode.ModificationTime()));
  p->SetAccessTime(CExt2Inode::TimeToFileTime(inode.AccessTime()));
  const uint64_t size = inode.GetRawSize();
  p->SetFileSize(size > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size));
  uint16_t attributes = 0;
  if (inode.IsDirectory()) {
    attributes |= kFileAttributeDirectory;
  } else {
    if (inode.IsSparse()) attributes |= 0x200;
    std::unique_ptr<CExt2DataRunList> runs = BuildDataRunList(inode);
    if (m_completePartition) MarkBlocksUsed(*runs);
    if (runs->GetRunCount() != 0) p->SetDataRunList(runs.release());
  }
  p->SetAttributes(attributes);
  p->SetInodeNumber(inode.GetInodeNumber());
  if (inode.IsDeleted()) p->SetDeleted(1);
  return p;
}

int CExt2QuickSearch::MakeInodeName(CFileNode* node, const std::string& name, uint32_t inode) {
  CExt2FileProperties* p = Ext2Properties(node);
  if (!p || p->GetInodeNumber() == 0) return -1;
  if (!name.empty()) {
    p->SetName(name.c_str());
    return 0;
  }
  if (const std::string* found = m_names.Find(inode)) {
    p->SetName(found->c_str());
    return 0;
  }
  if (!(p->GetAttributes() & kFileAttributeDirectory) && p->GetFileSize() <= 0) return -3;
  char text[32];
  snprintf(text, sizeof text, "Inode_%" PRIx32, inode);
  p->SetName(text);
  return 0;
}

bool CExt2QuickSearch::IsSelfOrAncestor(uint32_t inode, int64_t parentId) const {
  int64_t id = parentId;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    if (id == static_cast<int64_t>(inode)) return true;
    if (id == kRootInode || id < 0 || id > UINT32_MAX) return false;
    auto it = m_parents.find(static_cast<uint32_t>(id));
    if (it == m_parents.end()) return false;
    id = it->second;
  }
  return true;
}

bool CExt2QuickSearch::PlaceNode(CFileNode* node, uint32_t inode, int64_t parentId, const std::string& name) {
  node->SetId(inode);
  node->SetParentId(parentId);
  const CExt2FileProperties* p = Ext2Properties(node);
  const bool directory = p && (p->GetAttributes() & kFileAttributeDirectory);
  if ((directory && IsSelfOrAncestor(inode, parentId)) || MakeInodeName(node, name, inode) != 0 || !m_builder) {
    DestroyFileNode(node);
    return true;
  }
  int error = 0;
  const int taken = m_completePartition ? m_builder->AddPartitionNode(node, m_completePartition)
                                        : m_builder->AddNode(node, ETreeKind::Ext2, error);
  if (!taken) {
    // A refused node stays its caller's.
    m_buildStopped = true;
    DestroyFileNode(node);
    return false;
  }
  if (directory) m_parents[inode] = parentId;
  return true;
}

void CExt2QuickSearch::RecordSeenEntry(uint32_t inode, CExt2FileProperties* directory, int64_t directoryId) {
  directory->AddRef();
  auto [it, added] = m_seen.try_emplace(inode, SeenEntry{directory, directoryId});
  if (!added) {
    it->second.directory->Release();
    it->second = SeenEntry{directory, directoryId};
  }
}

void CExt2QuickSearch::AddInodeNode(const CExt2Inode& inode) {
  const uint32_t n = inode.GetInodeNumber();
  CFileNode* node = CreateFileNode();
  CExt2FileProperties* properties = CreateFileProperties(inode);
  node->SetProperties(properties);
  node->SetId(n);
  // The directory's walk below needs its properties whatever becomes of
  // the node.
  properties->AddRef();
  bool kept = true;
  auto seen = m_seen.find(n);
  if (seen != m_seen.end()) {
    const SeenEntry entry = seen->second;
    m_seen.erase(seen);
    const std::string name = entry.directory->GetChildName(n);
    entry.directory->Release();
    const bool cycle = inode.IsDirectory() && IsSelfOrAncestor(n, entry.directoryId);
    if (cycle) DestroyFileNode(node);
    kept = !cycle && PlaceNode(node, n, entry.directoryId, name);
  } else {
    auto [it, added] = m_unplaced.try_emplace(n, node);
    if (!added) {
      DestroyFileNode(it->second);
      it->second = node;
    }
  }
  if (kept && inode.IsDirectory()) WalkDirectory(inode, properties, n);
  properties->Release();
}

CExt2Inode CExt2QuickSearch::LookUpInode(const CExt2FileSystem* fs, uint32_t number) {
  if (!m_lookup || m_lookup->GetFileSystem() != fs) m_lookup = std::make_unique<CExt2InodeIterator>(fs, number);
  return m_lookup->GetInode(number);
}

void CExt2QuickSearch::WalkDirectory(const CExt2Inode& directory, CExt2FileProperties* properties,
                                     int64_t directoryId) {
  if (!properties) return;
  for (CExt2DirEntryIterator it(&directory, 0, &m_names); !it.IsEnd() && !IsCancelled(); ++it) {
    try {
      uint32_t n = 0;
      std::string name;
      if (!it.GetEntryInode(n, name) || name == "." || name == "..") continue;
      if (!LookUpInode(directory.GetFileSystem(), n).HasValidBlockPointers()) continue;
      auto waiting = m_unplaced.find(n);
      if (waiting != m_unplaced.end()) {
        CFileNode* node = waiting->second;
        m_unplaced.erase(waiting);
        PlaceNode(node, n, directoryId, name);
      } else if (!name.empty()) {
        properties->SetChildName(n, name);
        RecordSeenEntry(n, properties, directoryId);
      }
    } catch (const std::exception&) {
      // One unreadable entry is passed over.
    }
  }
}

void CExt2QuickSearch::AddOrphanInodes() {
  uint64_t step = 0;
  for (auto it = m_unplaced.begin(); it != m_unplaced.end();) {
    if (++step % kPollInterval == 0 && m_sink && !m_sink->ShouldContinue()) m_stopped = true;
    if (IsCancelled()) break;
    CFileNode* node = it->second;
    const uint32_t n = it->first;
    it = m_unplaced.erase(it);
    if (!PlaceNode(node, n, kRootInode, std::string())) break;
  }
}

IQuickFileSystemSearchController* CreateExt2QuickSearch() {
  return CExt2QuickSearch::Create();
}

void RegisterExt2QuickSearch() {
  for (EFileSystemType type : {EFileSystemType::Ext2, EFileSystemType::Ext3})
    RegisterQuickSearch(type, [] { return CreateExt2QuickSearch(); });
}
