#include "CFileSystemNode.h"

#include <cstdio>
#include <cstring>
#include <deque>

#include "CExt2FileProperties.h"
#include "CFATFileProperties.h"
#include "CNTFSFileProperties.h"
#include "CRAWFileProperties.h"
#include "CScanOptions.h"
#include "ScanEngineRegistry.h"
#include "ScanStreamIO.h"

bool FileNodeStatistics::operator==(const FileNodeStatistics& o) const {
  return files == o.files && checkedFiles == o.checkedFiles && bytes == o.bytes && checkedBytes == o.checkedBytes &&
         compressed == o.compressed && checkedCompressed == o.checkedCompressed && encrypted == o.encrypted &&
         checkedEncrypted == o.checkedEncrypted;
}

namespace {

bool IsDirectory(const CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  return p && (p->GetAttributes() & kFileAttributeDirectory);
}

void AccumulateNodeStatistics(CFileNode* node, FileNodeStatistics& s) {
  const IFileProperties* p = node->GetProperties();
  if (IsDirectory(node)) return;
  const bool counted = !node->IsFileSystemNode();
  const bool checked = node->GetCheckState() == kCheckAll;
  const uint64_t size = p ? static_cast<uint64_t>(p->GetFileSize()) : 0;
  const uint16_t attributes = p ? p->GetAttributes() : 0;
  if (counted) ++s.files;
  s.bytes += size;
  if (checked) {
    if (counted) ++s.checkedFiles;
    s.checkedBytes += size;
  }
  if (attributes & kFileAttributeCompressed) {
    ++s.compressed;
    if (checked) ++s.checkedCompressed;
  }
  if (attributes & kFileAttributeEncrypted) {
    ++s.encrypted;
    if (checked) ++s.checkedEncrypted;
  }
}

// 0 when no child is checked or partly checked, 2 when all are checked,
// otherwise 1; 0 without children.
uint8_t StateFromChildren(const CFileNode* node) {
  int all = 0, partly = 0, count = 0;
  for (CFileNode* c = node->GetFirstChild(); c; c = c->GetNextSibling()) {
    ++count;
    if (c->GetCheckState() == kCheckAll) ++all;
    if (c->GetCheckState() == kCheckPartly) ++partly;
  }
  if (all == 0 && partly == 0) return kCheckNone;
  return all == count ? kCheckAll : kCheckPartly;
}

void UpdateDirectoryCheckStates(CFileNode* node) {
  for (CFileNode* c = node->GetFirstChild(); c; c = c->GetNextSibling())
    if (IsDirectory(c)) UpdateDirectoryCheckStates(c);
  if (IsDirectory(node) || node->IsFileSystemNode()) node->SetCheckState(StateFromChildren(node));
}

}  // namespace

void ComputeSubtreeStatistics(CFileNode* node, FileNodeStatistics& out, bool apply, uint8_t value) {
  out = FileNodeStatistics();
  if (!node) return;
  std::deque<CFileNode*> queue{node};
  while (!queue.empty()) {
    CFileNode* n = queue.front();
    queue.pop_front();
    AccumulateNodeStatistics(n, out);
    if (apply) n->SetCheckState(value);
    for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) queue.push_back(c);
  }
}

CFileNode* CFileSystemNode::Clone() const {
  auto* copy = new CFileSystemNode;
  CopyIdentityTo(*copy);
  copy->m_statistics = m_statistics;
  copy->m_volumeInfo = m_volumeInfo;
  copy->m_startSector = m_startSector;
  copy->m_sectorsPerCluster = m_sectorsPerCluster;
  copy->m_type = m_type;
  copy->m_name = m_name;
  copy->m_hasName = m_hasName;
  copy->SetProperties(CreateRootProperties());
  return copy;
}

int CFileSystemNode::GetPartitionGeometry(uint64_t& startSector, int& sectorsPerCluster) const {
  startSector = m_startSector;
  sectorsPerCluster = static_cast<int>(m_sectorsPerCluster);
  return 1;
}

void CFileSystemNode::SetPartitionGeometry(uint64_t startSector, int sectorsPerCluster) {
  m_startSector = startSector;
  m_sectorsPerCluster = static_cast<uint32_t>(sectorsPerCluster);
}

int CFileSystemNode::GetVolumeInfo(void* out) const {
  if (out) std::memcpy(out, m_volumeInfo.data(), kVolumeInfoSize);
  return 1;
}

