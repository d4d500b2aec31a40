#include "RecycleBinNames.h"

#include <strings.h>

#include <algorithm>
#include <climits>

#include "ByteOrder.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "IFileProperties.h"
#include "WideToAnsiString.h"

namespace {

const char* NodeName(const CFileNode* node) {
  if (node == nullptr || node->GetProperties() == nullptr) return nullptr;
  return node->GetProperties()->GetName();
}

// Parent links are in memory, but a bound keeps a mislinked tree finite.
constexpr int kMaxDepth = 4096;

// The information-file layouts.
constexpr size_t kFixedPathOffset = 24;  // version 1: 260 units of path
constexpr size_t kFixedPathUnits = 260;
constexpr size_t kVariableLengthOffset = 24;  // version 2: u32 units, then the path
constexpr size_t kVariablePathOffset = 28;
constexpr size_t kLongestPathUnits = 32768;  // the longest path Windows writes, with its terminator
constexpr size_t kOtherFormUnits = 512;      // other content: the first 1024 bytes

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads the information file (at most the longest variable form) and names
// the data node from it.
void RenameFrom(CFileDataReader& reader, CFileNode* dataNode, CFileNode* infoNode) {
  const int64_t size = infoNode->GetProperties()->GetFileSize();
  const uint64_t cap = kVariablePathOffset + 2 * kLongestPathUnits;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size), cap)));
  uint32_t got = 0;
  const bool ok = reader.Read(0, bytes.data(), static_cast<uint32_t>(bytes.size()), got) != 0;
  reader.Close();
  if (!ok || got == 0) return;
  bytes.resize(got);
  const std::string name = RecycledNameFromInfo(bytes);
  if (!name.empty()) dataNode->GetProperties()->SetName(name.c_str());
}

}  // namespace

bool IsRecycleBinFolder(const CFileNode* node) {
  const char* name = NodeName(node);
  if (name == nullptr || (node->GetProperties()->GetAttributes() & kFileAttributeDirectory) == 0) return false;
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

std::string CRecyclePendingList::PairKey(const char* name) {
  if (name == nullptr || name[0] == 0 || name[1] == 0) return std::string();
  std::string key(name);
  std::transform(key.begin(), key.end(), key.begin(), AsciiLower);
  key[1] = '?';
  return key;
}

void CRecyclePendingList::push_back(CFileNode* node) {
  m_order.push_back(node);
  const std::string key = PairKey(NodeName(node));
  if (!key.empty()) m_byKey[key].push_back(std::prev(m_order.end()));
}

CFileNode* CRecyclePendingList::TakeFirst(const std::string& key) {
  auto bucket = m_byKey.find(key);
  if (bucket == m_byKey.end()) return nullptr;
  auto position = bucket->second.front();
  bucket->second.pop_front();
  if (bucket->second.empty()) m_byKey.erase(bucket);
  CFileNode* node = *position;
  m_order.erase(position);
  return node;
}

void CRecyclePendingList::clear() {
  m_order.clear();
  m_byKey.clear();
}

CFileNode* MatchRecyclePair(CRecyclePendingList& pending, CFileNode* node) {
  if (node == nullptr) return nullptr;  // a null entry would only trip later walks
  if (pending.empty()) {
    pending.push_back(node);
    return nullptr;
  }
  const char* name = NodeName(node);
  if (name == nullptr || name[0] == 0 || name[1] == 0) return nullptr;
  // A pending name, its second character made this node's kind, equals this
  // name exactly when both share the key and this node's second character
  // is that kind.
  const char kind = IsRecycleInfoFile(node) ? 'i' : 'r';
  if (AsciiLower(name[1]) == kind) {
    if (CFileNode* partner = pending.TakeFirst(CRecyclePendingList::PairKey(name))) return partner;
  }
  if (name[0] == '#' || name[0] == '$') pending.push_back(node);
  return nullptr;
}

std::string RecycledNameFromInfo(const std::vector<uint8_t>& bytes) {
  const size_t units = bytes.size() / 2;
  std::u16string text(units, u'\0');
  for (size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(ReadLE16(bytes.data() + 2 * i));
  const uint64_t version = bytes.size() >= 8 ? ReadLE64(bytes.data()) : 0;
  // The units that hold the path: [begin, end).
  size_t begin = 0, end = std::min(units, kOtherFormUnits);
  bool knownForm = false;
  if (version == 1 && units > kFixedPathOffset / 2) {
    begin = kFixedPathOffset / 2;
    end = std::min(units, begin + kFixedPathUnits);
    knownForm = true;
  } else if (version == 2 && bytes.size() >= kVariablePathOffset) {
    const uint32_t length = ReadLE32(bytes.data() + kVariableLengthOffset);
    begin = kVariablePathOffset / 2;
    if (length == 0 || length > kLongestPathUnits || begin + length > units) return std::string();  // cut short
    end = begin + length;
    knownForm = true;
  }
  // In a known form the path ends at its terminator; other content is
  // searched whole, from its end.
  size_t limit = end;
  if (knownForm) limit = static_cast<size_t>(std::find(text.begin() + begin, text.begin() + end, u'\0') - text.begin());
  size_t slash = limit;
  for (size_t i = limit; i > begin; --i) {
    if (text[i - 1] == u'\\') {
      slash = i - 1;
      break;
    }
  }
  if (slash == limit) return std::string();
  bool drivePath = false;
  for (size_t i = begin; i < slash && !drivePath; ++i) drivePath = text[i] == u':' && text[i + 1] == u'\\';
  if (!drivePath) return std::string();
  const size_t nameEnd =
      static_cast<size_t>(std::find(text.begin() + slash + 1, text.begin() + end, u'\0') - text.begin());
  // A name that runs into the end of what was read may have been cut.
  if (nameEnd == end && end != units) return std::string();
  return WideToAnsiString(text.data() + slash + 1, nameEnd - slash - 1);
}

void RestoreRecycledName(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode, uint64_t firstSector,
                         uint32_t sectorsPerCluster) {
  if (dataNode == nullptr || dataNode->GetProperties() == nullptr) return;
  if (sectorsPerCluster > INT_MAX) return;
  CFileDataReader reader;
  if (!reader.OpenAt(device, infoNode, firstSector, static_cast<int>(sectorsPerCluster))) return;
  RenameFrom(reader, dataNode, infoNode);
}

void RenameRecycledNode(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode) {
  if (dataNode == nullptr || dataNode->GetProperties() == nullptr) return;
  CFileDataReader reader;
  if (!reader.Open(device, infoNode)) return;
  RenameFrom(reader, dataNode, infoNode);
}
