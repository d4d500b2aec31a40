// Synthetic nodes for the tree tests: a node is described by its ids, name,
// folder and deleted flags, creation time and size, and made with the
// properties member of a file-system type. Trees are compared as text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CBasicFileProperties.h"
#include "CExt2FileProperties.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileSystemNode.h"
#include "CNTFSFileProperties.h"
#include "CRAWFileProperties.h"
#include "ScanEngineRegistry.h"

namespace treetest {

// Stands in for the members of engines outside the file model (exFAT, HFS+).
class EngineProperties : public CBasicFileProperties {
 public:
  explicit EngineProperties(EPartitionKind kind) : m_kind(kind) {}
  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  int GetSupportedFields() const override { return 0xFF; }
  bool Save(IScanStream*) const override { return false; }
  bool Load(IScanStream*) override { return false; }
  EPartitionKind GetSearchKind() const override { return m_kind; }

 private:
  EPartitionKind m_kind;
};

// Registers folder properties for exFAT and HFS+ for the life of the object.
struct EngineFolders {
  EngineFolders() {
    for (auto [type, kind] : {std::pair{EFileSystemType::exFAT, EPartitionKind::exFAT},
                              std::pair{EFileSystemType::HFSPlus, EPartitionKind::HFSPlus}}) {
      RegisterFolderProperties(type, [kind = kind](const char* name) -> IFileProperties* {
        auto* p = new EngineProperties(kind);
        p->SetName(name);
        p->SetAttributes(kFileAttributeDirectory);
        return p;
      });
    }
  }
  ~EngineFolders() {
    RegisterFolderProperties(EFileSystemType::exFAT, nullptr);
    RegisterFolderProperties(EFileSystemType::HFSPlus, nullptr);
  }
};

struct NodeShape {
  int64_t id;
  int64_t parent;
  const char* name;
  bool folder = false;
  bool deleted = false;
  uint64_t created = 0;
  int64_t size = 1;
};

inline IFileProperties* MakeProperties(EFileSystemType type, const NodeShape& s) {
  const uint16_t attributes = s.folder ? kFileAttributeDirectory : 0x20;
  CBasicFileProperties* basic = nullptr;
  switch (type) {
    case EFileSystemType::NTFS:
      basic = CreateNTFSFileProperties();
      break;
    case EFileSystemType::Ext2:
    case EFileSystemType::Ext3:
      basic = CreateExt2FileProperties();
      break;
    case EFileSystemType::exFAT:
      basic = new EngineProperties(EPartitionKind::exFAT);
      break;
    case EFileSystemType::HFSPlus:
      basic = new EngineProperties(EPartitionKind::HFSPlus);
      break;
    case EFileSystemType::RAW: {
      auto* raw = CreateRAWFileProperties();
      raw->SetRawFileName(s.name);
      raw->SetAttributes(attributes);
      raw->SetDeleted(s.deleted ? 1 : 0);
      return raw;
    }
    default:
      basic = CreateFATFileProperties();
      break;
  }
  basic->SetName(s.name);
  basic->SetAttributes(attributes);
  basic->SetFileSize(s.size);
  basic->SetDeleted(s.deleted ? 1 : 0);
  basic->SetCreationTime(s.created);
  return basic;
}

inline CFileNode* MakeNode(EFileSystemType type, const NodeShape& s) {
  CFileNode* node = CreateFileNode();
  node->SetId(s.id);
  node->SetParentId(s.parent);
  node->SetProperties(MakeProperties(type, s));
  return node;
}

inline CFileSystemNode* MakeRoot(EFileSystemType type, int64_t id = 5) {
  CFileSystemNode* root = CreateFileSystemNode();
  root->SetId(id);
  root->SetFileSystemType(type);
  root->SetProperties(MakeProperties(type, NodeShape{id, CFileNode::kNoId, "root", true}));
  return root;
}

inline std::string NameOf(const CFileNode* n) {
  const IFileProperties* p = n->GetProperties();
  std::string name = p && p->GetName() ? p->GetName() : "?";
  if (p && (p->IsDeleted() & 1)) name += "*";
  return name;
}

// "name(child,child)" with children sorted by their text; deleted names end
// in "*".
inline std::string Render(const CFileNode* n, int depth = 0) {
  if (!n) return "null";
  std::string text = NameOf(n);
  if (depth > 1000) return text + "(...)";
  std::vector<std::string> children;
  for (const CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) children.push_back(Render(c, depth + 1));
  if (children.empty()) return text;
  std::sort(children.begin(), children.end());
  text += "(";
  for (size_t i = 0; i < children.size(); ++i) text += (i ? "," : "") + children[i];
  return text + ")";
}

// Gives a node with FAT properties these data runs.
inline void SetRuns(CFileNode* node, std::initializer_list<DataRun> runs) {
  auto* list = new CFATDataRunList();
  for (const DataRun& r : runs) list->AppendMerged(r);
  static_cast<CFATFileProperties*>(node->GetProperties())->SetDataRunList(list);
}

// An information file's bytes: the header, then the path in the fixed
// (version 1) or variable (version 2) form. `declared` overrides the
// variable form's unit count.
inline std::vector<uint8_t> InfoBytes(uint64_t version, const std::u16string& path, int64_t declared = -1) {
  std::vector<uint8_t> bytes(24, 0);
  WriteLE64(bytes.data(), version);
  WriteLE64(bytes.data() + 8, 48213);
  std::u16string units = path + u'\0';
  if (version == 2) {
    bytes.resize(28);
    WriteLE32(bytes.data() + 24, static_cast<uint32_t>(declared >= 0 ? declared : static_cast<int64_t>(units.size())));
  }
  for (char16_t u : units) {
    bytes.push_back(static_cast<uint8_t>(u));
    bytes.push_back(static_cast<uint8_t>(u >> 8));
  }
  if (version == 1) bytes.resize(544, 0);
  return bytes;
}

}  // namespace treetest