int CFileSystemNode::SetVolumeInfo(const void* in) {
  if (in) std::memcpy(m_volumeInfo.data(), in, kVolumeInfoSize);
  return 1;
}

int CFileSystemNode::GetStatistics(void* out) const {
  if (!out) return 1;
  uint8_t* p = static_cast<uint8_t*>(out);
  const FileNodeStatistics& s = m_statistics;
  const uint32_t words[4] = {s.compressed, s.checkedCompressed, s.encrypted, s.checkedEncrypted};
  std::memcpy(p, &s.files, 4);
  std::memcpy(p + 4, &s.checkedFiles, 4);
  std::memcpy(p + 8, &s.bytes, 8);
  std::memcpy(p + 16, &s.checkedBytes, 8);
  std::memcpy(p + 24, words, sizeof words);
  return 1;
}

int CFileSystemNode::RecalculateStatistics() {
  ComputeSubtreeStatistics(this, m_statistics, false, 0);
  return 1;
}

void CFileSystemNode::AdjustStatistics(const FileNodeStatistics& d, bool selecting) {
  FileNodeStatistics& s = m_statistics;
  if (selecting) {
    s.checkedFiles += d.files - d.checkedFiles;
    s.checkedBytes += d.bytes - d.checkedBytes;
    s.checkedCompressed += d.compressed - d.checkedCompressed;
    s.checkedEncrypted += d.encrypted - d.checkedEncrypted;
  } else {
    s.checkedFiles -= d.checkedFiles;
    s.checkedBytes -= d.checkedBytes;
    s.checkedCompressed -= d.checkedCompressed;
    s.checkedEncrypted -= d.checkedEncrypted;
  }
}

int CFileSystemNode::SetNodeCheckState(CFileNode* node, int stateOnly) {
  if (!node) return 1;
  const uint8_t state = node->GetCheckState() == kCheckAll ? kCheckNone : kCheckAll;
  if (stateOnly) {
    node->SetCheckState(state);
    return 1;
  }
  const bool selecting = state == kCheckAll;
  FileNodeStatistics delta;
  ComputeSubtreeStatistics(node, delta, true, state);
  if (node->IsFileSystemNode()) static_cast<CFileSystemNode*>(node)->AdjustStatistics(delta, selecting);
  for (CFileNode* a = node->GetParent(); a; a = a->GetParent()) {
    a->SetCheckState(StateFromChildren(a));
    if (a->IsFileSystemNode()) static_cast<CFileSystemNode*>(a)->AdjustStatistics(delta, selecting);
  }
  return 1;
}

int CFileSystemNode::SetNodeStatusFlag(CFileNode* node, int value) {
  if (!node || !node->GetProperties()) return 0;
  return node->GetProperties()->SetStatusFlag(static_cast<uint8_t>(value));
}

void CFileSystemNode::RefreshCheckStates() {
  UpdateDirectoryCheckStates(this);
  RecalculateStatistics();
}

void CFileSystemNode::SetName(const char* name) {
  m_hasName = name != nullptr;
  m_name = name ? ClampUtf8(name, kMaxNameLength) : std::string();
}

IFileProperties* CFileSystemNode::CreateRootProperties() const {
  // exFAT and HFS+ roots get their properties from their engines.
  if (m_type == EFileSystemType::exFAT || m_type == EFileSystemType::HFSPlus) return nullptr;
  static const char* const kNames[] = {"FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", "RAW"};
  const int index = static_cast<int>(m_type);
  if (index < 0 || index > static_cast<int>(EFileSystemType::RAW)) return nullptr;
  return CreateFolderProperties(m_type, kNames[index]);
}

int CFileSystemNode::Save(IScanStream* s) {
  const FileNodeStatistics& st = m_statistics;
  const bool ok = StreamWriteU64(s, static_cast<uint64_t>(GetId())) && StreamWriteU32(s, st.files) &&
                  StreamWriteU32(s, 0) && StreamWriteU64(s, st.bytes) && StreamWriteU64(s, 0) &&
                  StreamWriteU32(s, st.compressed) && StreamWriteU32(s, 0) && StreamWriteU32(s, st.encrypted) &&
                  StreamWriteU32(s, 0) && StreamWriteU64(s, m_startSector) && StreamWriteU32(s, m_sectorsPerCluster) &&
                  StreamWriteU32(s, static_cast<uint32_t>(m_type)) &&
                  StreamWriteU32(s, static_cast<uint32_t>(m_name.size())) &&
                  StreamWriteBytes(s, m_name.data(), static_cast<uint32_t>(m_name.size()));
  return ok ? 1 : 0;
}

