// Reads the contents of a found file straight from the device through its
// node's data runs. A run {start, length} covers the clusters start ..
// start + length - 1; cluster c lies at sector c x sectors per cluster +
// partition start sector. Clusters of a sparse run read as zeros. Runs that
// continue each other on disk are read in large device reads, straight into
// the caller's buffer; only the partial sectors at either end of a request go
// through the reader's own staging buffer.
//
// Data an NTFS file keeps inside its own file record (a resident list) is
// read through the resident-data reader the NTFS engine registers
// (RegisterResidentDataReader in ScanEngineRegistry.h); with none
// registered, Read answers 0 for such a file.
//
// Ownership: the reader owns its staging buffer and a copy of the node's
// runs, taken when it opens (the list the properties hand out is deleted at
// once). It does not own the device or the node: both stay the caller's and
// must outlive the reader's use of them, up to Close or the destructor; a
// change to the node's runs after opening is not seen until it opens again.
// Every operation answers 1 (done) or 0 (failed), never -1. After an Open or
// OpenAt that answers 0 the reader holds nothing. A Read that answers 1 has
// written `bytesRead` bytes to the destination, which may be fewer than asked
// when the runs end before the file does; a Read that answers 0 sets
// `bytesRead` to 0 and leaves the destination's contents undefined.
#pragma once

#include <cstdint>
#include <vector>

#include "IDataRunList.h"

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
  // offset at or past the end, a failed device read, or a resident value
  // that cannot be read or ends at or before the offset.
  int Read(uint64_t offset, void* destination, uint32_t size, uint32_t& bytesRead);
  // Frees the buffer and forgets the device, the node and the runs.
  void Close();

  // The most bytes a resident value may hold to be read.
  static constexpr uint32_t kResidentCapacity = 64u << 10;

 private:
  int ReadResident(uint64_t offset, uint8_t* destination, uint32_t size, uint32_t& bytesRead);
  // `length` bytes starting `skip` bytes into sector `sector`.
  int ReadSpan(uint64_t sector, uint64_t skip, uint8_t* destination, uint64_t length);

  IStorageDevice* m_device = nullptr;
  CFileNode* m_node = nullptr;
  uint32_t m_bytesPerCluster = 0;
  int m_sectorsPerCluster = 0;
  uint32_t m_sectorSize = 0;
  uint64_t m_fileSize = 0;
  uint64_t m_partitionStart = 0;
  bool m_resident = false;
  std::vector<DataRun> m_runs;
  std::vector<uint64_t> m_runFirst;  // the virtual cluster where each run begins
  uint8_t* m_buffer = nullptr;       // staging buffer of m_bufferBytes
  uint32_t m_bufferBytes = 0;
};
