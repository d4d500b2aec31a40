// The search controllers through which the file-system engines plug into the
// recovery controllers. A quick search walks the file system of one known
// volume; a complete search reads a whole device chunk by chunk and finds
// partitions from their traces.
#pragma once

#include <cstdint>
#include <vector>

#include "FileSystemTypes.h"

class CFileNode;
class CFoundFileStore;
class CSearchedPartitionInfo;
class IDirecotryTreeBuilder;
class IScanProgressSink;
class IScanStream;
class IStorageDevice;

class IFileSystemSearchController {
 public:
  virtual ~IFileSystemSearchController() = default;
  virtual void SetTreeBuilder(IDirecotryTreeBuilder* builder) = 0;
  // Appends the partitions known so far; the records stay the controller's.
  virtual void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) = 0;
};