int CFileSystemNode::Load(IScanStream* s) {
  uint64_t id = 0, start = 0;
  uint32_t spc = 0, type = 0, length = 0;
  FileNodeStatistics st;
  std::vector<uint8_t> name;
  if (!(StreamReadU64(s, id) && StreamReadU32(s, st.files) && StreamReadU32(s, st.checkedFiles) &&
        StreamReadU64(s, st.bytes) && StreamReadU64(s, st.checkedBytes) && StreamReadU32(s, st.compressed) &&
        StreamReadU32(s, st.checkedCompressed) && StreamReadU32(s, st.encrypted) &&
        StreamReadU32(s, st.checkedEncrypted) && StreamReadU64(s, start) && StreamReadU32(s, spc) &&
        StreamReadU32(s, type) && StreamReadU32(s, length) && StreamReadBytes(s, length, name)))
    return 0;
  SetId(static_cast<int64_t>(id));
  m_statistics = st;
  m_startSector = start;
  m_sectorsPerCluster = spc;
  m_type = static_cast<EFileSystemType>(type);
  m_name.assign(name.begin(), name.end());
  m_hasName = length > 0;
  return 1;
}

namespace {
template <class Member>
IFileProperties* AsFolder(Member* p) {
  p->SetAttributes(kFileAttributeDirectory);
  return p;
}
}  // namespace

IFileProperties* CreateFolderProperties(EFileSystemType type, const char* name) {
  IFileProperties* p = nullptr;
  switch (type) {
    case EFileSystemType::FAT12:
    case EFileSystemType::FAT16:
    case EFileSystemType::FAT32:
      p = AsFolder(CreateFATFileProperties());
      break;
    case EFileSystemType::NTFS:
      p = AsFolder(CreateNTFSFileProperties());
      break;
    case EFileSystemType::Ext2:
    case EFileSystemType::Ext3:
      p = AsFolder(CreateExt2FileProperties());
      break;
    case EFileSystemType::RAW:
      p = AsFolder(CreateRAWFileProperties());
      break;
    default:
      return CreateRegisteredFolderProperties(type, name);
  }
  p->SetName(name);
  return p;
}

CFileSystemNode* CreateFileSystemNode() {
  return new CFileSystemNode;
}

int PruneEmptyResults(CFileNode* root, std::vector<CFileNode*>& removed) {
  if (!root) return 0;
  std::deque<CFileNode*> folders{root};
  while (!folders.empty()) {
    CFileNode* folder = folders.front();
    folders.pop_front();
    for (CFileNode* c = folder->GetFirstChild(); c;) {
      CFileNode* next = c->GetNextSibling();
      if (IsDirectory(c)) {
        folders.push_back(c);
      } else if (!c->GetProperties() || c->GetProperties()->GetFileSize() == 0) {
        folder->RemoveChild(c);
        removed.push_back(c);
      }
      c = next;
    }
    if (folder->GetFirstChild() || !folder->GetParent()) continue;
    CFileNode* parent = folder->GetParent();
    parent->RemoveChild(folder);
    removed.push_back(folder);
    // Climb while the ancestors are left empty; the root always stays.
    while (parent != root && !parent->GetFirstChild() && parent->GetParent()) {
      CFileNode* up = parent->GetParent();
      up->RemoveChild(parent);
      removed.push_back(parent);
      parent = up;
    }
  }
  return 1;
}

std::string FormatPartitionDisplayName(const SearchedVolumeName& volume, const char* typeText, int number) {
  const uint8_t letter = volume.GetLetter();
  const char* type = typeText ? typeText : "";
  const char* label = volume.label.c_str();
  char buffer[255];
  if (letter != 255 && *label)
    std::snprintf(buffer, sizeof buffer, "%c:(%s - %s %d)", letter, label, type, number);
  else if (*label)
    std::snprintf(buffer, sizeof buffer, "%s(%s %d)", label, type, number);
  else if (letter == 255)
    std::snprintf(buffer, sizeof buffer, "%s %d", type, number);
  else
    std::snprintf(buffer, sizeof buffer, "%c:(%s %d)", letter, type, number);
  return buffer;
}
