// Reads the contents of a found file straight from the device through its
// node's data runs. A run {start, length} covers the clusters start ..
// start + length - 1; cluster c lies at sector c x sectors per cluster +
// partition start sector. Clusters of a sparse run read as zeros. Lists held
// inside an NTFS file record (resident lists) are not read here: Read answers
// 0 for them.
#pragma once

#include <cstdint>

class CFileNode;
class IStorageDevice;

class CFileDataReader {
 public:
  CFileDataReader() = default;
  CFileDataReader(const CFileDataReader&) = delete;
  CFileDataReader& operator=(const CFileDataReader&) = delete;
  ~CFileDataReader();

  // 1 when the node can be read with this geometry; 0 for a null device or
  // node, no cluster size, a node without properties, an empty file or a
  // node without data runs.
  int OpenAt(IStorageDevice* device, CFileNode* node, uint64_t partitionStartSector, int sectorsPerCluster);
  // The same with the geometry of the node's file system
  // (CFileNode::GetPartitionGeometry); 0 when the node has none.
  int Open(IStorageDevice* device, CFileNode* node);
  // Reads up to `size` bytes from `offset`, cut at the file size. 0 for an
  // offset at or past the end, a failed device read or a resident list.
  // Runs that end before the file does leave fewer bytes than asked.
  int Read(uint64_t offset, void* destination, uint32_t size, uint32_t& bytesRead);
  // Frees the buffer and forgets the device and node.
  void Close();

 private:
  IStorageDevice* m_device = nullptr;
  CFileNode* m_node = nullptr;
  uint32_t m_bytesPerCluster = 0;
  int m_sectorsPerCluster = 0;
  uint64_t m_fileSize = 0;
  uint64_t m_partitionStart = 0;
  uint8_t* m_buffer = nullptr;  // one cluster
};
