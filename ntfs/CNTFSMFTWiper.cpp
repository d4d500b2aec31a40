#include "CNTFSMFTWiper.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "ByteOrder.h"
#include "CDiskDevice.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "CRawBackedDevice.h"
#include "CScrubBlockWriter.h"
#include "IMountDriverWriter.h"
#include "IStorageDevice.h"
#include "NTFSAttributeList.h"
#include "NTFSRecordHeader.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "RunLog.h"

namespace {

using A = CNTFSFileRecordDataRunsAttribute;
constexpr uint32_t kBitmapAttribute = 0xB0;
constexpr uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;
// Records are scrubbed in batches of about this many bytes of the $MFT.
constexpr uint32_t kBatchBytes = 1u << 20;
// Devices wrapped in devices: a chain longer than this is not followed.
constexpr int kMaxDeviceDepth = 8;
// Zeroed from here to the record's end; the header before it stays (the
// older layout's header is shorter: see ClassifyRecordSlot).
constexpr uint32_t kScrubFrom = 48;
// Free records left alone are logged one by one up to this many.
constexpr uint64_t kLoggedUnconfirmed = 8;

bool ReadsStrictly(IStorageDevice* device) {
  for (int depth = 0; device && depth < kMaxDeviceDepth; ++depth, device = device->GetInnerDevice()) {
    const auto* raw = dynamic_cast<const CRawBackedDevice*>(device);
    if (raw && !raw->IsStrict()) return false;
  }
  return true;
}

// An in-use record of the $MFT whose header says it is record `number`.
bool IsInUseRecordNumbered(const CNTFSFileRecord& view, uint64_t number) {
  return view.IsValid() && view.IsInUse() && view.HasRecordNumber() && view.GetRecordNumber() == number;
}

// Whether a stored record holds anything of a file: an attribute other
// than the standard information (times and flags, which a formatter writes
// into its reserved records too) before the end marker. A chain that cannot
// be followed inside the record is taken as holding something.
bool HoldsFileTraces(const uint8_t* slot, uint32_t recordSize) {
  constexpr uint32_t kStandardInformation = 0x10;
  constexpr uint32_t kEndMarker = 0xFFFFFFFF;
  constexpr uint32_t kAttributeHeader = 24;
  uint32_t at = ReadLE16(slot + ntfs_record::kFirstAttributeOffset);
  for (uint32_t steps = 0; steps < recordSize / kAttributeHeader; ++steps) {
    if (at < ntfs_record::kOlderHeaderLength || at > recordSize - 4) return true;
    const uint32_t type = ReadLE32(slot + at);
    if (type == kEndMarker) return false;
    if (type != kStandardInformation || at > recordSize - 8) return true;
    const uint32_t length = ReadLE32(slot + at + 4);
    if (length < kAttributeHeader || length % 8 != 0 || length > recordSize - at) return true;
    at += length;
  }
  return true;
}

}  // namespace

void CNTFSMFTWiper::SetOptions(int diskNumber, uint64_t partitionStart) {
  m_diskNumber = diskNumber;
  m_partitionStart = partitionStart;
}

int CNTFSMFTWiper::Wipe(IStorageDevice* volume, int diskNumber, uint64_t partitionStart,
                        const std::atomic<int>* cancel) {
  SetOptions(diskNumber, partitionStart);
  SetCancelFlag(cancel);
  return Wipe(volume);
}

CNTFSMFTWiper::ESlot CNTFSMFTWiper::ClassifyRecordSlot(const uint8_t* slot, uint32_t recordSize, uint64_t recordNumber,
                                                       bool bitmapBitSet, uint32_t* scrubFrom) {
  using namespace ntfs_record;
  if (!slot || bitmapBitSet || recordSize < kNTFSMinRecordLength) return ESlot::Kept;
  if (std::memcmp(slot, "FILE", 4) != 0) return ESlot::Kept;
  if ((ReadLE16(slot + kFlagsOffset) & kInUseFlag) != 0) return ESlot::Kept;
  // A file record the $MFT holds free: scrubbed only when its size and its
  // place are confirmed, else left alone, and counted when it holds
  // something of a file.
  const ESlot unconfirmed = HoldsFileTraces(slot, recordSize) ? ESlot::Unconfirmed : ESlot::Kept;
  if (ReadLE32(slot + kBytesAllocatedOffset) != recordSize) return unconfirmed;
  const uint16_t usa = ReadLE16(slot + kUsaOffsetOffset);
  uint32_t from = kScrubFrom;
  if (usa >= kUsaOffsetWithRecordNumber) {
    // The record number field must name the slot's position.
    if (ReadLE16(slot + kRecordNumberMarkerOffset) != 0 || ReadLE32(slot + kRecordNumberOffset) != recordNumber)
      return unconfirmed;
  } else {
    // The older layout: no number field; the position in the $MFT is the
    // number. Its update sequence starts right after the header, one word
    // plus one per stride of the record, and is zeroed with the rest.
    const uint32_t count = ReadLE16(slot + kUsaCountOffset);
    if (usa < kOlderHeaderLength || usa % 2 != 0 || recordSize % kUpdateSequenceStride != 0 ||
        count != recordSize / kUpdateSequenceStride + 1 || usa + 2 * count > recordSize)
      return unconfirmed;
    from = usa;
  }
  if (scrubFrom) *scrubFrom = from;
  return ESlot::Free;
}

