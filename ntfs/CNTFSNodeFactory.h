// File nodes from NTFS FILE records: the file-system node of a volume or a
// found partition, the node of one FILE record, and the reload of a node's
// properties from its record. Read-only: records are read from the device,
// nothing is ever written.
#pragma once

#include <cstdint>
#include <vector>

class CFileNode;
class CFileSystemNode;
class CNTFSMFTRecordInfo;
class CSearchedPartitionInfo;
class IDirecotryTreeBuilder;
class IStorageDevice;

// A root node of an NTFS volume: folder properties named `displayName`,
// the geometry, type NTFS, id 5, and `label` as its name when it has 1 to
// 64 characters.
CFileSystemNode* CreateNTFSRootNode(const char* displayName, const char* label, uint64_t start,
                                    uint32_t sectorsPerCluster);

class CNTFSNodeFactory {
 public:
  static constexpr int64_t kRootFolderId = 5;
  static constexpr int64_t kReparsePointId = -10;
  // Sectors read when a node is reloaded (at most this many, never past the
  // device's end).
  static constexpr uint32_t kReloadSectors = 128;

  CNTFSNodeFactory(IStorageDevice* device, IDirecotryTreeBuilder* builder) : m_device(device), m_builder(builder) {}

  // The $MFT records found by the search (not owned); the reload looks up
  // the one a record belongs to.
  void SetMFTList(const std::vector<CNTFSMFTRecordInfo*>* list) { m_mftList = list; }

  // A file-system node named `name` ("NTFS" when null or empty) with the
  // geometry, type NTFS and id 5, handed to the builder; its answer (0
  // without a builder).
  int CreateVolumeNode(const char* name, uint64_t start, uint32_t sectorsPerCluster);

  // The node of a FILE record at `sector`, or null for a system record, an
  // extension record or a record without a usable name. With a partition and
  // its $MFT the record number comes from the record's place in the $MFT and
  // the attribute list is resolved through the $MFT's runs.
  CFileNode* CreateFileNodeFromRecord(const uint8_t* record, int length, uint64_t sector,
                                      const CSearchedPartitionInfo* partition, const CNTFSMFTRecordInfo* mft);

  // Refreshes a node whose properties are marked or lack a size from its
  // record (1; 0 when the record no longer holds a valid FILE record), or
  // keeps a node under the root only when its record lies in one of the
  // partition's $MFT runs. 0 without a node or an NTFS partition.
  int LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition);

 private:
  // The $MFT records on the partition's cluster grid whose runs end inside it.
  void SelectPartitionMFTs(const CSearchedPartitionInfo* partition);
  const CNTFSMFTRecordInfo* FindMFTOfSector(uint64_t sector, const CSearchedPartitionInfo* partition) const;
  uint32_t SectorSize() const;

  IStorageDevice* m_device;
  IDirecotryTreeBuilder* m_builder;
  const std::vector<CNTFSMFTRecordInfo*>* m_mftList = nullptr;
  const CSearchedPartitionInfo* m_selectedFor = nullptr;
  std::vector<const CNTFSMFTRecordInfo*> m_partitionMFTs;
};
