// The single entry to the scanning engine: one controller serves one scan
// of one storage device. CreateRecoveryController makes one of two kinds:
// the deleted-file controller (a quick search over a volume of known type;
// the free-space wipe's scrub) and the complete controller (every complete
// search over a whole device).
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"

class CFileNode;
class INodeFilter;
class IRecoveryResultSink;
class IScanProgressSink;
class IStorageDevice;
struct WipeTarget;

enum class ERecoveryKind : int { Deleted = 0, Complete = 1 };

class IRecoveryController {
 public:
  virtual ~IRecoveryController() = default;
  virtual ERecoveryKind GetKind() const = 0;
  // Null gives 0 and changes nothing; otherwise keeps the filter, 1.
  virtual int SetFilter(INodeFilter* filter) = 0;
  virtual int Recover(IStorageDevice* device, IScanProgressSink* sink, IRecoveryResultSink* results,
                      const char* volumeName, int parameter) = 0;
  // The free-space wipe's road: the quick search of the volume's type with
  // the write target (device number, start sector).
  virtual int RunQuickSearch(IStorageDevice* device, int deviceNumber, uint64_t partitionStartSector) = 0;
  int RunQuickSearch(IStorageDevice* device, const WipeTarget& target);
  // Deletes the controller.
  void Release() { delete this; }
  // Keeps the type; a name that is not null replaces the volume name.
  virtual void SetFileSystem(EFileSystemType type, const char* volumeName) = 0;
  // 1 with the partition start and sectors per cluster of a result node.
  virtual int GetNodePartition(CFileNode* node, uint64_t& startSector, int& sectorsPerCluster) = 0;
  virtual void Reserved1(int) {}
  virtual void Reserved2(int) {}
  virtual void Cancel() = 0;
};

// 0 (Deleted) or 1 (Complete); null for any other kind.
IRecoveryController* CreateRecoveryController(int kind);
