#include "RecycleBinNames.h"

#include <strings.h>

#include <climits>
#include <string>

#include "CFileDataReader.h"
#include "CFileNode.h"
#include "FatBytes.h"
#include "IFileProperties.h"
#include "WideToAnsiString.h"

namespace {

const char* NodeName(const CFileNode* node) {
  if (node == nullptr || node->GetProperties() == nullptr) return nullptr;
  return node->GetProperties()->GetName();
}

// Parent links are in memory, but a bound keeps a mislinked tree finite.
constexpr int kMaxDepth = 4096;

}  // namespace

bool IsRecycleBinFolder(const CFileNode* node) {
  const char* name = NodeName(node);
  if (name == nullptr || (node->GetProperties()->GetAttributes() & 0x10) == 0) return false;
  return strcasecmp(name, "Recycler") == 0 || strcasecmp(name, "Recycled") == 0 ||
         strcasecmp(name, "$Recycle.Bin") == 0 || strcasecmp(name, "$RECYCLE.BI0") == 0;
}

bool IsInRecycleBin(const CFileNode* node) {
  for (int depth = 0; node != nullptr && depth < kMaxDepth; ++depth, node = node->GetParent()) {
    if (IsRecycleBinFolder(node)) return true;
  }
  return false;
}

bool IsRecycleInfoFile(const CFileNode* node) {
  const char* name = NodeName(node);
  if (name == nullptr || name[0] == 0 || name[1] == 0) return false;
  return (name[0] == '#' || name[0] == '$') && name[1] == 'I';
}

CFileNode* MatchRecyclePair(std::list<CFileNode*>& pending, CFileNode* node) {
  if (node == nullptr) return nullptr;  // a null entry would only trip later walks
  if (pending.empty()) {
    pending.push_back(node);
    return nullptr;
  }
  const char* name = NodeName(node);
  if (name == nullptr || name[0] == 0 || name[1] == 0) return nullptr;
  const char partner = IsRecycleInfoFile(node) ? 'I' : 'R';
  for (auto it = pending.begin(); it != pending.end(); ++it) {
    const char* other = NodeName(*it);
    if (other == nullptr || other[0] == 0) continue;
    std::string candidate(other);
    if (candidate.size() > 1) candidate[1] = partner;
    if (strcasecmp(candidate.c_str(), name) == 0) {
      CFileNode* found = *it;
      pending.erase(it);
      return found;
    }
  }
  if (name[0] == '#' || name[0] == '$') pending.push_back(node);
  return nullptr;
}

void RestoreRecycledName(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode, uint64_t firstSector,
                         uint32_t sectorsPerCluster) {
  if (dataNode == nullptr || dataNode->GetProperties() == nullptr) return;
  if (sectorsPerCluster > INT_MAX) return;
  CFileDataReader reader;
  if (!reader.OpenAt(device, infoNode, firstSector, static_cast<int>(sectorsPerCluster))) return;
  uint8_t bytes[1024] = {};
  uint32_t got = 0;
  const bool ok = reader.Read(0, bytes, sizeof bytes, got) != 0;
  reader.Close();
  if (!ok || got == 0) return;
  char16_t text[512];
  for (int i = 0; i < 512; ++i) text[i] = static_cast<char16_t>(ReadLE16(bytes + 2 * i));
  int slash = -1;
  for (int i = 511; i >= 0; --i) {
    if (text[i] == u'\\') {
      slash = i;
      break;
    }
  }
  if (slash < 0 || slash + 1 >= 512 || text[slash + 1] == 0) return;
  bool drivePath = false;
  for (int i = 0; i + 1 <= slash; ++i) {
    if (text[i] == u':' && text[i + 1] == u'\\') {
      drivePath = true;
      break;
    }
  }
  if (!drivePath) return;
  const std::string name = WideToAnsiString(text + slash + 1, static_cast<size_t>(511 - slash));
  if (!name.empty()) dataNode->GetProperties()->SetName(name.c_str());
}

void RenameRecycledNode(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode) {
  RestoreRecycledName(device, dataNode, infoNode, 0, 1);
}
