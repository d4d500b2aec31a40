// Recognising recycle-bin folders and giving recycled data files ($R...)
// back the names their information files ($I...) recorded.
#pragma once

#include <cstdint>
#include <list>

class CFileNode;
class IStorageDevice;

// A folder node named (ignoring case) "Recycler", "Recycled",
// "$Recycle.Bin" or "$RECYCLE.BI0".
bool IsRecycleBinFolder(const CFileNode* node);
// The node or one of its ancestors is a recycle-bin folder.
bool IsInRecycleBin(const CFileNode* node);
// Name of two or more characters starting "#I" or "$I".
bool IsRecycleInfoFile(const CFileNode* node);
// Pairs a node with its pending partner (data file with information file or
// the reverse); a partner found is removed from the list and returned.
CFileNode* MatchRecyclePair(std::list<CFileNode*>& pending, CFileNode* node);
// Renames the data-file node from the path its information file holds; the
// runs of the information file are device sectors.
void RenameRecycledNode(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode);
// The same, with runs counted in clusters of `sectorsPerCluster` from
// `firstSector` (a FAT data start).
void RestoreRecycledName(IStorageDevice* device, CFileNode* dataNode, CFileNode* infoNode, uint64_t firstSector,
                         uint32_t sectorsPerCluster);
