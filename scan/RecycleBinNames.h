// Recognising recycle-bin folders and giving recycled data files ($R...)
// back the names their information files ($I...) recorded. Pure functions
// of the file model: the quick file tree, the directory-tree builder and the
// engines (FAT, exFAT, NTFS) all call them.
//
// An information file comes in two forms: the fixed one (version 1, 544
// bytes: version, size, deletion time, then 260 UTF-16 units of path from
// byte 24) and the variable one (version 2: the same header, the path's
// length in units at byte 24, the path from byte 28). Any other content is
// searched as the first 512 UTF-16 units for the text after the last
// backslash. A name is taken only from a drive path (":\" before the last
// backslash) that ends inside the bytes read; a cut path renames nothing.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

class CFileNode;
class IStorageDevice;

// A folder node named (ignoring case) "Recycler", "Recycled",
// "$Recycle.Bin" or "$RECYCLE.BI0".
bool IsRecycleBinFolder(const CFileNode* node);
// The node or one of its ancestors is a recycle-bin folder.
bool IsInRecycleBin(const CFileNode* node);
// Name of two or more characters starting "#I" or "$I".
bool IsRecycleInfoFile(const CFileNode* node);

// The recycle-bin nodes still waiting for their partner, in arrival order,
// indexed by name with the second character set aside (ignoring case), so
// that finding a partner costs one look-up. The list does not own the nodes.
class CRecyclePendingList {
 public:
  size_t size() const { return m_order.size(); }
  bool empty() const { return m_order.empty(); }
  CFileNode* front() const { return m_order.empty() ? nullptr : m_order.front(); }
  void push_back(CFileNode* node);
  // The first pending node whose name is `key` (see PairKey); removed.
  CFileNode* TakeFirst(const std::string& key);
  void clear();

  // Lower-case name with its second character replaced by '?'; empty for a
  // name of fewer than 2 characters (which pairs with nothing).
  static std::string PairKey(const char* name);

 private:
  std::list<CFileNode*> m_order;
  std::unordered_map<std::string, std::list<std::list<CFileNode*>::iterator>> m_byKey;
};

// Pairs a node with its pending partner (data file with information file or
// the reverse). A null node changes nothing; into an empty list the node is
// appended (result null); a name of at most 1 character gives null. A
// partner is a pending node whose name, with its second character made the
// node's own kind ("I" for an information file, "R" otherwise), equals the
// node's name ignoring case; the first such is removed and returned. With
// no partner a node named "#..." or "$..." is appended.
CFileNode* MatchRecyclePair(CRecyclePendingList& pending, CFileNode* node);
// Renames the data-file node from the path its information file holds,
// reading the information file with the geometry of its own file system
// (CFileDataReader::Open). Nothing changes on any failure.
void RenameRecycledNode(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode);
// The same, with runs counted in clusters of `sectorsPerCluster` from
// `firstSector` (the sector of cluster 0).
void RestoreRecycledName(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode, uint64_t firstSector,
                         uint32_t sectorsPerCluster);
// The file name the bytes of an information file record ("" when none).
std::string RecycledNameFromInfo(const std::vector<uint8_t>& bytes);
