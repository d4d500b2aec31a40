#include "RecoveryRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <vector>

#include "CCompleteRecoveryController.h"
#include "CDeletedRecoveryController.h"
#include "CDirectoryTreeBuilder.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "CScanOptions.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "IQuickFileSystemSearchController.h"
#include "PathOnDisk.h"
#include "RecoveryListing.h"
#include "ScanEngineRegistry.h"

namespace {

struct ControllerDeleter {
  void operator()(IRecoveryController* c) const {
    if (c) c->Release();
  }
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The complete recovery's partitions and trees: every candidate of every
// search, the chosen ones numbered in build order, and each tree under the
// number of its partition (trees without one come after).
void ListComplete(CCompleteRecoveryController& c, const RecoveryCollector& collector, RecoveryListing& listing) {
  std::vector<CSearchedPartitionInfo*> all;
  for (ICompleteFileSystemSearchController* s : c.GetSearches()) s->GetPartitions(all);
  const std::vector<CSearchedPartitionInfo*>& chosen = c.GetChosenPartitions();
  listing.AddPartitions(all, chosen);
  IDirecotryTreeBuilder* builder = c.GetTreeBuilder();
  std::vector<CFileNode*> listed;
  for (size_t i = 0; i < chosen.size(); ++i) {
    CFileNode* root = builder ? builder->GetPartitionRoot(chosen[i]) : nullptr;
    if (!root) continue;
    listing.AddTree(static_cast<int>(i) + 1, root);
    listed.push_back(root);
  }
  int next = static_cast<int>(chosen.size());
  for (CFileNode* root : collector.Roots())
    if (std::find(listed.begin(), listed.end(), root) == listed.end()) listing.AddTree(++next, root);
}

// The deleted-file recovery's one tree; its quick search's first partition
// is the one its nodes are read with.
void ListDeleted(CDeletedRecoveryController& c, const RecoveryCollector& collector, RecoveryListing& listing) {
  std::vector<CSearchedPartitionInfo*> all;
  if (c.GetQuickController()) c.GetQuickController()->GetPartitions(all);
  std::vector<CSearchedPartitionInfo*> first;
  if (!all.empty()) first.push_back(all.front());
  listing.AddPartitions(all, first);
  int number = 0;
  for (CFileNode* root : collector.Roots()) listing.AddTree(++number, root);
}

// Copies the node's bytes to the new file `out`; on any failure no file is
// left. Answers the bytes written, or -1.
int64_t Extract(IRecoveryController& c, IStorageDevice* device, CFileNode* node, const std::string& out, FILE* err) {
  const IFileProperties* props = node->GetProperties();
  const uint64_t size = props && props->GetFileSize() > 0 ? static_cast<uint64_t>(props->GetFileSize()) : 0;
  uint64_t start = 0;
  int sectorsPerCluster = 0;
  CFileDataReader reader;
  if (size > 0 &&
      (!c.GetNodePartition(node, start, sectorsPerCluster) || !reader.OpenAt(device, node, start, sectorsPerCluster))) {
    fprintf(err, "vtctl recover: the file cannot be read (no geometry or no runs)\n");
    return -1;
  }
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    fprintf(err, "vtctl recover: cannot create %s: %s\n", out.c_str(), strerror(errno));
    return -1;
  }
  constexpr uint32_t kChunk = 4u << 20;
  std::vector<uint8_t> buffer(kChunk);
  uint64_t done = 0;
  bool failed = false;
  while (done < size && !failed) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kChunk, size - done));
    uint32_t got = 0;
    if (!reader.Read(done, buffer.data(), want, got)) {
      fprintf(err, "vtctl recover: reading the file failed at byte %" PRIu64 "\n", done);
      failed = true;
      break;
    }
    if (got == 0) break;  // the runs end before the file does
    for (uint32_t at = 0; at < got && !failed;) {
      const ssize_t n = write(fd, buffer.data() + at, got - at);
      if (n <= 0) {
        fprintf(err, "vtctl recover: writing %s failed: %s\n", out.c_str(), strerror(errno));
        failed = true;
      } else {
        at += static_cast<uint32_t>(n);
      }
    }
    done += got;
  }
  if (close(fd) != 0 && !failed) {
    fprintf(err, "vtctl recover: writing %s failed: %s\n", out.c_str(), strerror(errno));
    failed = true;
  }
  if (failed) {
    unlink(out.c_str());
    return -1;
  }
  return static_cast<int64_t>(done);
}

}  // namespace

