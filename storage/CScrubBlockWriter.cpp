#include "CScrubBlockWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "IMountDriverWriter.h"
#include "RunLog.h"

namespace {

constexpr uint32_t kMinBlockBytes = 4096;

}  // namespace

void CScrubBlockWriter::FreeAligned::operator()(uint8_t* p) const {
  std::free(p);
}

CScrubBlockWriter::CScrubBlockWriter(IMountDriverWriter* writer, uint64_t volumeDiskByte, uint32_t sectorSize,
                                     uint64_t windowBegin, uint64_t windowEnd)
    : m_writer(writer),
      m_volumeDiskByte(volumeDiskByte),
      m_sectorSize(sectorSize),
      m_unit(writer && writer->GetSectorSize() > 0 ? static_cast<uint32_t>(writer->GetSectorSize()) : 512),
      m_blockSize(sectorSize),
      m_windowBegin(windowBegin),
      m_windowEnd(windowEnd) {
  const uint32_t asked = writer && writer->GetBlockSize() > 0 ? static_cast<uint32_t>(writer->GetBlockSize()) : 0;
  const uint32_t block = std::max({kMinBlockBytes, asked, sectorSize});
  // Blocks are whole volume sectors, on the disk's block boundaries.
  if (sectorSize != 0 && block % sectorSize == 0 && volumeDiskByte % sectorSize == 0) m_blockSize = block;
  m_capacity = std::max<uint64_t>(kMaxWriteBytes, m_blockSize);
  m_stage.reset(static_cast<uint8_t*>(std::aligned_alloc(std::max<size_t>(m_blockSize, 4096), m_capacity)));
}

void CScrubBlockWriter::EnableBatches() {
  if (!m_runs.empty() || !m_stage) return;
  const uint64_t capacity = std::max<uint64_t>(kBatchBytes, m_blockSize);
  auto* stage = static_cast<uint8_t*>(std::aligned_alloc(std::max<size_t>(m_blockSize, 4096), capacity));
  if (!stage) return;  // one write at a time, as before
  m_stage.reset(stage);
  m_capacity = capacity;
  m_batchWrites = kBatchWrites;
}

CScrubBlockWriter::~CScrubBlockWriter() = default;

void CScrubBlockWriter::Widen(uint64_t* offset, uint64_t* length) const {
  const uint64_t b = m_blockSize;
  const uint64_t start = *offset, end = *offset + *length;
  const uint64_t diskStart = (m_volumeDiskByte + start) / b * b;
  const uint64_t from = diskStart < m_volumeDiskByte ? 0 : diskStart - m_volumeDiskByte;
  const uint64_t to = (m_volumeDiskByte + end + b - 1) / b * b - m_volumeDiskByte;
  const uint64_t newStart = std::min(start, std::max(from, m_windowBegin));
  const uint64_t newEnd = std::max(end, std::min(to, m_windowEnd));
  *offset = newStart;
  *length = newEnd - newStart;
}

bool CScrubBlockWriter::BeforeRead(uint64_t offset, uint64_t length) {
  // The runs do not overlap: the last one starting before the read's end is
  // the only one that can reach into it.
  auto it = m_runs.lower_bound(offset + length);
  if (it == m_runs.begin()) return true;
  --it;
  if (it->first + it->second.length <= offset) return true;
  return Flush();
}

bool CScrubBlockWriter::Put(uint64_t offset, const uint8_t* now, size_t length, const uint8_t* changed) {
  const uint64_t ss = m_sectorSize, b = m_blockSize;
  const uint64_t sectors = length / ss;
  const uint64_t end = offset + sectors * ss;
  bool ok = true;
  for (uint64_t i = 0; i < sectors;) {
    if (!changed[i]) {
      ++i;
      continue;
    }
    const uint64_t at = offset + i * ss;
    const uint64_t diskBlock = (m_volumeDiskByte + at) / b * b;
    const bool inVolume = diskBlock >= m_volumeDiskByte;
    const uint64_t blockStart = inVolume ? diskBlock - m_volumeDiskByte : 0;
    const uint64_t blockEnd = inVolume ? blockStart + b : 0;
    if (inVolume && blockStart >= offset && blockEnd <= end && blockStart >= m_windowBegin && blockEnd <= m_windowEnd) {
      if (!Stage(now + (blockStart - offset), blockStart)) ok = false;
      i = (blockEnd - offset) / ss;
      continue;
    }
    // A block the region or the window cuts: its changed sectors alone.
    const uint64_t stop = std::min(end, (m_volumeDiskByte + at) / b * b + b - m_volumeDiskByte);
    uint64_t j = i;
    while (j < sectors && offset + j * ss < stop && changed[j]) ++j;
    if (!Write(now + i * ss, at, (j - i) * ss)) ok = false;
    i = j;
  }
  return ok;
}

