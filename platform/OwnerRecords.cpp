#include "OwnerRecords.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ProcessControl.h"
#include "RunLog.h"

namespace platform {

namespace {

constexpr const char* kFolder = "/run/vantorel/owners";

// FNV-1a: a stable short name for a path.
std::string HashName(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char out[20];
  snprintf(out, sizeof out, "%016" PRIx64, h);
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RecordPath(const std::string& kind, const std::string& key) {
  return std::string(kFolder) + "/" + kind + "-" + key;
}

bool ReadText(const std::string& path, std::string* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  out->clear();
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0 && out->size() < 65536) out->append(buf, static_cast<size_t>(n));
  close(fd);
  return n == 0;
}

// Written whole under a temporary name, then renamed: a reader never sees
// half a record.
void WriteRecord(const std::string& kind, const std::string& key, std::map<std::string, std::string> fields) {
  OwnerRecord record;
  record.kind = kind;
  record.pid = getpid();
  record.startTime = ProcessStartTime(record.pid);
  record.fields = std::move(fields);
  std::string text;
  if (!FormatOwnerRecord(record, &text)) {
    LogError("Owner record %s-%s cannot be written: a value holds a line break", kind.c_str(), key.c_str());
    return;
  }
  mkdir("/run/vantorel", 0755);
  mkdir(kFolder, 0700);
  const std::string path = RecordPath(kind, key);
  const std::string temp = path + ".new-" + std::to_string(record.pid);
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    LogError("Owner record %s cannot be written (%s)", path.c_str(), strerror(errno));
    unlink(temp.c_str());
  }
}

void RemoveRecordFile(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT)
    LogError("Owner record %s stays (%s)", path.c_str(), strerror(errno));
}

// Removes this process's record of `kind` and `key`, never another's.
void ForgetOwn(const std::string& kind, const std::string& key) {
  const std::string path = RecordPath(kind, key);
  std::string text;
  OwnerRecord record;
  if (!ReadText(path, &text) || !ParseOwnerRecord(text, &record)) return;
  if (record.pid == getpid() && record.startTime == ProcessStartTime(getpid())) RemoveRecordFile(path);
}

}  // namespace

std::string OwnerRecordFolder() {
  return kFolder;
}

std::string OwnerRecord::Field(const std::string& key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? std::string() : it->second;
}

uint64_t OwnerRecord::Number(const std::string& key) const {
  return strtoull(Field(key).c_str(), nullptr, 10);
}

bool OwnerGone(pid_t pid, unsigned long long startTime) {
  if (pid <= 0 || startTime == 0) return false;  // not a record we can judge
  const unsigned long long now = ProcessStartTime(pid);
  return now == 0 || now != startTime;
}

bool OwnerGone(const OwnerRecord& record) {
  return OwnerGone(record.pid, record.startTime);
}

bool FormatOwnerRecord(const OwnerRecord& record, std::string* text) {
  *text = "kind=" + record.kind + "\npid=" + std::to_string(record.pid) +
          "\nstart=" + std::to_string(record.startTime) + "\n";
  if (record.kind.find('\n') != std::string::npos) return false;
  for (const auto& [key, value] : record.fields) {
    if (key.find_first_of("=\n") != std::string::npos || value.find('\n') != std::string::npos) return false;
    *text += key + "=" + value + "\n";
  }
  *text += "end=1\n";
  return true;
}

bool ParseOwnerRecord(const std::string& text, OwnerRecord* record) {
  *record = OwnerRecord();
  bool ended = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t eol = text.find('\n', at);
    if (eol == std::string::npos) return false;  // cut short
    const std::string line = text.substr(at, eol - at);
    at = eol + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || ended) return false;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "kind")
      record->kind = value;
    else if (key == "pid")
      record->pid = static_cast<pid_t>(atoi(value.c_str()));
    else if (key == "start")
      record->startTime = strtoull(value.c_str(), nullptr, 10);
    else if (key == "end")
      ended = true;
    else
      record->fields[key] = value;
  }
  return ended && !record->kind.empty() && record->pid > 0 && record->startTime != 0;
}

std::vector<OwnerRecord> ReadOwnerRecords() {
  std::vector<OwnerRecord> out;
  DIR* dir = opendir(kFolder);
  if (!dir) return out;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || name.find(".new-") != std::string::npos) continue;
    const std::string path = std::string(kFolder) + "/" + name;
    std::string text;
    OwnerRecord record;
    if (!ReadText(path, &text) || !ParseOwnerRecord(text, &record)) continue;
    record.file = path;
    out.push_back(record);
  }
  closedir(dir);
  return out;
}

void RemoveOwnerRecord(const OwnerRecord& record) {
  if (!record.file.empty()) RemoveRecordFile(record.file);
}

void RecordOnDemandMount(const std::string& mountPoint, const VolumeLocation& where) {
  WriteRecord("mount", BaseName(mountPoint),
              {{"mountpoint", mountPoint},
               {"device", where.devicePath},
               {"image", where.imagePath},
               {"offset", std::to_string(where.byteOffset)},
               {"length", std::to_string(where.byteLength)},
               {"sectorsize", std::to_string(where.sectorSize)}});
}

void ForgetOnDemandMount(const std::string& mountPoint) {
  ForgetOwn("mount", BaseName(mountPoint));
}

void RecordOwnLoop(const LoopInfo& loop) {
  WriteRecord("loop", BaseName(loop.path),
              {{"path", loop.path},
               {"backingdev", std::to_string(loop.backingDev)},
               {"backingino", std::to_string(loop.backingIno)},
               {"offset", std::to_string(loop.offset)},
               {"sizelimit", std::to_string(loop.sizeLimit)}});
}

void ForgetOwnLoop(const std::string& loopPath) {
  ForgetOwn("loop", BaseName(loopPath));
}

void RecordOwnFolder(const std::string& folder) {
  WriteRecord("folder", HashName(folder), {{"path", folder}});
}

void ForgetOwnFolder(const std::string& folder) {
  ForgetOwn("folder", HashName(folder));
}

bool FolderOfLiveProcess(const std::string& folder) {
  for (const auto& r : ReadOwnerRecords())
    if (r.kind == "folder" && r.Field("path") == folder && !OwnerGone(r)) return true;
  return false;
}

VolumeLocation LocationOfRecord(const OwnerRecord& record) {
  VolumeLocation where;
  where.devicePath = record.Field("device");
  where.imagePath = record.Field("image");
  where.byteOffset = record.Number("offset");
  where.byteLength = record.Number("length");
  where.sectorSize = static_cast<int>(record.Number("sectorsize"));
  return where;
}

}  // namespace platform