bool CNTFSMFTWiper::IsFreeRecordSlot(const uint8_t* slot, uint32_t recordSize, uint64_t recordNumber,
                                     bool bitmapBitSet) {
  return ClassifyRecordSlot(slot, recordSize, recordNumber, bitmapBitSet) == ESlot::Free;
}

int CNTFSMFTWiper::Wipe(IStorageDevice* volume) {
  m_stats = NTFSWipeStats();
  m_lastWriteError = 0;
  m_mftRecords.clear();
  m_bootSector.clear();
  m_dbr = CNTFSDBR();
  if (!volume) return kNTFSWipeNoDevice;
  m_volume = volume;
  if (!ReadsStrictly(volume)) {
    LogError("MFT scrub refused: the volume device does not read strictly\n");
    return kNTFSWipeNotStrict;
  }

  if (int rc = ReadBootSector()) return rc;
  MFTLayout layout;
  if (int rc = FindMFT(layout)) return rc;
  if (int rc = CheckRunList(layout)) return rc;
  if (int rc = ReadMFTBitmap(layout)) return rc;
  if (int rc = CheckDiskBootSector()) return rc;

  uint32_t openError = 0;
  std::unique_ptr<IMountDriverWriter> writer = OpenMountDriver(m_diskNumber, &openError);
  if (!writer) {
    LogError("MFT scrub: the writer of disk %d cannot be opened (%u)\n", m_diskNumber, openError);
    return kNTFSWipeNoWriter;
  }
  const int writeUnit = writer->GetSectorSize();
  if (writeUnit <= 0 || m_sectorSize % static_cast<uint32_t>(writeUnit) != 0 ||
      static_cast<uint32_t>(writeUnit) != m_diskSectorSize)
    return kNTFSWipeBadGeometry;
  m_writer = writer.get();
  const int rc = WipeFreeMFTRecords(layout);
  m_writer = nullptr;
  LogInfo("MFT scrub: %llu free records, %llu scrubbed, %llu left unconfirmed, %llu sectors written, result 0x%X\n",
          static_cast<unsigned long long>(m_stats.recordsFree),
          static_cast<unsigned long long>(m_stats.recordsScrubbed),
          static_cast<unsigned long long>(m_stats.recordsUnconfirmed),
          static_cast<unsigned long long>(m_stats.sectorsWritten), static_cast<unsigned>(rc));
  return rc;
}

bool CNTFSMFTWiper::ReadVolumeBytes(uint64_t byteOffset, uint32_t length, uint8_t* out) {
  const uint64_t ss = m_sectorSize;
  if (length == 0 || byteOffset > UINT64_MAX - length) return false;
  const uint64_t first = byteOffset / ss;
  const uint64_t end = (byteOffset + length + ss - 1) / ss;
  if (byteOffset % ss == 0 && length % ss == 0) return m_volume->ReadSectors(out, first, end - first) != 0;
  std::vector<uint8_t> sectors(static_cast<size_t>((end - first) * ss));
  if (!m_volume->ReadSectors(sectors.data(), first, end - first)) return false;
  std::memcpy(out, sectors.data() + (byteOffset - first * ss), length);
  return true;
}

