// The complete recovery of disk 0 of VANTOREL_DISKS with one registered
// search that does nothing: what the framework itself costs (the cached
// device's read-ahead and the chunk loop) over reading the disk. Used by
// bench/recover-scan.sh, which times it against dd of the same image.
//
//   VANTOREL_DISKS=IMAGE build/bench/recover_scan
#include <cstdio>

#include "CCompleteRecoveryController.h"
#include "CDiskDevice.h"
#include "DiskTable.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDirecotryTreeBuilder.h"
#include "RecoveryEngines.h"
#include "RecoveryListing.h"
#include "ScanEngineRegistry.h"

namespace {

// Takes every chunk and finds nothing.
class IdleSearch : public ICompleteFileSystemSearchController {
 public:
  void SetTreeBuilder(IDirecotryTreeBuilder*) override {}
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void SetDevice(IStorageDevice*) override {}
  void SetSearchOption(int) override {}
  void StartSearch() override {}
  void AnalyzeBlock(uint64_t, uint64_t sectors) override { scanned += sectors; }
  void SetFoundFileStore(CFoundFileStore*) override {}
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>&) override {}
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>&) override {}
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::NTFS; }

  static inline uint64_t scanned = 0;
};

}  // namespace

int main() {
  platform::RefreshDiskTable();
  CDiskDevice disk(0);
  if (disk.GetSectorCount() == 0) {
    fprintf(stderr, "recover_scan: disk 0 of VANTOREL_DISKS does not open\n");
    return 1;
  }
  EngineSelection none;
  for (int e = 0; e < static_cast<int>(ERecoveryEngine::Count); ++e) none.Set(static_cast<ERecoveryEngine>(e), false);
  if (!RegisterRecoveryEngines(none).builder) {
    fprintf(stderr, "recover_scan: no directory-tree builder is registered\n");
    return 1;
  }
  RegisterCompleteSearch(ECompleteSearchKind::NTFS, [] { return new IdleSearch; });
  RecoveryCollector collector;
  CCompleteRecoveryController controller;
  controller.SetFilter(&collector);
  const int code = controller.Recover(&disk, &collector, &collector, "disk 0", 1);
  if (code != 0 || IdleSearch::scanned != disk.GetSectorCount()) {
    fprintf(stderr, "recover_scan: engine code 0x%X, %llu of %llu sectors scanned\n", static_cast<unsigned>(code),
            static_cast<unsigned long long>(IdleSearch::scanned),
            static_cast<unsigned long long>(disk.GetSectorCount()));
    return 1;
  }
  return 0;
}
