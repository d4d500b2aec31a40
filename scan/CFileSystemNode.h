// The root node of one file system or found partition: partition geometry,
// file-system type, an opaque volume block, a display name and selection
// statistics over its subtree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "CFileNode.h"

struct SearchedVolumeName;

// Counted over the files (nodes without the directory attribute) of a
// subtree; "checked" means check state 2.
struct FileNodeStatistics {
  uint32_t files = 0;
  uint32_t checkedFiles = 0;
  uint64_t bytes = 0;
  uint64_t checkedBytes = 0;
  uint32_t compressed = 0;
  uint32_t checkedCompressed = 0;
  uint32_t encrypted = 0;
  uint32_t checkedEncrypted = 0;
  bool operator==(const FileNodeStatistics& o) const;
};

class CFileSystemNode : public CFileNode {
 public:
  static constexpr size_t kVolumeInfoSize = 264;
  static constexpr size_t kMaxNameLength = 40;

  CFileSystemNode() { m_volumeInfo.fill(0); }

  // Copies ids, position, statistics, volume block, geometry, type and name;
  // the clone gets fresh root-folder properties.
  CFileNode* Clone() const override;
  int IsFileSystemNode() const override { return 1; }
  int GetPartitionGeometry(uint64_t& startSector, int& sectorsPerCluster) const override;
  EFileSystemType GetFileSystemType() const override { return m_type; }
  // id (8), statistics (40, the checked fields as 0), start sector (8),
  // sectors per cluster (4), type (4), name length (4), name bytes. 1.
  int Save(IScanStream* stream) override;
  // Reads the same; 0 (node unchanged) on a short stream.
  int Load(IScanStream* stream) override;

  void SetPartitionGeometry(uint64_t startSector, int sectorsPerCluster);
  void SetFileSystemType(EFileSystemType type) { m_type = type; }
  int GetVolumeInfo(void* out) const;
  int SetVolumeInfo(const void* in);
  // Toggles the node between 2 and 0; unless `stateOnly`, its subtree
  // follows, its ancestors take 0, 1 or 2 from their children and the
  // statistics of file-system nodes on the way follow.
  int SetNodeCheckState(CFileNode* node, int stateOnly);
  int SetNodeStatusFlag(CFileNode* node, int value);
  int GetStatistics(void* out) const;
  const FileNodeStatistics& Statistics() const { return m_statistics; }
  int RecalculateStatistics();
  // Refreshes every folder's state from its children, then the statistics.
  void RefreshCheckStates();

  // At most the first 40 characters; null leaves the node without a name.
  void SetName(const char* name);
  const char* GetName() const { return m_hasName ? m_name.c_str() : nullptr; }
  // Root-folder properties for the node's type (null for HFS+ and unknown).
  IFileProperties* CreateRootProperties() const;

 private:
  void AdjustStatistics(const FileNodeStatistics& delta, bool selecting);

  FileNodeStatistics m_statistics;
  std::array<uint8_t, kVolumeInfoSize> m_volumeInfo;
  uint64_t m_startSector = 0;
  uint32_t m_sectorsPerCluster = 0;
  EFileSystemType m_type = EFileSystemType::Unknown;
  std::string m_name;
  bool m_hasName = false;
};

CFileSystemNode* CreateFileSystemNode();
inline CFileSystemNode* AllocFileSystemNode() {
  return CreateFileSystemNode();
}

// Folder properties named `name` (attribute 0x10) of the member that fits
// the type: FAT, NTFS, Ext2 (Ext2 and Ext3) and RAW (whose name setter keeps
// nothing) from this library, exFAT and HFS+ from the factory their engine
// registered (ScanEngineRegistry.h); null for any other type or without one.
IFileProperties* CreateFolderProperties(EFileSystemType type, const char* name);

// Clears `out`, walks the subtree breadth first and counts it; with `apply`
// every node visited takes `value` as its check state after being counted.
void ComputeSubtreeStatistics(CFileNode* node, FileNodeStatistics& out, bool apply, uint8_t value);
// Unlinks the zero-size files and then the folders left empty below `root`
// (never the root), collecting them in `removed` for the caller to destroy.
// 0 for a null root.
int PruneEmptyResults(CFileNode* root, std::vector<CFileNode*>& removed);
// The display title of a partition root: "%c:(%s - %s %d)", "%s(%s %d)",
// "%s %d" or "%c:(%s %d)" by letter and label; at most 254 characters.
std::string FormatPartitionDisplayName(const SearchedVolumeName& volume, const char* typeText, int number);
