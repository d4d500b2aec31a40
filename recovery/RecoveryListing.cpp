#include "RecoveryListing.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "CSearchedPartitionInfo.h"
#include "CharConversion.h"
#include "IFileProperties.h"

namespace {

// Deeper trees than this are not walked further (a damaged tree may loop).
constexpr int kMaxDepth = 4096;

void AppendEscape(std::string& out, unsigned char byte) {
  char hex[5];
  snprintf(hex, sizeof hex, "\\x%02X", byte);
  out += hex;
}

std::string NameOf(const CFileNode* node) {
  const IFileProperties* props = node->GetProperties();
  const char* name = props ? props->GetName() : nullptr;
  return name ? EscapeListedName(name, strlen(name)) : std::string();
}

}  // namespace

std::string EscapeListedName(const char* name, size_t length) {
  std::string out;
  if (!name) return out;
  const std::string text(name, length);
  const auto* data = reinterpret_cast<const unsigned char*>(text.c_str());
  for (size_t i = 0; i < length;) {
    const unsigned char c = data[i];
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') {
      AppendEscape(out, c);
      ++i;
      continue;
    }
    int codePoint = 0;
    const int n = c < 0x80 ? 1 : DecodeUtf8Char(data + i, codePoint);
    if (n <= 0 || i + static_cast<size_t>(n) > length) {
      AppendEscape(out, c);
      ++i;
      continue;
    }
    out.append(text, i, static_cast<size_t>(n));
    i += static_cast<size_t>(n);
  }
  return out;
}

const char* ListedTypeName(EFileSystemType type) {
  switch (type) {
    case EFileSystemType::FAT12:
      return "FAT12";
    case EFileSystemType::FAT16:
      return "FAT16";
    case EFileSystemType::FAT32:
      return "FAT32";
    case EFileSystemType::NTFS:
      return "NTFS";
    case EFileSystemType::Ext2:
      return "EXT2";
    case EFileSystemType::Ext3:
      return "EXT3";
    case EFileSystemType::RAW:
      return "RAW";
    case EFileSystemType::exFAT:
      return "EXFAT";
    case EFileSystemType::HFSPlus:
      return "HFS+";
    default:
      return "UNKNOWN";
  }
}

void RecoveryListing::AddPartitions(const std::vector<CSearchedPartitionInfo*>& all,
                                    const std::vector<CSearchedPartitionInfo*>& chosen) {
  for (CSearchedPartitionInfo* p : all) {
    if (!p) continue;
    ListedPartition listed;
    listed.partition = p;
    const auto at = std::find(chosen.begin(), chosen.end(), p);
    if (at != chosen.end()) listed.number = static_cast<int>(at - chosen.begin()) + 1;
    m_partitions.push_back(listed);
  }
}

void RecoveryListing::AddTree(int number, CFileNode* root) {
  if (!root) return;
  ++m_trees;
  // The builder names a chosen partition's root after its type; a root
  // without that name keeps the one of its file system.
  std::string label = NameOf(root);
  if (label.empty() && root->IsFileSystemNode()) {
    const char* name = static_cast<CFileSystemNode*>(root)->GetName();
    if (name) label = EscapeListedName(name, strlen(name));
  }
  for (ListedPartition& p : m_partitions)
    if (p.number == number) p.label = label;
  AddChildren(number, root, std::string(), 0);
}

void RecoveryListing::AddChildren(int tree, CFileNode* folder, const std::string& prefix, int depth) {
  if (depth >= kMaxDepth) return;
  std::vector<std::pair<std::string, CFileNode*>> children;
  for (CFileNode* c = folder->GetFirstChild(); c; c = c->GetNextSibling()) children.emplace_back(NameOf(c), c);
  std::stable_sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->GetId() < b.second->GetId();
  });
  for (const auto& [name, child] : children) {
    const std::string path = prefix.empty() ? name : prefix + "/" + name;
    m_nodes.push_back({tree, child, path});
    AddChildren(tree, child, path, depth + 1);
  }
}

void RecoveryListing::AddCap(const std::string& name, uint64_t dropped) {
  m_caps.emplace_back(name, dropped);
}

CFileNode* RecoveryListing::Find(int tree, const std::string& path) const {
  for (const ListedNode& n : m_nodes)
    if ((tree == 0 || n.tree == tree) && n.path == path) return n.node;
  return nullptr;
}

void RecoveryListing::Write(FILE* out) const {
  for (const ListedPartition& l : m_partitions) {
    const CSearchedPartitionInfo* p = l.partition;
    const unsigned flags = (p->GetChosen() ? 1u : 0u) | (p->GetProximityMark() ? 2u : 0u);
    fprintf(out,
            "partition\t%d\t%s\t%" PRIu64 "\t%" PRIu64 "\t%" PRIu32 "\t%" PRIu64 "\t0x%x\t%" PRIu64 "\t%" PRIu64
            "\t%" PRIu64 "\t%.6f\t%s\n",
            l.number, ListedTypeName(p->GetType()), p->GetStartSector(), p->GetSectorCount(), p->GetSectorsPerCluster(),
            p->GetClusterStartSector(), flags, p->GetPoints(), p->GetRecordMatchCount(), p->GetRawMatchCount(),
            p->GetScore(), l.label.c_str());
  }
  for (const ListedNode& n : m_nodes) {
    const IFileProperties* props = n.node->GetProperties();
    const bool folder = props && (props->GetAttributes() & kFileAttributeDirectory);
    const bool deleted = props && (props->IsDeleted() & 1);
    const int64_t size = props ? props->GetFileSize() : 0;
    fprintf(out, "node\t%d\t%c\t%s\t%" PRId64 "\t%" PRId64 "\t%s\n", n.tree, folder ? 'd' : 'f',
            deleted ? "deleted" : "live", size, n.node->GetId(), n.path.c_str());
  }
  for (const auto& [name, dropped] : m_caps)
    fprintf(out, "cap\t%s\t%" PRIu64 "\n", EscapeListedName(name.c_str(), name.size()).c_str(), dropped);
}

void RecoveryCollector::OnRoot(CFileNode* root, int) {
  if (root && std::find(m_roots.begin(), m_roots.end(), root) == m_roots.end()) m_roots.push_back(root);
}

void RecoveryCollector::OnRemove(CFileNode* root) {
  m_roots.erase(std::remove(m_roots.begin(), m_roots.end(), root), m_roots.end());
}
