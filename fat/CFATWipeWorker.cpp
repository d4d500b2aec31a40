#include "CFATWipeWorker.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CDiskDevice.h"
#include "CFATDirEntry.h"
#include "CScanOptions.h"
#include "CScrubBlockWriter.h"
#include "FATScrubCodes.h"
#include "FatConfig.h"
#include "FatBytes.h"
#include "IFATTable.h"
#include "IMountDriverWriter.h"
#include "IStorageDevice.h"
#include "RunLog.h"

namespace {

// Per-cluster state bits.
constexpr uint8_t kVisited = 0x01;      // read as a directory cluster once already
constexpr uint8_t kPredecessor = 0x02;  // some FAT entry points at it
constexpr uint8_t kLive = 0x04;         // a live entry names it, or a live chain holds it
constexpr uint8_t kZeroed = 0x08;       // its first sector was dealt with

// An invalid entry ends a cluster's scan; this many end the directory.
constexpr int kMaxInvalidEntries = 3;

// The most bytes one read of the zeroing pass takes in, and how many such
// reads are in flight together.
constexpr uint64_t kZeroReadBytes = 1 << 20;
constexpr size_t kZeroSpansInFlight = 16;
// Directory runs read ahead together: at most so many reads, and so many
// bytes of one directory's chain.
constexpr size_t kPrefetchReads = 64;
constexpr uint64_t kPrefetchBytesPerDirectory = 64 << 10;
// Buffers of reads in flight together are aligned for direct I/O.
constexpr uint64_t kBufferAlign = 4096;

uint64_t AlignUp(uint64_t v, uint64_t a) {
  return (v + a - 1) / a * a;
}

struct FreeBytes {
  void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBytes = std::unique_ptr<uint8_t, FreeBytes>;
// The most bytes of a directory's chain read at once (clusters that follow
// each other on the disk).
constexpr uint64_t kDirectoryReadBytes = 256 << 10;

const uint8_t kTemplate[32] = {
    0xE5, 'A',  'L',  'L',  'O', 'W', '~', '1',  // name, marked deleted
    'T',  'L',  'M',                             // extension
    0x20,                                        // archive
    0x00, 0x00,                                  // reserved, creation tenths
    0x00, 0x40,                                  // creation time 08:00:00
    0x21, 0x00,                                  // creation date 1980-01-01
    0x21, 0x00,                                  // access date
    0x00, 0x00,                                  // first cluster high
    0x00, 0x40,                                  // write time
    0x21, 0x00,                                  // write date
    0x00, 0x00,                                  // first cluster low
    0x00, 0x00, 0x00, 0x00,                      // size
};

// 0 at the end marker, -1 for an invalid entry, 1 for one to examine.
int ClassifyEntry(const CFATDirEntry& e) {
  if (e.IsEndMarker()) return 0;
  if (!e.IsValid(0)) return -1;
  return 1;
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

}  // namespace

CFATWipeWorker::CFATWipeWorker(IStorageDevice* device, IFATTable* fatTable, const FATWipeParams& params)
    : m_device(device),
      m_fatType(params.fatType),
      m_driverDeviceNumber(params.driverDeviceNumber),
      m_targetStart(params.targetStart),
      m_volumeStart(params.volumeStart),
      m_sectorsPerCluster(params.sectorsPerCluster),
      m_rootStart(params.rootStart),
      m_rootDirSectors(params.rootDirSectors),
      m_rootCluster(params.rootCluster),
      m_rebuildFlag(params.rebuildFlag),
      m_dataStart(params.dataStart),
      m_totalSectors(params.totalSectors),
      m_fat(fatTable),
      m_sectorSize(device != nullptr ? static_cast<uint32_t>(device->GetSectorSize()) : 512) {
  std::memcpy(m_template, kTemplate, sizeof m_template);
  if (m_fatType == 2) ReadRevise();
}

CFATWipeWorker::~CFATWipeWorker() = default;

const uint8_t* CFATWipeWorker::DeletedEntryTemplate() {
  return kTemplate;
}

void CFATWipeWorker::ReadRevise() { m_revise = ReadReviseSetting(); }

bool CFATWipeWorker::Stopped() const {
  return (m_stop != nullptr && m_stop->load() != 0) || GetScanOptions()->stopFatWalks.load() != 0;
}

bool CFATWipeWorker::ClusterInVolume(uint64_t cluster) const {
  return cluster >= 2 && cluster < m_clusterLimit;
}

uint64_t CFATWipeWorker::ClusterSector(uint64_t cluster) const {
  return m_dataStart + (cluster - 2) * m_sectorsPerCluster;
}

bool CFATWipeWorker::ClusterFree(uint32_t cluster) const {
  if (!ClusterInVolume(cluster) || !m_fat->IsLoaded()) return false;
  if (m_clusterState[cluster] & (kPredecessor | kLive)) return false;
  // Free means all 32 bits clear: reserved bits set are not taken for free.
  return m_fat->GetEntry(cluster) == 0;
}

bool CFATWipeWorker::ReadStrict(uint8_t* buffer, uint64_t sector, uint32_t count) {
  SectorRead read;
  read.buffer = buffer;
  read.first = sector;
  read.count = count;
  return ReadStrictBatch(&read, 1);
}

bool CFATWipeWorker::ReadStrictBatch(SectorRead* reads, size_t n) {
  if (m_readFailed) return false;
  // Blocks still waiting over these sectors reach the disk before they are read.
  for (size_t i = 0; i < n && m_out; ++i)
    if (!m_out->BeforeRead(reads[i].first * m_sectorSize, reads[i].count * m_sectorSize))
      m_lastError = m_out->LastError();
  const size_t whole = m_device->ReadSectorsBatch(reads, n);
  if (whole < n) {
    ReleaseTrace("FAT scrub: read of %" PRIu64 " sectors at %" PRIu64 " failed; nothing more is written",
                 reads[whole].count, reads[whole].first);
    m_readFailed = true;
    if (m_out) m_out->Discard();
    return false;
  }
  return true;
}

bool CFATWipeWorker::ReadBlocks(std::vector<uint8_t>& buffer, uint64_t sector, uint32_t count, size_t* skip,
                                uint64_t* first) {
  uint64_t offset = sector * m_sectorSize, length = static_cast<uint64_t>(count) * m_sectorSize;
  if (m_out) m_out->Widen(&offset, &length);
  *first = offset / m_sectorSize;
  *skip = static_cast<size_t>(offset < sector * m_sectorSize ? sector * m_sectorSize - offset : 0);
  // A directory run read ahead with others is taken as it was read: none
  // of its clusters has been walked (or written) since, or its run would
  // have come out shorter.
  auto ahead = m_prefetched.find(*first);
  if (ahead != m_prefetched.end()) {
    const bool same = ahead->second.size() == length;
    if (same) buffer.swap(ahead->second);
    m_prefetched.erase(ahead);
    if (same) return !m_readFailed;
  }
  buffer.resize(static_cast<size_t>(length));
  return ReadStrict(buffer.data(), *first, static_cast<uint32_t>(length / m_sectorSize));
}

void CFATWipeWorker::WriteChangedSectors(const std::vector<uint8_t>& before, const std::vector<uint8_t>& now,
                                         uint64_t sector) {
  if (m_readFailed || !m_out) return;
  if (!m_out->PutDiff(sector * m_sectorSize, before.data(), now.data(), now.size())) m_lastError = m_out->LastError();
}

void CFATWipeWorker::ReplaceEntry(uint8_t* entry) {
  if (std::memcmp(entry, m_template, sizeof m_template) == 0) return;
  std::memcpy(entry, m_template, sizeof m_template);
  ++m_counters.entriesReplaced;
}

bool CFATWipeWorker::CheckTargetStart() {
  std::vector<uint8_t> boot(m_sectorSize);
  if (!ReadStrict(boot.data(), m_volumeStart, 1)) return false;
  std::unique_ptr<CDiskDevice> own;
  IStorageDevice* disk = m_disk;
  if (disk == nullptr) {
    own = std::make_unique<CDiskDevice>(m_driverDeviceNumber, true);
    disk = own.get();
  }
  const uint32_t diskSectorSize = static_cast<uint32_t>(disk->GetSectorSize());
  if (diskSectorSize == 0 || diskSectorSize != m_sectorSize / m_writerRatio) {
    ReleaseTrace("FAT scrub: disk %d has %u-byte sectors, the writer %u", m_driverDeviceNumber, diskSectorSize,
                 m_sectorSize / m_writerRatio);
    return false;
  }
  const uint64_t diskSectors = disk->GetSectorCount();
  const uint64_t first = m_targetStart + m_volumeStart * m_writerRatio;
  if (diskSectors == 0 || m_targetStart > diskSectors || m_writeEnd > (diskSectors - m_targetStart) / m_writerRatio) {
    ReleaseTrace("FAT scrub: the volume does not fit disk %d at %" PRIu64, m_driverDeviceNumber, m_targetStart);
    return false;
  }
  std::vector<uint8_t> onDisk(m_sectorSize);
  if (!disk->ReadSectors(onDisk.data(), first, m_writerRatio)) {
    ReleaseTrace("FAT scrub: disk %d sector %" PRIu64 " unreadable", m_driverDeviceNumber, first);
    return false;
  }
  if (std::memcmp(onDisk.data(), boot.data(), m_sectorSize) != 0) {
    ReleaseTrace("FAT scrub: disk %d sector %" PRIu64 " is not this volume's boot sector", m_driverDeviceNumber, first);
    return false;
  }
  return true;
}

uint32_t CFATWipeWorker::NextCluster(uint32_t cluster) const {
  // FAT32 entries keep four reserved bits on top.
  const uint32_t next = m_fat->GetEntry(cluster);
  return m_fat32 ? next & 0x0FFFFFFFu : next;
}

void CFATWipeWorker::BuildPredecessorMap() {
  for (uint64_t c = 2; c < m_clusterLimit; ++c) {
    const uint32_t next = NextCluster(static_cast<uint32_t>(c));
    if (next >= 2 && next < m_clusterLimit) m_clusterState[next] |= kPredecessor;
  }
}

bool CFATWipeWorker::StartsWithDots(const uint8_t* cluster, uint32_t self) const {
  CFATDirEntry dot(cluster);
  CFATDirEntry dotDot(cluster + 32);
  if (!IsDotEntry(dot) || !IsDotDotEntry(dotDot)) return false;
  uint32_t named = ReadLE16(cluster + 26);
  if (m_fat32) named |= static_cast<uint32_t>(ReadLE16(cluster + 20)) << 16;
  return named == self;
}

void CFATWipeWorker::ExamineLiveEntry(uint8_t* p, int depth, bool* changed) {
  CFATDirEntry e(p);
  if (e.IsHiddenSystemDirectory()) return;
  uint32_t cluster = ReadLE16(p + 26);
  if (m_fat32) cluster |= static_cast<uint32_t>(ReadLE16(p + 20)) << 16;
  if (e.IsLongNameEntry()) {
    if (e.IsDeleted()) {
      ReplaceEntry(p);
      *changed = true;
    }
    return;
  }
  if (e.IsDeleted()) {
    if (e.IsDirectory()) {
      if (cluster != 0) m_deletedDirs.push_back({cluster, depth + 1});
    } else if (cluster != 0) {
      m_zeroCandidates.push_back(cluster);
    }
    ReplaceEntry(p);
    *changed = true;
    return;
  }
  // Live: whatever it names stays.
  if (ClusterInVolume(cluster)) m_clusterState[cluster] |= kLive;
  if (e.IsDirectory() && !IsDotEntry(e) && !IsDotDotEntry(e) && cluster != 0) {
    if (depth + 1 > kMaxDepth) {
      ++m_counters.depthLimitHits;
      return;
    }
    m_liveDirs.push_back({cluster, depth + 1});
  }
}

void CFATWipeWorker::WipeFixedRoot() {
  if (m_rootDirSectors == 0) return;
  if (Stopped()) {
    m_cancelled = true;
    return;
  }
  const size_t bytes = static_cast<size_t>(m_rootDirSectors) * m_sectorSize;
  std::vector<uint8_t> now;
  size_t skip = 0;
  uint64_t first = 0;
  if (!ReadBlocks(now, m_rootStart, m_rootDirSectors, &skip, &first)) return;
  const std::vector<uint8_t> before = now;
  uint8_t* root = now.data() + skip;
  bool changed = false;
  for (size_t off = 0; off + 32 <= bytes; off += 32) {
    CFATDirEntry e(root + off);
    const int kind = ClassifyEntry(e);
    if (kind == 0) break;  // nothing after the end marker is touched
    if (kind < 0) continue;
    ExamineLiveEntry(root + off, 0, &changed);
  }
  ++m_counters.directoriesWalked;
  if (changed) WriteChangedSectors(before, now, first);
}

uint32_t CFATWipeWorker::RunFrom(uint32_t cluster, uint32_t maxRun) const {
  // The clusters of the chain that follow this one on the disk come in with
  // the same read.
  uint32_t run = 1;
  while (run < maxRun && NextCluster(cluster + run - 1) == cluster + run && ClusterInVolume(cluster + run) &&
         !(m_clusterState[cluster + run] & kVisited))
    ++run;
  return run;
}

void CFATWipeWorker::PrefetchDirectories() {
  if (!m_prefetch || m_readFailed || m_liveDirs.empty()) return;
  if (m_prefetched.count(ClusterSector(m_liveDirs.back().cluster))) return;
  const uint64_t clusterBytes = static_cast<uint64_t>(m_sectorsPerCluster) * m_sectorSize;
  const uint32_t maxRun = static_cast<uint32_t>(std::max<uint64_t>(1, kDirectoryReadBytes / clusterBytes));
  // The runs the walks of the next directories on the stack will read,
  // each directory's chain up to kPrefetchBytesPerDirectory.
  std::vector<SectorRead> reads;
  uint64_t total = 0;
  size_t examined = 0;
  for (auto dir = m_liveDirs.rbegin();
       dir != m_liveDirs.rend() && reads.size() < kPrefetchReads && examined++ < kPrefetchReads; ++dir) {
    uint32_t cluster = dir->cluster;
    uint64_t bytes = 0;
    while (ClusterInVolume(cluster) && !(m_clusterState[cluster] & kVisited) && bytes < kPrefetchBytesPerDirectory &&
           reads.size() < kPrefetchReads) {
      const uint32_t run = RunFrom(cluster, maxRun);
      SectorRead read;
      read.first = ClusterSector(cluster);
      read.count = static_cast<uint64_t>(run) * m_sectorsPerCluster;
      if (m_prefetched.count(read.first) == 0) {
        read.buffer = reinterpret_cast<void*>(static_cast<uintptr_t>(total));  // its place, set below
        total += read.count * m_sectorSize;
        reads.push_back(read);
      }
      bytes += read.count * m_sectorSize;
      const uint32_t next = NextCluster(cluster + run - 1);
      if (next < 2 || next >= 0x0FFFFFF7u) break;
      cluster = next;
    }
  }
  if (reads.size() < 2) return;  // one read gains nothing from going ahead
  AlignedBytes batch(static_cast<uint8_t*>(std::aligned_alloc(kBufferAlign, AlignUp(total, kBufferAlign))));
  if (!batch) return;
  for (SectorRead& r : reads) r.buffer = batch.get() + reinterpret_cast<uintptr_t>(r.buffer);
  if (!ReadStrictBatch(reads.data(), reads.size())) return;
  for (const SectorRead& r : reads) {
    const auto* bytes = static_cast<const uint8_t*>(r.buffer);
    m_prefetched[r.first].assign(bytes, bytes + r.count * m_sectorSize);
  }
}

void CFATWipeWorker::WipeLiveDirectory(uint32_t firstCluster, int depth, bool isRoot) {
  const size_t bytes = static_cast<size_t>(m_sectorsPerCluster) * m_sectorSize;
  const uint32_t maxRun = static_cast<uint32_t>(std::max<uint64_t>(1, kDirectoryReadBytes / bytes));
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> before;
  uint32_t cluster = firstCluster;
  bool first = true;
  int invalid = 0;
  for (;;) {
    if (Stopped()) {
      m_cancelled = true;
      return;
    }
    if (!ClusterInVolume(cluster) || (m_clusterState[cluster] & kVisited)) return;
    const uint32_t run = RunFrom(cluster, maxRun);
    size_t skip = 0;
    uint64_t firstRead = 0;
    if (!ReadBlocks(buffer, ClusterSector(cluster), run * m_sectorsPerCluster, &skip, &firstRead)) return;
    before = buffer;
    bool changed = false;
    for (uint32_t i = 0; i < run; ++i, first = false) {
      const uint32_t c = cluster + i;
      if (i > 0 && Stopped()) {
        m_cancelled = true;
        return;
      }
      m_clusterState[c] |= kVisited | kLive;
      uint8_t* now = buffer.data() + skip + i * bytes;
      size_t off = 0;
      if (first && !isRoot) {
        // A directory starts with "." naming itself and "..".
        if (!StartsWithDots(now, c)) {
          DebugTrace("FAT scrub: cluster %u named as a directory holds none", c);
          return;
        }
        off = 64;
      }
      if (first) ++m_counters.directoriesWalked;
      bool ended = false;
      for (; off + 32 <= bytes; off += 32) {
        CFATDirEntry e(now + off);
        const int kind = ClassifyEntry(e);
        if (kind == 0) {
          ended = true;
          break;
        }
        if (kind < 0) {
          if (++invalid < kMaxInvalidEntries) break;
          // This cluster's changes are dropped; those before it stand.
          std::memcpy(now, before.data() + skip + i * bytes, bytes);
          ended = true;
          break;
        }
        ExamineLiveEntry(now + off, depth, &changed);
      }
      if (ended) {
        if (changed) WriteChangedSectors(before, buffer, firstRead);
        return;
      }
    }
    if (changed) WriteChangedSectors(before, buffer, firstRead);
    const uint32_t next = NextCluster(cluster + run - 1);
    if (next < 2 || next >= 0x0FFFFFF7u) return;
    cluster = next;
    first = false;
  }
}

void CFATWipeWorker::WipeDeletedDirectory(uint32_t cluster, int depth) {
  if (depth > kMaxDepth) {
    ++m_counters.depthLimitHits;
    return;
  }
  if (!ClusterInVolume(cluster) || (m_clusterState[cluster] & kVisited)) return;
  if (!ClusterFree(cluster)) {
    ++m_counters.clustersInUseSkipped;
    return;
  }
  m_clusterState[cluster] |= kVisited;
  const size_t bytes = static_cast<size_t>(m_sectorsPerCluster) * m_sectorSize;
  std::vector<uint8_t> buffer;
  size_t skip = 0;
  uint64_t firstRead = 0;
  if (!ReadBlocks(buffer, ClusterSector(cluster), m_sectorsPerCluster, &skip, &firstRead)) return;
  uint8_t* now = buffer.data() + skip;
  if (!StartsWithDots(now, cluster)) return;
  const std::vector<uint8_t> before = buffer;
  bool changed = false;
  int invalid = 0;
  // Everything inside a deleted directory is deleted, whatever its own mark.
  for (size_t off = 64; off + 32 <= bytes; off += 32) {
    uint8_t* p = now + off;
    CFATDirEntry e(p);
    const int kind = ClassifyEntry(e);
    if (kind == 0) break;
    if (kind < 0) {
      if (++invalid >= kMaxInvalidEntries) return;
      break;
    }
    if (e.IsHiddenSystemDirectory()) continue;
    if (!e.IsLongNameEntry()) {
      uint32_t named = ReadLE16(p + 26);
      if (m_fat32) named |= static_cast<uint32_t>(ReadLE16(p + 20)) << 16;
      if (e.IsDirectory()) {
        if (named != 0) m_deletedDirs.push_back({named, depth + 1});
      } else if (named != 0) {
        m_zeroCandidates.push_back(named);
      }
    }
    ReplaceEntry(p);
    changed = true;
  }
  ++m_counters.deletedDirectoriesWalked;
  if (changed) WriteChangedSectors(before, buffer, firstRead);
}

void CFATWipeWorker::ZeroFirstSectors() {
  std::vector<uint32_t> clusters;
  clusters.reserve(m_zeroCandidates.size());
  for (uint32_t c : m_zeroCandidates) {
    if (!ClusterInVolume(c) || (m_clusterState[c] & kZeroed)) continue;
    m_clusterState[c] |= kZeroed;
    if (!ClusterFree(c)) {
      ++m_counters.clustersInUseSkipped;
      continue;
    }
    clusters.push_back(c);
  }
  if (clusters.empty()) return;
  std::sort(clusters.begin(), clusters.end());
  // Neighbouring clusters are read with one read of the sectors between
  // them (at most kZeroReadBytes, widened to whole blocks); only their first
  // sectors may be written. Up to kZeroSpansInFlight such reads go out
  // together; a span whose blocks meet the one before it waits for the next
  // batch, so that it is read after that one's changes are staged.
  const uint64_t ss = m_sectorSize;
  const uint64_t maxSpan = std::max<uint64_t>(1, kZeroReadBytes / ss);
  const uint64_t spanBytes = AlignUp(maxSpan * ss + 2 * static_cast<uint64_t>(m_out->BlockSize()), kBufferAlign);
  AlignedBytes buffer(static_cast<uint8_t*>(std::aligned_alloc(kBufferAlign, spanBytes * kZeroSpansInFlight)));
  if (!buffer) {
    ReleaseTrace("FAT scrub: no memory for the clusters to zero");
    m_readFailed = true;
    m_out->Discard();
    return;
  }
  struct Span {
    size_t from, to;  // the clusters in it
    size_t at;        // where its bytes lie in the buffer
  };
  std::vector<Span> spans;
  std::vector<SectorRead> reads;
  std::vector<uint8_t> changed;
  size_t i = 0;
  while (i < clusters.size() && !m_readFailed) {
    if (Stopped()) {
      m_cancelled = true;
      return;
    }
    spans.clear();
    reads.clear();
    uint64_t lastEnd = 0;
    while (i < clusters.size() && spans.size() < kZeroSpansInFlight) {
      const uint64_t first = ClusterSector(clusters[i]);
      size_t j = i + 1;
      while (j < clusters.size() && ClusterSector(clusters[j]) + 1 - first <= maxSpan) ++j;
      uint64_t offset = first * ss, length = (ClusterSector(clusters[j - 1]) + 1 - first) * ss;
      m_out->Widen(&offset, &length);
      if (!spans.empty() && offset < lastEnd) break;
      lastEnd = offset + length;
      SectorRead read;
      read.buffer = buffer.get() + spans.size() * spanBytes;
      read.first = offset / ss;
      read.count = length / ss;
      spans.push_back({i, j, spans.size() * spanBytes});
      reads.push_back(read);
      i = j;
    }
    if (!ReadStrictBatch(reads.data(), reads.size())) return;
    for (size_t r = 0; r < spans.size(); ++r) {
      uint8_t* span = buffer.get() + spans[r].at;
      const uint64_t firstRead = reads[r].first;
      changed.assign(static_cast<size_t>(reads[r].count), 0);
      bool any = false;
      for (size_t k = spans[r].from; k < spans[r].to; ++k) {
        const size_t s = static_cast<size_t>(ClusterSector(clusters[k]) - firstRead);
        uint8_t* sector = span + s * ss;
        if (AllZero(sector, m_sectorSize)) continue;
        std::memset(sector, 0, m_sectorSize);
        changed[s] = 1;
        any = true;
        ++m_counters.sectorsZeroed;
      }
      if (any && !m_out->Put(firstRead * ss, span, static_cast<size_t>(reads[r].count * ss), changed.data()))
        m_lastError = m_out->LastError();
    }
  }
}

int CFATWipeWorker::WipeDeletedEntries() {
  m_counters = FATWipeCounters();
  m_readFailed = false;
  m_cancelled = false;
  m_lastError = 0;
  m_fat32 = m_fatType == 2 ? 1 : 0;
  if (m_device == nullptr) return fatscrub::kNoDevice;
  if (m_fatType != 1 && m_fatType != 2) return fatscrub::kNoBootSector;
  if (m_fat == nullptr || !m_fat->IsLoaded()) return fatscrub::kNotClean;
  if (!fatbytes::IsSupportedSectorSize(m_sectorSize) || m_sectorsPerCluster == 0) return fatscrub::kBadGeometry;

  // The write window: from the first directory sector to the end of the
  // file system, clipped to the device.
  const uint64_t deviceSectors = m_device->GetSectorCount();
  if (deviceSectors <= m_volumeStart) return fatscrub::kBadGeometry;
  m_writeEnd = m_volumeStart + std::min(m_totalSectors, deviceSectors - m_volumeStart);
  m_writeBegin = m_fatType == 1 ? m_rootStart : m_dataStart;
  if (m_writeBegin <= m_volumeStart || m_writeBegin >= m_writeEnd || m_dataStart > m_writeEnd ||
      (m_fatType == 1 && m_rootStart + m_rootDirSectors > m_dataStart))
    return fatscrub::kBadGeometry;
  m_clusterLimit = (m_writeEnd - m_dataStart) / m_sectorsPerCluster + 2;

  uint32_t openError = 0;
  m_writer = OpenMountDriver(m_driverDeviceNumber, &openError);
  if (!m_writer) {
    m_lastError = openError;
    ReleaseTrace("FAT scrub: writer of disk %d not opened (%u)", m_driverDeviceNumber, openError);
    return fatscrub::kNoWriter;
  }
  const int writerSectorSize = m_writer->GetSectorSize();
  if (writerSectorSize <= 0 || m_sectorSize % static_cast<uint32_t>(writerSectorSize) != 0) {
    m_writer.reset();
    return fatscrub::kBadGeometry;
  }
  m_writerRatio = m_sectorSize / static_cast<uint32_t>(writerSectorSize);
  if (!CheckTargetStart()) {
    m_writer.reset();
    return m_readFailed ? fatscrub::kReadFailed : fatscrub::kWrongTarget;
  }

  m_out = std::make_unique<CScrubBlockWriter>(m_writer.get(), m_targetStart * static_cast<uint64_t>(writerSectorSize),
                                              m_sectorSize, m_writeBegin * m_sectorSize, m_writeEnd * m_sectorSize);
  // The deleted files' clusters lie scattered between live ones: their
  // blocks go out in batches, many in flight at once.
  m_out->EnableBatches();
  m_clusterState.assign(static_cast<size_t>(m_clusterLimit), 0);
  m_liveDirs.clear();
  m_deletedDirs.clear();
  m_zeroCandidates.clear();
  BuildPredecessorMap();

  // Live directories first, so that every live entry is known before any
  // free cluster is touched.
  if (m_fatType == 1)
    WipeFixedRoot();
  else
    WipeLiveDirectory(m_rootCluster, 0, true);
  // Clusters made of whole disk blocks share none: the directories next on
  // the stack can be read ahead, together, without any of them holding
  // bytes another's walk changes first.
  const uint64_t blockSize = m_out->BlockSize();
  const uint64_t dataDiskByte = m_targetStart * static_cast<uint64_t>(writerSectorSize) + m_dataStart * m_sectorSize;
  m_prefetch = blockSize != 0 && (static_cast<uint64_t>(m_sectorsPerCluster) * m_sectorSize) % blockSize == 0 &&
               dataDiskByte % blockSize == 0;
  m_prefetched.clear();
  while (!m_liveDirs.empty() && !m_readFailed && !m_cancelled) {
    PrefetchDirectories();
    if (m_readFailed) break;
    const PendingDir dir = m_liveDirs.back();
    m_liveDirs.pop_back();
    WipeLiveDirectory(dir.cluster, dir.depth, false);
  }
  m_prefetched.clear();
  m_prefetch = false;
  // Then directories reached through deleted entries, then the first
  // sectors of the deleted files' clusters.
  while (!m_deletedDirs.empty() && !m_readFailed && !m_cancelled) {
    if (Stopped()) {
      m_cancelled = true;
      break;
    }
    const PendingDir dir = m_deletedDirs.back();
    m_deletedDirs.pop_back();
    WipeDeletedDirectory(dir.cluster, dir.depth);
  }
  if (!m_readFailed && !m_cancelled) ZeroFirstSectors();
  // What is staged goes out unless a failed read or the stop came first.
  if (!m_readFailed && !m_cancelled && !m_out->Flush()) m_lastError = m_out->LastError();
  m_out->Discard();
  m_counters.sectorsWritten = m_out->SectorsWritten();
  m_counters.writesFailed = m_out->FailedWrites();
  m_out.reset();
  m_writer.reset();  // closing flushes

  LogInfo("FAT scrub: %" PRIu64 " entries replaced, %" PRIu64 " sectors zeroed, %" PRIu64 " writes failed",
          m_counters.entriesReplaced, m_counters.sectorsZeroed, m_counters.writesFailed);
  if (m_cancelled) return fatscrub::kCancelled;
  if (m_readFailed) return fatscrub::kReadFailed;
  if (m_counters.writesFailed != 0) return fatscrub::kWriteFailed;
  return fatscrub::kDone;
}