std::string RefuseExtractTarget(const std::string& out, const platform::DiskEntry& disk) {
  struct stat st;
  if (lstat(out.c_str(), &st) == 0) return out + " exists";
  const std::string folder = FolderOf(out);
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "the folder " + folder + " does not exist";
  if (platform::PathLiesOnDisk(folder, disk)) return "the folder " + folder + " lies on the scanned disk";
  return std::string();
}

int RunRecovery(const RecoveryRequest& request, FILE* out, FILE* err) {
  if (!request.device) return kRecoverUsage;
  if (request.extract) {
    const std::string why = RefuseExtractTarget(request.extractOut, request.disk);
    if (!why.empty()) {
      fprintf(err, "vtctl recover: --extract refused: %s\n", why.c_str());
      return kRecoverUsage;
    }
  }
  const EFileSystemType type = request.fileSystem;
  if (!request.complete) {
    if (IsFatFamily(type) || type == EFileSystemType::NTFS) {
      fprintf(err,
              "vtctl recover: %s volumes have no read-only deleted-file search; use --complete for the complete "
              "recovery of the volume\n",
              ListedTypeName(type));
      return kRecoverEngineError;
    }
    if (!HasQuickSearch(type)) {
      fprintf(err, "vtctl recover: no recovery engine is registered for %s volumes\n", ListedTypeName(type));
      return kRecoverEngineError;
    }
  }
  GetScanOptions()->raw.enabled = request.raw ? 1 : 0;

  RecoveryCollector collector;
  std::unique_ptr<IRecoveryController, ControllerDeleter> controller(
      CreateRecoveryController(static_cast<int>(request.complete ? ERecoveryKind::Complete : ERecoveryKind::Deleted)));
  controller->SetFilter(&collector);
  controller->SetFileSystem(type, request.volumeName.c_str());
  // Many choices: a disk shows up to four partitions.
  const int code = controller->Recover(request.device, &collector, &collector, request.volumeName.c_str(), 1);
  if (code == engine_error::kCompleteNoSearch) {
    fprintf(err, "vtctl recover: no recovery engine is registered\n");
    return kRecoverEngineError;
  }
  if (code != 0) {
    fprintf(err, "vtctl recover: the recovery failed with engine code 0x%X\n", static_cast<unsigned>(code));
    return kRecoverEngineError;
  }

  RecoveryListing listing;
  IDirecotryTreeBuilder* builder = nullptr;
  if (request.complete) {
    auto* complete = static_cast<CCompleteRecoveryController*>(controller.get());
    ListComplete(*complete, collector, listing);
    builder = complete->GetTreeBuilder();
  } else {
    auto* deleted = static_cast<CDeletedRecoveryController*>(controller.get());
    ListDeleted(*deleted, collector, listing);
    builder = deleted->GetTreeBuilder();
  }
  // The builder keeps every cap that dropped something, the engines' too.
  if (const auto* real = dynamic_cast<const CDirectoryTreeBuilder*>(builder))
    for (const CDirectoryTreeBuilder::CapNote& cap : real->GetCapNotes()) listing.AddCap(cap.name, cap.dropped);
  listing.Write(out);
  fflush(out);

  if (request.extract) {
    CFileNode* node = listing.Find(request.extractTree, request.extractPath);
    const IFileProperties* props = node ? node->GetProperties() : nullptr;
    if (!node || (props && (props->GetAttributes() & kFileAttributeDirectory))) {
      fprintf(err, "vtctl recover: no file %s was listed\n", request.extractPath.c_str());
      return kRecoverNothing;
    }
    const int64_t bytes = Extract(*controller, request.device, node, request.extractOut, err);
    if (bytes < 0) return kRecoverNothing;
    fprintf(err, "vtctl recover: %" PRId64 " bytes written to %s", bytes, request.extractOut.c_str());
    if (props && bytes < props->GetFileSize())
      fprintf(err, " (the file's runs end before its %" PRId64 " bytes)", props->GetFileSize());
    fputc('\n', err);
  }
  return listing.HasTrees() ? kRecoverListed : kRecoverNothing;
}
