#include "RecoveryRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CCompleteRecoveryController.h"
#include "CDeletedRecoveryController.h"
#include "CDirectoryTreeBuilder.h"
#include "CFileDataReader.h"
#include "CFileNode.h"
#include "CFoundFileStore.h"
#include "CRawFileInfo.h"
#include "CScanOptions.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "IQuickFileSystemSearchController.h"
#include "IStorageDevice.h"
#include "PathOnDisk.h"
#include "RawFileTypeTable.h"
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

// Writes `size` bytes, read chunk by chunk through `read`, to the new file
// `out`; on any failure no file is left. Answers the bytes written, or -1.
int64_t WriteNewFile(const std::string& out, uint64_t size, FILE* err,
                     const std::function<bool(uint64_t, uint8_t*, uint32_t, uint32_t&)>& read) {
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
    if (!read(done, buffer.data(), want, got)) {
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
  return WriteNewFile(out, size, err, [&](uint64_t at, uint8_t* buffer, uint32_t want, uint32_t& got) {
    if (reader.Read(at, buffer, want, got)) return true;
    fprintf(err, "vtctl recover: reading the file failed at byte %" PRIu64 "\n", at);
    return false;
  });
}

// The carved file's bytes, clipped at the device's end, to the new file
// `out`; on any failure no file is left. Answers the bytes written, or -1.
int64_t ExtractCarved(IStorageDevice* device, const CRawFileInfo& file, const std::string& out, FILE* err) {
  const uint64_t ss = static_cast<uint64_t>(device->GetSectorSize());
  const uint64_t total = device->GetSectorCount();
  const uint64_t start = file.GetStartSector();
  const uint64_t room = start < total ? (total - start) * ss : 0;
  const uint64_t size = std::min<uint64_t>(file.GetFileSize(), room);
  std::vector<uint8_t> sectors;
  return WriteNewFile(out, size, err, [&](uint64_t at, uint8_t* buffer, uint32_t want, uint32_t& got) {
    const uint64_t first = start + at / ss;  // `at` is a multiple of the chunk, so of the sector
    const uint64_t count = (want + ss - 1) / ss;
    sectors.resize(static_cast<size_t>(count * ss));
    if (!device->ReadSectors(sectors.data(), first, count)) {
      fprintf(err, "vtctl recover: reading sectors %" PRIu64 "-%" PRIu64 " failed\n", first, first + count - 1);
      return false;
    }
    std::memcpy(buffer, sectors.data(), want);
    got = want;
    return true;
  });
}

// `carved` lines for the store's records in start order; with `dir`, each
// record with a size is written to DIR/<start offset>.<ext>. Answers the
// number of records, or -1 when a file could not be written.
int64_t ListCarved(CFoundFileStore* store, IStorageDevice* device, const std::string& dir, FILE* out, FILE* err) {
  std::vector<const CRawFileInfo*> files;
  if (store) {
    IIterator<CRawFileInfo*>* it = store->GetIterator();
    for (it->First(); !it->IsDone(); it->Next()) files.push_back(it->CurrentItem());
  }
  std::stable_sort(files.begin(), files.end(), [](const CRawFileInfo* a, const CRawFileInfo* b) {
    return a->GetStartSector() < b->GetStartSector();
  });
  const uint64_t ss = static_cast<uint64_t>(device->GetSectorSize());
  bool failed = false;
  for (const CRawFileInfo* f : files) {
    const int type = f->GetFileType() ? f->GetFileType() : f->GetAnalyserTypeId();
    std::string ext = GetRawFileExtension(type);
    for (char& c : ext) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const uint64_t offset = f->GetStartSector() * ss;
    fprintf(out, "carved\t%" PRIu64 "\t%" PRIu64 "\t%d\t%s\t%s\n", offset, f->GetFileSize(), type,
            ext.empty() ? "-" : ext.c_str(), f->GetNamePrefix().empty() ? "-" : f->GetNamePrefix().c_str());
    if (dir.empty()) continue;
    if (f->GetFileSize() == 0) {
      fprintf(err, "vtctl recover: the carved file at byte %" PRIu64 " has no known size; not written\n", offset);
      continue;
    }
    const std::string path = dir + "/" + CarvedFileName(offset, ext);
    if (ExtractCarved(device, *f, path, err) < 0) failed = true;
  }
  fflush(out);
  return failed ? -1 : static_cast<int64_t>(files.size());
}

}  // namespace

std::string CarvedFileName(uint64_t offset, const std::string& ext) {
  // A user's carving script names its own extension: only letters and
  // digits of it reach the file name, so it cannot lead out of the folder.
  std::string suffix = ext.empty() ? "bin" : ext;
  for (char& c : suffix)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return std::to_string(offset) + "." + suffix;
}

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
  if (!request.extractCarvedDir.empty()) {
    struct stat st;
    if (stat(request.extractCarvedDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      fprintf(err, "vtctl recover: --extract-carved refused: the folder %s does not exist\n",
              request.extractCarvedDir.c_str());
      return kRecoverUsage;
    }
    if (platform::PathLiesOnDisk(request.extractCarvedDir, request.disk)) {
      fprintf(err, "vtctl recover: --extract-carved refused: the folder %s lies on the scanned disk\n",
              request.extractCarvedDir.c_str());
      return kRecoverUsage;
    }
  }
  GetScanOptions()->raw.enabled = request.raw ? 1 : 0;
  if (!request.rawTypes.empty()) GetScanOptions()->raw.enabledFileTypes = request.rawTypes;

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
  int64_t carved = 0;
  if (request.complete && request.raw) {
    auto* complete = static_cast<CCompleteRecoveryController*>(controller.get());
    carved = ListCarved(complete->GetFoundFileStore(), request.device, request.extractCarvedDir, out, err);
    if (carved < 0) return kRecoverNothing;
  }

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
  return listing.HasTrees() || carved > 0 ? kRecoverListed : kRecoverNothing;
}