bool CNTFSMFTWiper::ReadMFTBytes(const CNTFSRunList& runs, uint64_t mftOffset, uint32_t length, uint8_t* out) {
  const uint64_t cb = m_clusterBytes;
  while (length > 0) {
    const uint64_t vcn = mftOffset / cb;
    const NTFSRun* hit = nullptr;
    for (const NTFSRun& run : runs)
      if (vcn >= run.firstVCN && vcn - run.firstVCN < run.length) hit = &run;
    if (!hit || hit->firstLCN == kNTFSSparseLCN) return false;
    const uint64_t within = mftOffset % cb;
    const uint64_t lcn = hit->firstLCN + (vcn - hit->firstVCN);
    const uint64_t available = (hit->length - (vcn - hit->firstVCN)) * cb - within;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(available, length));
    if (lcn >= m_volumeClusters || !ReadVolumeBytes(lcn * cb + within, n, out)) return false;
    out += n;
    mftOffset += n;
    length -= n;
  }
  return true;
}

int CNTFSMFTWiper::ReadBootSector() {
  const int ss = m_volume->GetSectorSize();
  const uint64_t count = m_volume->GetSectorCount();
  if (ss < CNTFSDBR::kSectorBytes || ss % CNTFSDBR::kSectorBytes != 0 || ss > 65536 || count == 0 ||
      count > UINT64_MAX / static_cast<uint64_t>(ss))
    return kNTFSWipeBadGeometry;
  m_sectorSize = static_cast<uint32_t>(ss);
  m_bootSector.assign(m_sectorSize, 0);
  if (!m_volume->ReadSectors(m_bootSector.data(), 0, 1)) return kNTFSWipeBootSectorUnreadable;
  if (!m_dbr.SetFromSector(m_bootSector.data())) return kNTFSWipeBadBootSector;
  const uint64_t deviceBytes = count * static_cast<uint64_t>(ss);
  if (!m_dbr.HasUsableGeometry(ss, deviceBytes)) {
    LogError("MFT scrub refused: NTFS geometry disagrees with the device (sector %d)\n", ss);
    return kNTFSWipeBadGeometry;
  }
  m_clusterBytes = m_dbr.GetBytesPerCluster();
  m_recordSize = static_cast<uint32_t>(m_dbr.GetFileRecordSize());
  if (m_clusterBytes % m_sectorSize != 0) return kNTFSWipeBadGeometry;
  m_volumeBytes = std::min(deviceBytes, m_dbr.GetTotalSectors() * m_dbr.GetBytesPerSector());
  m_volumeClusters = m_volumeBytes / m_clusterBytes;
  return 0;
}

int CNTFSMFTWiper::LoadMFTRecord(uint64_t byteOffset, std::vector<uint8_t>& record) {
  record.assign(m_recordSize, 0);
  if (!ReadVolumeBytes(byteOffset, m_recordSize, record.data())) return kNTFSWipeNoMFT;
  const int length = static_cast<int>(m_recordSize);
  if (!IsValidFileRecord(record.data(), length)) return kNTFSWipeNoMFT;
  CNTFSFileRecord view(record.data(), length, true);
  if (!IsInUseRecordNumbered(view, 0) || view.IsExtensionRecord() || !IsNamedSystemFile(view, u"$MFT"))
    return kNTFSWipeNoMFT;
  return 0;
}

int CNTFSMFTWiper::FindMFT(MFTLayout& layout) {
  std::vector<uint8_t> base;
  const uint64_t cb = m_clusterBytes;
  int rc = LoadMFTRecord(m_dbr.GetMFTCluster() * cb, base);
  if (rc != 0) {
    // The mirror's copy may tell where the $MFT lies; it is only read.
    rc = LoadMFTRecord(m_dbr.GetMFTMirrCluster() * cb, base);
    if (rc != 0) return kNTFSWipeNoMFT;
    LogInfo("MFT scrub: $MFT record 0 taken from $MFTMirr\n");
  }
  return CollectMFTRuns(base, layout);
}

