// The result-tree nodes of HFS+ files and folders, made from catalog
// records: the name, ids, size, dates and the fork's extents as a run list
// (in allocation blocks), with the deleted and compressed marks; and the
// saved property sets of such nodes and of an HFS+ tree's root.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CBasicFileProperties.h"
#include "CFileNode.h"
#include "HFSPlusStructs.h"
#include "IDataRunList.h"

class CHFSPlusVolume;
class CFileSystemNode;

// Runs {start, length} in allocation blocks of the volume.
class HFSPlusFileDataRun : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::HFSPlus; }
  // Lengthens the last run when the new one continues it on disk, else
  // appends it.
  void AddRun(uint64_t start, uint64_t length) { AppendMerged(DataRun{start, length}); }
};

enum : uint8_t { kHFSNodeDeleted = 1, kHFSNodeFolder = 2, kHFSNodeCompressed = 4 };
constexpr uint32_t kHFSDirectoryAliasType = 0x66647270;  // 'fdrp'
constexpr uint16_t kHFSFileAttributeFile = 0x20;

// A nonzero HFS+ date (seconds since 1904-01-01 UTC) as a FILETIME; 0 stays 0.
uint64_t HFSPlusDateToFileTime(uint32_t date);
// The bytes a fork's data holds: its logicalSize, or totalBlocks blocks of
// `blockSize` bytes when the logical size is 0.
uint64_t HFSPlusForkSize(const HFSPlusForkData& fork, uint32_t blockSize);
// The run list of a fork, its overflow extents looked up in the volume's
// extents tree, then among the records the journal gave back; a missing or
// empty overflow record ends the list early. Null when the fork has no
// blocks.
std::unique_ptr<HFSPlusFileDataRun> BuildHFSPlusRunList(CHFSPlusVolume* volume, uint32_t fileId, uint8_t forkType,
                                                        const HFSPlusForkData& fork);

class CHFSPlusFileNode : public CFileNode {
 public:
  // A node of the catalog walk or the journal's records (position 0).
  CHFSPlusFileNode(CHFSPlusVolume* volume, const HFSPlusCatalogKey* key, const HFSPlusCatalogRecord* record,
                   bool deleted);
  // A node found at a sector of the device by a scan of the whole device.
  CHFSPlusFileNode(CHFSPlusVolume* volume, uint64_t position, uint32_t partitionIndex, const HFSPlusCatalogKey* key,
                   const HFSPlusCatalogRecord* record);
  ~CHFSPlusFileNode() override;

  const char* GetName() const { return m_name.c_str(); }
  uint64_t GetSize() const { return m_size; }
  void SetSize(uint64_t size);
  uint16_t GetNodeAttributes() const { return m_attributes; }
  uint64_t GetCreationTime() const { return HFSPlusDateToFileTime(m_createDate); }
  uint64_t GetModificationTime() const { return HFSPlusDateToFileTime(m_contentModDate); }
  uint64_t GetAccessTime() const { return HFSPlusDateToFileTime(m_accessDate); }
  uint32_t GetCreateDate() const { return m_createDate; }
  uint32_t GetContentModDate() const { return m_contentModDate; }
  bool IsFolder() const { return m_flags & kHFSNodeFolder; }
  bool IsDeleted() const { return m_flags & kHFSNodeDeleted; }
  void SetDeleted();
  bool IsCompressed() const { return m_flags & kHFSNodeCompressed; }
  // A compressed file takes the uncompressed size its "com.apple.decmpfs"
  // attribute gives; a missing or short attribute is logged and the size
  // stays.
  void CheckCompression();
  uint8_t GetFlags() const { return m_flags; }
  uint32_t GetPartitionIndex() const { return m_partitionIndex; }
  const HFSPlusFileDataRun* GetRunList() const { return m_runs.get(); }
  CHFSPlusVolume* GetVolume() const { return m_volume; }

 private:
  void InitFromCatalogRecord(uint64_t position, const HFSPlusCatalogKey* key, const HFSPlusCatalogRecord* record,
                             bool deleted);

  std::unique_ptr<HFSPlusFileDataRun> m_runs;
  uint32_t m_partitionIndex = 0;
  CHFSPlusVolume* m_volume = nullptr;
  std::string m_name;
  uint64_t m_size = 0;
  uint32_t m_createDate = 0, m_contentModDate = 0, m_accessDate = 0;
  uint16_t m_attributes = 0;
  uint8_t m_flags = 0;
};

// The saved property set of an HFS+ file or folder.
class HFSPlusFileProperties : public CBasicFileProperties {
 public:
  // Everything 0, an empty name, no runs: ready to load.
  static HFSPlusFileProperties* Create();
  // The node's name, size, attributes, times, runs, deleted mark and flags.
  static HFSPlusFileProperties* FromNode(const CHFSPlusFileNode& node);

  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  int GetSupportedFields() const override { return 0xFF; }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::HFSPlus; }
  // u32 name length, the name bytes, u64 size, u16 attributes, three u64
  // times, u16 deleted, u32 status flag, u8 node flags, u32 run count and
  // {u64 start, u64 length} per run.
  bool Save(IScanStream* stream) const override;
  // Reads the same. A name length of 0 ends the record (the root's saved
  // form); a run count of 0 or of 4096 and more leaves no runs.
  bool Load(IScanStream* stream) override;

  uint8_t GetNodeFlags() const { return m_nodeFlags; }
  void SetNodeFlags(uint8_t flags) { m_nodeFlags = flags; }

  static constexpr uint32_t kMaxSavedRuns = 4096;

 private:
  uint8_t m_nodeFlags = 0;
};

// The properties of an HFS+ tree's root: a name, a folder, nothing saved.
class HFSPlusSystemNodeProperties : public CBasicFileProperties {
 public:
  HFSPlusSystemNodeProperties() { m_attributes = kFileAttributeDirectory; }
  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  int64_t GetFileSize() const override { return 0; }
  uint16_t GetAttributes() const override { return kFileAttributeDirectory; }
  int GetSupportedFields() const override { return 199; }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::HFSPlus; }
  // One u32 0.
  bool Save(IScanStream* stream) const override;
  bool Load(IScanStream*) override { return true; }
};

// The root of an HFS+ tree: a file-system node of type HFS+ whose
// properties are named "HFSPlus".
CFileSystemNode* CreateHFSPlusRootNode(uint64_t id, uint64_t position, int sectorsPerCluster);
// Folder properties for the builder's own folders in HFS+ trees.
IFileProperties* CreateHFSPlusFolderProperties(const char* name);
