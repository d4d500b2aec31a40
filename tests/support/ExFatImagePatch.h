// Byte surgery on exFAT images for tests, and what fls lists of them: the boot-sector geometry, the
// entry set of a name in the root directory's first cluster, and a rewrite
// of its stream entry (first cluster, NoFatChain) with the set's checksum
// made anew, as a writer would leave it.
//
// Header-only.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestUtil.h"

namespace testutil {

struct ExFatLayout {
  uint32_t sectorSize = 0;
  uint32_t clusterSize = 0;
  uint64_t fatOffset = 0;  // bytes
  uint64_t heapOffset = 0;  // bytes
  uint32_t clusterCount = 0;
  uint32_t rootCluster = 0;
  uint64_t ClusterOffset(uint32_t cluster) const { return heapOffset + uint64_t(cluster - 2) * clusterSize; }
};

inline uint32_t ExFatLE32(const uint8_t* p) {
  return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline bool ReadBytesAt(const std::string& image, uint64_t offset, std::vector<uint8_t>& out) {
  const int fd = open(image.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = pread(fd, out.data(), out.size(), static_cast<off_t>(offset));
  close(fd);
  return n == static_cast<ssize_t>(out.size());
}

inline bool WriteBytesAt(const std::string& image, uint64_t offset, const std::vector<uint8_t>& bytes) {
  const int fd = open(image.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
  close(fd);
  return n == static_cast<ssize_t>(bytes.size());
}

inline bool ReadExFatLayout(const std::string& image, ExFatLayout& l) {
  std::vector<uint8_t> b(512);
  if (!ReadBytesAt(image, 0, b)) return false;
  l.sectorSize = 1u << b[108];
  l.clusterSize = l.sectorSize << b[109];
  l.fatOffset = uint64_t(ExFatLE32(&b[80])) * l.sectorSize;
  l.heapOffset = uint64_t(ExFatLE32(&b[88])) * l.sectorSize;
  l.clusterCount = ExFatLE32(&b[92]);
  l.rootCluster = ExFatLE32(&b[96]);
  return true;
}

// The image offset of the File entry (in use or deleted) whose name is
// `name` (ASCII) in the root directory's first cluster; 0 when none is.
inline uint64_t FindRootEntrySet(const std::string& image, const ExFatLayout& l, const std::string& name) {
  std::vector<uint8_t> d(l.clusterSize);
  const uint64_t base = l.ClusterOffset(l.rootCluster);
  if (!ReadBytesAt(image, base, d)) return 0;
  for (size_t at = 0; at + 96 <= d.size(); at += 32) {
    if ((d[at] & 0x7F) != 0x05 || (d[at + 32] & 0x7F) != 0x40 || d[at + 35] != name.size()) continue;
    std::string found;
    for (size_t i = 0; i < name.size() && i < 15; ++i) found += static_cast<char>(d[at + 66 + 2 * i]);
    if (found == name.substr(0, 15)) return base + at;
  }
  return 0;
}

// Rewrites the stream entry of the set at `offset`; false on a failed I/O.
inline bool PatchExFatStream(const std::string& image, uint64_t offset, uint32_t firstCluster, bool noFatChain) {
  std::vector<uint8_t> head(32);
  if (!ReadBytesAt(image, offset, head)) return false;
  std::vector<uint8_t> set(32u * (head[1] + 1u));
  if (!ReadBytesAt(image, offset, set)) return false;
  for (int i = 0; i < 4; ++i) set[52 + i] = static_cast<uint8_t>(firstCluster >> (8 * i));
  set[33] = static_cast<uint8_t>(noFatChain ? set[33] | 0x02 : set[33] & ~0x02);
  // The checksum of the set as it was in use (a deleted set keeps that one).
  uint16_t sum = 0;
  for (size_t i = 0; i < set.size(); ++i) {
    if (i == 2 || i == 3) continue;
    const uint8_t byte = i % 32 == 0 ? static_cast<uint8_t>(set[i] | 0x80) : set[i];
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  set[2] = static_cast<uint8_t>(sum);
  set[3] = static_cast<uint8_t>(sum >> 8);
  return WriteBytesAt(image, offset, set);
}

struct Listed {
  std::string path;
  bool folder;
  bool deleted;
  bool operator<(const Listed& o) const {
    return std::tie(path, folder, deleted) < std::tie(o.path, o.folder, o.deleted);
  }
  bool operator==(const Listed& o) const { return path == o.path && folder == o.folder && deleted == o.deleted; }
};

inline std::ostream& operator<<(std::ostream& os, const Listed& l) {
  return os << (l.deleted ? "* " : "") << l.path << (l.folder ? "/" : "");
}

// fls -r -p: every entry, deleted ones included, without the virtual files
// and the label, bitmap and up-case entries.
inline std::multiset<Listed> Fls(const std::string& image) {
  std::multiset<Listed> out;
  std::istringstream lines(Run({"fls", "-f", "exfat", "-r", "-p", image}).output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line[0] == 'v' || line[0] == 'V') continue;
    const std::string path = line.substr(tab + 1);
    if (path == "$ALLOC_BITMAP" || path == "$UPCASE_TABLE" || path.find("(Volume Label Entry)") != std::string::npos)
      continue;
    // Entries sleuthkit found in clusters no folder leads to: a walk from
    // the root cannot reach them.
    if (path.rfind("$OrphanFiles/", 0) == 0) continue;
    out.insert({path, line[2] == 'd', line.find(" * ") != std::string::npos});
  }
  return out;
}

}  // namespace testutil