int CNTFSMFTWiper::CollectMFTRuns(const std::vector<uint8_t>& base, MFTLayout& layout) {
  const int length = static_cast<int>(m_recordSize);
  CNTFSFileRecord baseView(base.data(), length, true);
  uint64_t dataSize = 0;
  if (!CollectDataRuns(baseView, layout.runs, true, &dataSize)) return kNTFSWipeBadRunList;
  m_mftRecords.push_back(base);
  if (!HasAttributeList(baseView.GetRecord(), length)) {
    layout.dataSize = dataSize;
    return 0;
  }

  LogInfo("MFT file record has 0x20 attribute\n");
  const uint8_t spc = static_cast<uint8_t>(m_clusterBytes / m_sectorSize);
  std::unique_ptr<NTFSSegmentRefList> list = ParseAttributeList(base.data(), length, 0, spc, m_volume);
  if (!list) return kNTFSWipeBadExtension;
  list->Remove(0);
  const uint16_t baseSequence = ReadLE16(baseView.GetRecord() + ntfs_record::kSequenceNumberOffset);

  // An extension record may lie in a part of the $MFT that only another
  // extension record describes: resolve in passes while one makes progress.
  std::vector<uint8_t> ext(m_recordSize);
  bool progress = true;
  while (progress && !list->IsEmpty()) {
    progress = false;
    auto& refs = list->Refs();
    for (size_t i = 0; i < refs.size();) {
      const uint64_t number = refs[i].recordNumber;
      const uint64_t offset = number * m_recordSize;
      bool mapped = true;
      for (uint64_t c = offset / m_clusterBytes; c <= (offset + m_recordSize - 1) / m_clusterBytes; ++c)
        if (layout.runs.VCNToLCN(c) < 0) mapped = false;
      if (!mapped) {
        ++i;
        continue;
      }
      if (!ReadMFTBytes(layout.runs, offset, m_recordSize, ext.data()) || !IsValidFileRecord(ext.data(), length))
        return kNTFSWipeBadExtension;
      CNTFSFileRecord view(ext.data(), length, true);
      const uint64_t baseRef = view.GetBaseRecordReference();
      if (!IsInUseRecordNumbered(view, number) || (baseRef & kRecordNumberMask) != 0 ||
          static_cast<uint16_t>(baseRef >> 48) != baseSequence) {
        LogError("MFT scrub refused: record %llu is no extension of $MFT\n", static_cast<unsigned long long>(number));
        return kNTFSWipeBadExtension;
      }
      uint64_t extSize = 0;
      if (!CollectDataRuns(view, layout.runs, true, &extSize)) return kNTFSWipeBadRunList;
      if (extSize) dataSize = std::max(dataSize, extSize);
      m_mftRecords.push_back(ext);
      refs.erase(refs.begin() + static_cast<std::ptrdiff_t>(i));
      progress = true;
    }
  }
  if (!list->IsEmpty()) return kNTFSWipeBadExtension;
  layout.dataSize = dataSize;
  return 0;
}

int CNTFSMFTWiper::CheckRunList(MFTLayout& layout) {
  CNTFSRunList& runs = layout.runs;
  runs.Sort();
  uint64_t nextVCN = 0;
  std::vector<NTFSRun> byLCN;
  for (const NTFSRun& run : runs) {
    if (run.firstVCN != nextVCN || run.length == 0 || run.firstLCN == kNTFSSparseLCN ||
        run.firstLCN >= m_volumeClusters || run.length > m_volumeClusters - run.firstLCN)
      return kNTFSWipeBadRunList;
    nextVCN += run.length;
    byLCN.push_back(run);
  }
  std::sort(byLCN.begin(), byLCN.end(), [](const NTFSRun& a, const NTFSRun& b) { return a.firstLCN < b.firstLCN; });
  for (size_t i = 1; i < byLCN.size(); ++i)
    if (byLCN[i - 1].firstLCN + byLCN[i - 1].length > byLCN[i].firstLCN) return kNTFSWipeBadRunList;
  // The runs must cover the data, and record 0 must lie where the boot sector says.
  if (layout.dataSize < m_recordSize || nextVCN * m_clusterBytes < layout.dataSize) return kNTFSWipeBadRunList;
  const uint64_t mftCluster = m_dbr.GetMFTCluster();
  for (uint64_t c = 0; c * m_clusterBytes < m_recordSize; ++c)
    if (runs.VCNToLCN(c) != static_cast<int64_t>(mftCluster + c)) return kNTFSWipeBadRunList;
  layout.recordCount = layout.dataSize / m_recordSize;
  return 0;
}