bool CScrubBlockWriter::PutDiff(uint64_t offset, const uint8_t* before, const uint8_t* now, size_t length) {
  const size_t ss = m_sectorSize;
  const size_t sectors = length / ss;
  std::unique_ptr<uint8_t[]> changed(new uint8_t[sectors ? sectors : 1]);
  bool any = false;
  for (size_t i = 0; i < sectors; ++i) {
    changed[i] = std::memcmp(before + i * ss, now + i * ss, ss) != 0;
    any = any || changed[i];
  }
  return !any || Put(offset, now, length, changed.get());
}

bool CScrubBlockWriter::Stage(const uint8_t* block, uint64_t offset) {
  const uint64_t b = m_blockSize;
  const uint64_t capacity = m_capacity;
  auto it = m_runs.upper_bound(offset);
  if (it != m_runs.begin()) {
    --it;
    if (offset + b <= it->first + it->second.length) {
      std::memcpy(m_stage.get() + it->second.at + (offset - it->first), block, b);  // the same block, newer bytes
      return true;
    }
  }
  // A block right after the run staged last joins it, up to one write's size.
  auto last = m_runs.find(m_lastRun);
  if (last != m_runs.end() && offset == last->first + last->second.length &&
      last->second.length + b <= std::max<uint64_t>(kMaxWriteBytes, b) && m_staged + b <= capacity) {
    std::memcpy(m_stage.get() + m_staged, block, b);
    m_staged += b;
    last->second.length += b;
    return true;
  }
  bool ok = true;
  if (m_staged + b > capacity || m_runs.size() >= m_batchWrites) ok = Flush();
  std::memcpy(m_stage.get() + m_staged, block, b);
  m_runs[offset] = Run{b, m_staged};
  m_lastRun = offset;
  m_staged += b;
  return ok;
}

bool CScrubBlockWriter::Flush() {
  if (m_runs.empty()) return true;
  std::vector<SectorWrite> pieces;
  pieces.reserve(m_runs.size());
  bool ok = true;
  for (const auto& [offset, run] : m_runs) {
    if (!Allowed(offset, run.length)) {
      ok = false;
      continue;
    }
    SectorWrite p;
    p.buffer = m_stage.get() + run.at;
    p.first = (m_volumeDiskByte + offset) / m_unit;
    p.count = run.length / m_unit;
    pieces.push_back(p);
  }
  Discard();
  if (pieces.empty()) return ok;
  m_writer->WriteSectorsBatch(pieces.data(), pieces.size());
  for (const SectorWrite& p : pieces) {
    if (p.done == p.count) {
      ++m_writes;
      m_sectorsWritten += p.count * m_unit / m_sectorSize;
      continue;
    }
    ok = false;
    ++m_failedWrites;
    if (p.error == IMountDriverWriter::kNotTried) continue;  // after a failed one
    ++m_writes;
    m_lastError = p.error ? p.error : 29;
    LogError("scrub: write of %llu sectors at disk sector %llu failed (%u)", static_cast<unsigned long long>(p.count),
             static_cast<unsigned long long>(p.first), m_lastError);
  }
  return ok;
}

bool CScrubBlockWriter::Allowed(uint64_t offset, uint64_t length) {
  if (!m_writer || !m_stage || length == 0 || length % m_unit != 0) {
    m_lastError = 87;
    ++m_failedWrites;
    return false;
  }
  if (offset < m_windowBegin || offset > m_windowEnd || length > m_windowEnd - offset) {
    LogError("scrub: write of %llu bytes at volume byte %llu lies outside the window; refused",
             static_cast<unsigned long long>(length), static_cast<unsigned long long>(offset));
    m_lastError = 644;
    ++m_failedWrites;
    return false;
  }
  return true;
}

bool CScrubBlockWriter::Write(const uint8_t* bytes, uint64_t offset, uint64_t length) {
  if (!Allowed(offset, length)) return false;
  const uint64_t first = (m_volumeDiskByte + offset) / m_unit;
  const uint64_t count = length / m_unit;
  const uint64_t done = m_writer->WriteSectors(bytes, first, count);
  ++m_writes;
  if (done != count) {
    m_lastError = m_writer->LastError() ? m_writer->LastError() : 29;
    ++m_failedWrites;
    LogError("scrub: write of %llu sectors at disk sector %llu failed (%u)", static_cast<unsigned long long>(count),
             static_cast<unsigned long long>(first), m_lastError);
    return false;
  }
  m_sectorsWritten += length / m_sectorSize;
  return true;
}