int CNTFSMFTWiper::ReadMFTBitmap(MFTLayout& layout) {
  // The unnamed $BITMAP of record 0 or its extensions.
  CNTFSRunList runs;
  uint64_t dataSize = 0, initialized = 0;
  bool found = false, resident = false;
  const int length = static_cast<int>(m_recordSize);
  for (const std::vector<uint8_t>& record : m_mftRecords) {
    CNTFSFileRecord view(record.data(), length, true);
    for (int ordinal = 0;; ++ordinal) {
      const uint8_t* header = view.FindAttribute(kBitmapAttribute, ordinal);
      if (!header) break;
      if (A::HasName(header)) continue;
      if (found && resident) return kNTFSWipeBadBitmap;
      found = true;
      if (A::IsResident(header)) {
        if (!runs.IsEmpty() || !A::IsValueInside(header)) return kNTFSWipeBadBitmap;
        resident = true;
        const uint8_t* value = A::GetValue(header);
        layout.bitmap.assign(value, value + A::GetValueLength(header));
        continue;
      }
      uint64_t size = 0, firstVCN = 0;
      if (!AppendAttributeRuns(header, &size, &firstVCN, runs)) return kNTFSWipeBadBitmap;
      if (firstVCN == 0) {
        dataSize = size;
        initialized = A::GetInitializedSize(header);
      }
    }
  }
  if (!found) return kNTFSWipeBadBitmap;
  const uint64_t needed = (layout.recordCount + 7) / 8;
  if (resident) {
    layout.bitmapBits = std::min<uint64_t>(layout.bitmap.size(), needed) * 8;
    return 0;
  }
  runs.Sort();
  uint64_t nextVCN = 0;
  for (const NTFSRun& run : runs) {
    if (run.firstVCN != nextVCN || run.firstLCN == kNTFSSparseLCN || run.firstLCN >= m_volumeClusters ||
        run.length > m_volumeClusters - run.firstLCN)
      return kNTFSWipeBadBitmap;
    nextVCN += run.length;
  }
  const uint64_t usable = std::min({dataSize, initialized, needed, nextVCN * m_clusterBytes});
  if (usable == 0) return kNTFSWipeBadBitmap;
  try {
    layout.bitmap.assign(static_cast<size_t>(usable), 0);
  } catch (const std::bad_alloc&) {
    return kNTFSWipeNoMemory;
  }
  if (usable > UINT32_MAX || !ReadMFTBytes(runs, 0, static_cast<uint32_t>(usable), layout.bitmap.data()))
    return kNTFSWipeBadBitmap;
  layout.bitmapBits = usable * 8;
  return 0;
}

int CNTFSMFTWiper::CheckDiskBootSector() {
  std::unique_ptr<CDiskDevice> owned;
  IStorageDevice* disk = m_disk;
  if (!disk) {
    owned = std::make_unique<CDiskDevice>(m_diskNumber, true);
    if (!owned->Open()) return kNTFSWipeDiskUnreadable;
    disk = owned.get();
  }
  const uint64_t diskUnit = static_cast<uint64_t>(disk->GetSectorSize());
  m_diskSectorSize = static_cast<uint32_t>(diskUnit);
  const uint64_t count = (m_sectorSize + diskUnit - 1) / diskUnit;
  std::vector<uint8_t> sector(static_cast<size_t>(count * diskUnit), 0);
  if (!disk->ReadSectors(sector.data(), m_partitionStart, count)) return kNTFSWipeDiskUnreadable;
  if (std::memcmp(sector.data(), m_bootSector.data(), m_sectorSize) != 0) {
    LogError("MFT scrub refused: disk %d sector %llu is not the volume's boot sector\n", m_diskNumber,
             static_cast<unsigned long long>(m_partitionStart));
    return kNTFSWipeWrongTarget;
  }
  return 0;
}

int CNTFSMFTWiper::WipeFreeMFTRecords(const MFTLayout& layout) {
  const uint64_t cb = m_clusterBytes;
  const uint64_t r = m_recordSize;
  const uint64_t ss = m_sectorSize;
  // A batch holds whole clusters and whole records.
  const uint64_t unit = std::max(cb, r);
  const uint64_t batchBytes = unit * std::max<uint64_t>(1, kBatchBytes / unit);
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> changed;
  try {
    buffer.resize(static_cast<size_t>(batchBytes));
    changed.resize(static_cast<size_t>(batchBytes / ss));
  } catch (const std::bad_alloc&) {
    return kNTFSWipeNoMemory;
  }

  CScrubBlockWriter out(m_writer, m_partitionStart * m_diskSectorSize, m_sectorSize, 0, m_volumeBytes);
  const int rc = ScrubBatches(layout, out, buffer, changed);
  // What was staged goes out at the end or at a cancel; after a failed read
  // or write nothing more is written.
  bool flushed = true;
  if (rc == 0 || rc == kNTFSWipeCancelled)
    flushed = out.Flush();
  else
    out.Discard();
  m_stats.writes = out.Writes();
  m_stats.sectorsWritten = out.SectorsWritten();
  if (rc == 0 && !flushed) {
    m_lastWriteError = out.LastError();
    return kNTFSWipeWriteFailed;
  }
  // Free records left as they were still hold what a deleted file left.
  if (rc == 0 && m_stats.recordsUnconfirmed) return kNTFSWipeIncomplete;
  return rc;
}

int CNTFSMFTWiper::ScrubBatches(const MFTLayout& layout, CScrubBlockWriter& out, std::vector<uint8_t>& buffer,
                                std::vector<uint8_t>& changed) {
  const uint64_t cb = m_clusterBytes;
  const uint64_t r = m_recordSize;
  const uint64_t ss = m_sectorSize;
  const uint64_t batchClusters = buffer.size() / cb;
  const uint64_t mftClusters = (layout.recordCount * r + cb - 1) / cb;
  std::vector<NTFSRun> pieces;
  for (uint64_t first = 0; first < mftClusters; first += batchClusters) {
    if (m_cancel && m_cancel->load() != 0) return kNTFSWipeCancelled;
    const uint64_t clusters = std::min(batchClusters, mftClusters - first);
    // Where the batch's clusters lie on the volume (the runs are sorted and whole).
    pieces.clear();
    for (const NTFSRun& run : layout.runs) {
      const uint64_t from = std::max(first, run.firstVCN);
      const uint64_t to = std::min(first + clusters, run.firstVCN + run.length);
      if (from >= to) continue;
      NTFSRun piece;
      piece.firstVCN = from;
      piece.firstLCN = run.firstLCN + (from - run.firstVCN);
      piece.length = to - from;
      pieces.push_back(piece);
    }
    for (const NTFSRun& piece : pieces) {
      uint8_t* at = buffer.data() + (piece.firstVCN - first) * cb;
      if (!m_volume->ReadSectors(at, piece.firstLCN * (cb / ss), piece.length * (cb / ss))) {
        LogError("MFT scrub: $MFT cluster %llu cannot be read\n", static_cast<unsigned long long>(piece.firstLCN));
        return kNTFSWipeReadFailed;
      }
    }

    std::fill(changed.begin(), changed.end(), 0);
    bool any = false;
    const uint64_t firstRecord = first * cb / r;
    const uint64_t endRecord = std::min((first + clusters) * cb / r, layout.recordCount);
    for (uint64_t number = firstRecord; number < endRecord; ++number) {
      const uint64_t at = number * r - first * cb;
      uint8_t* slot = buffer.data() + at;
      const bool bitSet =
          number >= layout.bitmapBits || (layout.bitmap[static_cast<size_t>(number / 8)] >> (number % 8)) & 1;
      uint32_t scrubFrom = kScrubFrom;
      const ESlot verdict = ClassifyRecordSlot(slot, m_recordSize, number, bitSet, &scrubFrom);
      if (verdict == ESlot::Unconfirmed) {
        if (m_stats.recordsUnconfirmed++ < kLoggedUnconfirmed)
          LogError("MFT scrub: free record %llu of a file left alone: its size, number or layout does not check\n",
                   static_cast<unsigned long long>(number));
        continue;
      }
      if (verdict != ESlot::Free) continue;
      ++m_stats.recordsFree;
      bool scrubbed = false;
      // Zero the record past its header, sector by sector, remembering which sectors changed.
      for (uint64_t from = at + scrubFrom; from < at + r;) {
        const uint64_t to = std::min(at + r, (from / ss + 1) * ss);
        uint8_t* p = buffer.data() + from;
        const size_t n = static_cast<size_t>(to - from);
        if (std::any_of(p, p + n, [](uint8_t b) { return b != 0; })) {
          std::memset(p, 0, n);
          changed[static_cast<size_t>(from / ss)] = 1;
          scrubbed = true;
        }
        from = to;
      }
      if (scrubbed) {
        ++m_stats.recordsScrubbed;
        any = true;
      }
    }
    if (!any) continue;
    // Each piece is a stretch of the volume read just now.
    for (const NTFSRun& piece : pieces) {
      const uint64_t at = (piece.firstVCN - first) * cb;
      if (!out.Put(piece.firstLCN * cb, buffer.data() + at, static_cast<size_t>(piece.length * cb),
                   changed.data() + at / ss)) {
        m_lastWriteError = out.LastError();
        return kNTFSWipeWriteFailed;
      }
    }
  }
  return 0;
}
