#include "CNTFSLogFileAnalyzer.h"

#include <algorithm>
#include <cstring>

#include "CNTFSExtendedFileRecord.h"
#include "CNTFSExtensionRecord.h"
#include "CNTFSFileProperties.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "IDataRunList.h"
#include "IStorageDevice.h"
#include "NTFSAttributeList.h"
#include "ByteOrder.h"
#include "NTFSFileRecordProperties.h"
#include "NTFSRecordRuns.h"

namespace {

constexpr uint32_t kRecordPageMagic = 0x44524352;  // "RCRD"
constexpr uint16_t kPageUsaOffset = 40;
constexpr uint16_t kPageUsaCount = 9;
constexpr int kPageSectors = 8;
constexpr int kPageRecordsStart = 64;
constexpr int kPageBody = kLogPageSize - kPageRecordsStart;  // 4032
constexpr int kImageOffset = 88;
constexpr uint32_t kImageMinClientLength = 112;
constexpr int kRecordSize = 1024;
constexpr int kWorkSlots = 8;
constexpr int kMaxNotedData = 5;
// An index larger than this is damage: every record holds at least 48 bytes.
constexpr size_t kMaxIndexEntries = kMaxLogBytes / kLogRecordHeaderSize;

uint32_t ClientLength(const uint8_t* record) {
  return ReadLE32(record + 24);
}

// Offset in `page` of the record whose LSN is `lsn`, found in 8-byte steps
// from the first record; -1 when none.
int FindRecordByLSN(const uint8_t* page, uint64_t lsn) {
  for (int at = kPageRecordsStart; at + 8 <= kLogPageSize; at += 8)
    if (ReadLE64(page + at) == lsn) return at;
  return -1;
}

}  // namespace

bool IsRecordPage(const uint8_t* page) {
  return page && ReadLE32(page) == kRecordPageMagic;
}

bool CheckRecordPageFixups(const uint8_t* page) {
  if (!page || ReadLE16(page + 4) != kPageUsaOffset || ReadLE16(page + 6) != kPageUsaCount) return false;
  const uint16_t usn = ReadLE16(page + kPageUsaOffset);
  for (int i = 0; i < kPageSectors; ++i)
    if (ReadLE16(page + 512 * (i + 1) - 2) != usn) return false;
  return true;
}

bool IsValidRecordPage(const uint8_t* page) {
  return IsRecordPage(page) && CheckRecordPageFixups(page);
}

bool ApplyRecordPageFixups(uint8_t* page) {
  if (!IsValidRecordPage(page)) return false;
  for (int i = 0; i < kPageSectors; ++i) {
    uint8_t* end = page + 512 * (i + 1) - 2;
    std::memcpy(end, page + kPageUsaOffset + 2 * (i + 1), 2);
  }
  return true;
}

const uint8_t* GetRecordPageHeader(const uint8_t* page) {
  return IsRecordPage(page) ? page : nullptr;
}

uint64_t GetRecordPageLastLSN(const uint8_t* page) {
  return ReadLE64(page + 8);
}

uint64_t GetRecordPageLastEndLSN(const uint8_t* page) {
  return ReadLE64(page + 32);
}

const uint8_t* GetLogRecordHeader(const uint8_t* position, int64_t bytesLeft) {
  return position && bytesLeft >= kLogRecordHeaderSize ? position : nullptr;
}

bool IsNTFSMetadataName(const std::u16string& name) {
  if (name.size() < 2 || (name[0] != u'#' && name[0] != u'$') || name[1] != u'R') return false;
  static const std::u16string kKnown = u"$RmMetadata$Reparse$Repair";
  return kKnown.find(name) == std::u16string::npos;
}

uint16_t LogRecordIndexEntry::UndoOffset() const { return ReadLE16(head + 56); }
uint16_t LogRecordIndexEntry::UndoLength() const { return ReadLE16(head + 58); }
uint16_t LogRecordIndexEntry::RecordOffset() const { return ReadLE16(head + 64); }
uint16_t LogRecordIndexEntry::AttributeOffset() const { return ReadLE16(head + 66); }
uint16_t LogRecordIndexEntry::ClusterBlockOffset() const { return ReadLE16(head + 68); }
uint32_t LogRecordIndexEntry::TargetVCN() const { return ReadLE32(head + 72); }

int64_t GetLogTargetRecord(uint32_t targetVCN, uint16_t clusterBlockOffset, uint8_t sectorsPerCluster, int sectorSize,
                           int recordSize) {
  if (sectorsPerCluster == 0 || sectorSize <= 0 || recordSize <= 0) return -1;
  // The block offset counts 512-byte blocks from the start of the target
  // cluster; the byte it names must start a record. A record may span
  // several clusters (512-byte clusters, or 4096-byte records in 2 KiB
  // clusters), in which case the offset stays inside the record.
  const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * static_cast<uint64_t>(sectorSize);
  const uint64_t offset = uint64_t(clusterBlockOffset) * 512;
  if (offset >= std::max<uint64_t>(clusterBytes, static_cast<uint64_t>(recordSize))) return -1;
  const uint64_t byte = uint64_t(targetVCN) * clusterBytes + offset;
  if (byte % static_cast<uint64_t>(recordSize) != 0) return -1;
  return static_cast<int64_t>(byte / static_cast<uint64_t>(recordSize));
}

CNTFSLogFileAnalyzer::CNTFSLogFileAnalyzer() = default;

CNTFSLogFileAnalyzer::CNTFSLogFileAnalyzer(IStorageDevice* device, IDataRunList* logRuns, uint8_t sectorsPerCluster)
    : m_state(1), m_device(device), m_runs(logRuns), m_sectorsPerCluster(sectorsPerCluster ? sectorsPerCluster : 8) {}

CNTFSLogFileAnalyzer::~CNTFSLogFileAnalyzer() {
  Reset();
}

void CNTFSLogFileAnalyzer::Reset() {
  m_state = 0;
  m_device = nullptr;
  m_runs.reset();
  m_sectorsPerCluster = 8;
  std::vector<uint8_t>().swap(m_pages);
  m_pagesLoaded = false;
  std::vector<uint8_t>().swap(m_store);
  if (m_logProperties) DeleteFileProperties(m_logProperties);
  m_logProperties = nullptr;
  for (Image& image : m_images) DeleteFileProperties(image.properties);
  m_images.clear();
  m_index.clear();
  m_compressed = 0;
  m_analyzed = 0;
}

int CNTFSLogFileAnalyzer::SectorSize() const {
  return m_device ? m_device->GetSectorSize() : 0;
}

bool CNTFSLogFileAnalyzer::Open(IStorageDevice* device, const CNTFSRunList& mftRuns, uint8_t sectorsPerCluster) {
  if (!device || mftRuns.IsEmpty()) return false;
  Reset();
  m_device = device;
  m_sectorsPerCluster = sectorsPerCluster ? sectorsPerCluster : 8;
  const int recordSize = GetFileRecordSizeForDevice(device);
  const int sectorSize = SectorSize();
  if (recordSize == 0) return false;
  const int64_t sector = GetRecordSectorFromRunList(2, m_sectorsPerCluster, 0, mftRuns,
                                                    static_cast<uint8_t>(recordSize / sectorSize));
  if (sector < 0) return false;
  std::vector<uint8_t> record(static_cast<size_t>(recordSize), 0);
  if (!device->ReadSectors(record.data(), static_cast<uint64_t>(sector), recordSize / sectorSize)) return false;
  CNTFSExtendedFileRecord extended(record.data(), recordSize, static_cast<uint64_t>(sector), nullptr, nullptr);
  const uint64_t clusterBytes = static_cast<uint64_t>(m_sectorsPerCluster) * static_cast<uint64_t>(sectorSize);
  m_logProperties = MakeNTFSFileProperties(static_cast<uint64_t>(sector), extended, clusterBytes, nullptr);
  if (m_logProperties && std::strstr(m_logProperties->GetName(), "$LogFile")) {
    m_runs.reset(m_logProperties->GetDataRunList());
    if (m_runs && !m_runs->IsResident()) m_state = 1;
    else m_runs.reset();
  }
  return true;
}

int CNTFSLogFileAnalyzer::GetPageCount() const {
  const int sectorSize = SectorSize();
  if (!m_runs || sectorSize < 512 || sectorSize > kLogPageSize || kLogPageSize % sectorSize != 0) return 0;
  const uint64_t clusterBytes = static_cast<uint64_t>(m_sectorsPerCluster) * static_cast<uint64_t>(sectorSize);
  uint64_t bytes = 0;
  for (const DataRun& run : m_runs->Runs()) {
    if (run.length > kMaxLogBytes / clusterBytes) return 0;
    bytes += run.length * clusterBytes;
    if (bytes > kMaxLogBytes) return 0;
  }
  return static_cast<int>(bytes / kLogPageSize);
}

bool CNTFSLogFileAnalyzer::ReadPage(int index, const uint8_t** page) {
  const int count = GetPageCount();
  if (!m_runs || !m_device || index < 0 || index >= count) return false;
  if (!m_pagesLoaded) {
    try {
      m_pages.assign(static_cast<size_t>(count) * kLogPageSize, 0);
    } catch (const std::bad_alloc&) {
      std::vector<uint8_t>().swap(m_pages);
      return false;
    }
    const uint64_t sectorSize = static_cast<uint64_t>(SectorSize());
    const uint64_t deviceSectors = m_device->GetSectorCount();
    uint64_t at = 0;  // bytes filled
    for (const DataRun& run : m_runs->Runs()) {
      const uint64_t sectors = run.length * m_sectorsPerCluster;
      const uint64_t bytes = std::min<uint64_t>(sectors * sectorSize, m_pages.size() - at);
      if (bytes == 0) break;
      const bool onDevice = !run.IsSparse() && run.start <= deviceSectors / m_sectorsPerCluster &&
                            run.start * m_sectorsPerCluster + bytes / sectorSize <= deviceSectors;
      // A run that cannot be read stays zero: its pages lack the magic.
      if (!onDevice || !m_device->ReadSectors(m_pages.data() + at, run.start * m_sectorsPerCluster, bytes / sectorSize))
        std::memset(m_pages.data() + at, 0, static_cast<size_t>(bytes));
      at += bytes;
    }
    m_pagesLoaded = true;
  }
  if (static_cast<size_t>(index + 1) * kLogPageSize > m_pages.size()) return false;
  *page = m_pages.data() + static_cast<size_t>(index) * kLogPageSize;
  return true;
}

void CNTFSLogFileAnalyzer::WalkPages(Handler handler) {
  const int count = GetPageCount();
  if (count <= kLogFirstRecordPage) return;
  std::vector<uint8_t> carry(kLogPageSize, 0);
  uint32_t copied = 0;     // bytes of the carried record in `carry`
  uint64_t carried = 0;    // bytes of it seen so far
  bool carrying = false;
  bool multiPage = false;
  uint8_t page[kLogPageSize];

  auto carryFrom = [&](const uint8_t* p, int at) {
    copied = static_cast<uint32_t>(kLogPageSize - at);
    std::memcpy(carry.data(), p + at, copied);
    carried = copied;
    carrying = true;
    multiPage = false;
  };

  const uint8_t* source = nullptr;
  if (!ReadPage(count - 1, &source)) return;
  std::memcpy(page, source, kLogPageSize);
  if (IsValidRecordPage(page)) {
    ApplyRecordPageFixups(page);
    const uint64_t last = GetRecordPageLastLSN(page);
    if (last != GetRecordPageLastEndLSN(page)) {
      const int at = FindRecordByLSN(page, last);
      if (at >= 0) carryFrom(page, at);
    }
  }

  for (int index = kLogFirstRecordPage; index < count; ++index) {
    if (!ReadPage(index, &source)) return;
    std::memcpy(page, source, kLogPageSize);
    if (!IsRecordPage(page)) {
      carrying = false;  // a record does not continue across a foreign page
      continue;
    }
    ApplyRecordPageFixups(page);
    const uint64_t lastLSN = GetRecordPageLastLSN(page);
    const bool crosses = lastLSN != GetRecordPageLastEndLSN(page);
    uint64_t offset = kPageRecordsStart;

    if (carrying) {
      carrying = false;
      if (copied >= kLogRecordHeaderSize) {
        const uint64_t total = static_cast<uint64_t>(ClientLength(carry.data())) + kLogRecordHeaderSize;
        const uint64_t rest = total > carried ? total - carried : 0;
        if (rest + kPageRecordsStart > kLogPageSize) {
          carried += kPageBody;  // the record covers this page too
          carrying = true;
          multiPage = true;
          continue;
        }
        const uint32_t room = static_cast<uint32_t>(kLogPageSize) - copied;
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(rest, room));
        std::memcpy(carry.data() + copied, page + kPageRecordsStart, take);
        const uint32_t available = multiPage ? copied + take : static_cast<uint32_t>(std::min<uint64_t>(total, copied + take));
        (this->*handler)(carry.data(), available, multiPage);
        offset += rest;
      }
    }

    while (offset < kLogPageSize && kLogPageSize - offset >= kLogRecordHeaderSize) {
      const uint8_t* record = GetLogRecordHeader(page + offset, static_cast<int64_t>(kLogPageSize - offset));
      const uint64_t lsn = ReadLE64(record);
      const uint64_t length = static_cast<uint64_t>(ClientLength(record)) + kLogRecordHeaderSize;
      if (crosses && lsn == lastLSN) {
        carryFrom(page, static_cast<int>(offset));
        break;
      }
      if (offset + length > kLogPageSize) break;  // damaged: the record leaves the page
      (this->*handler)(record, static_cast<uint32_t>(length), false);
      if (lsn == lastLSN) break;
      offset += length;
      if (offset + kLogRecordHeaderSize > kLogPageSize && crosses) {
        const int at = FindRecordByLSN(page, lastLSN);
        if (at >= 0) carryFrom(page, at);
        break;
      }
    }
  }
}

void CNTFSLogFileAnalyzer::ExtractImage(const uint8_t* record, uint32_t available, bool multiPage) {
  if (multiPage || available < kImageOffset + 5) return;
  const uint32_t clientLength = ClientLength(record);
  if (clientLength <= kImageMinClientLength || std::memcmp(record + kImageOffset, "FILE0", 5) != 0) return;
  uint8_t image[kRecordSize] = {};
  const uint32_t take = std::min<uint32_t>({clientLength - 40, kRecordSize, available - kImageOffset});
  std::memcpy(image, record + kImageOffset, take);
  ParseRecordImage(image);
}

void CNTFSLogFileAnalyzer::ParseRecordImage(const uint8_t* image) {
  CNTFSFileRecord view(image, kRecordSize, false);
  if (!view.IsValid() || view.IsDirectory() || view.IsExtensionRecord()) return;
  CNTFSExtendedFileRecord extended(image, kRecordSize, 0, nullptr, nullptr);
  int64_t parent = -1;
  const uint64_t clusterBytes = static_cast<uint64_t>(m_sectorsPerCluster) * static_cast<uint64_t>(SectorSize());
  IFileProperties* properties = MakeNTFSFileProperties(0, extended, clusterBytes, &parent);
  if (!properties) return;
  if (properties->GetFileSize() == 0) {
    DeleteFileProperties(properties);
    return;
  }
  m_images.push_back({properties, static_cast<uint64_t>(parent)});
}

void CNTFSLogFileAnalyzer::IndexRecord(const uint8_t* record, uint32_t available, bool multiPage) {
  const uint64_t length = static_cast<uint64_t>(ClientLength(record)) + kLogRecordHeaderSize;
  if (multiPage || length >= kPageBody || length > available || m_index.size() >= kMaxIndexEntries) return;
  LogRecordIndexEntry entry;
  std::memcpy(entry.head, record, std::min<uint64_t>(length, kLogIndexHeadSize));
  entry.storeOffset = m_store.size();
  entry.length = static_cast<uint32_t>(length);
  m_store.insert(m_store.end(), record, record + length);
  m_index.push_back(entry);
}

bool CNTFSLogFileAnalyzer::Analyze() {
  WalkPages(&CNTFSLogFileAnalyzer::ExtractImage);
  WalkPages(&CNTFSLogFileAnalyzer::IndexRecord);
  std::vector<uint8_t>().swap(m_pages);
  m_pagesLoaded = false;
  m_analyzed = 1;
  return true;
}

const uint8_t* CNTFSLogFileAnalyzer::GetStoredRecord(const LogRecordIndexEntry& entry) const {
  if (entry.storeOffset > m_store.size() || entry.length > m_store.size() - entry.storeOffset) return nullptr;
  return m_store.data() + entry.storeOffset;
}

int CNTFSLogFileAnalyzer::RestoreRecord(uint8_t* record, uint64_t recordNumber, bool compressed) const {
  const uint16_t threshold = compressed ? 24 : 10;
  const int sectorSize = SectorSize() ? SectorSize() : 512;
  int applied = 0;
  int lastEnd = -1;
  for (int ordinal = 0; ordinal < kMaxNotedData * 8; ++ordinal) {
    const int at = FindAttributeOffset(record, CNTFSFileRecordAttribute::kData, ordinal, kRecordSize);
    if (at < 0) break;
    std::vector<const LogRecordIndexEntry*> entries;
    for (const LogRecordIndexEntry& e : m_index) {
      if (e.RecordOffset() != at || e.AttributeOffset() == 0 || e.UndoLength() <= threshold) continue;
      const int64_t target = GetLogTargetRecord(e.TargetVCN(), e.ClusterBlockOffset(), m_sectorsPerCluster, sectorSize,
                                                sectorSize > kRecordSize ? sectorSize : kRecordSize);
      if (target < 0 || static_cast<uint64_t>(target) != recordNumber) continue;
      entries.push_back(&e);
    }
    if (entries.empty()) continue;
    std::stable_sort(entries.begin(), entries.end(), [](const LogRecordIndexEntry* a, const LogRecordIndexEntry* b) {
      if (a->RecordOffset() != b->RecordOffset()) return a->RecordOffset() < b->RecordOffset();
      return a->AttributeOffset() < b->AttributeOffset();
    });
    int end = -1;
    for (const LogRecordIndexEntry* e : entries) {
      const uint8_t* stored = GetStoredRecord(*e);
      const uint64_t from = static_cast<uint64_t>(kLogRecordHeaderSize) + e->UndoOffset();
      const uint64_t to = static_cast<uint64_t>(e->RecordOffset()) + e->AttributeOffset();
      // The undo bytes lie in the stored record and the patch inside the
      // record, past the header's fixed fields.
      if (!stored || from + e->UndoLength() > e->length || to < 48 || to + e->UndoLength() > kRecordSize) continue;
      std::memcpy(record + to, stored + from, e->UndoLength());
      end = static_cast<int>(to + e->UndoLength());
      ++applied;
    }
    if (end > at + 8) {
      WriteLE32(record + at + 4, static_cast<uint32_t>(end - at));
      lastEnd = std::max(lastEnd, end);
    }
  }
  if (lastEnd >= 0 && lastEnd + 4 <= kRecordSize) WriteLE32(record + lastEnd, 0xFFFFFFFFu);
  return applied;
}

const CNTFSLogFileAnalyzer::Image* CNTFSLogFileAnalyzer::FindImage(const IFileProperties* properties,
                                                                     int64_t parent) const {
  const std::string name = properties->GetName();
  if (parent != -1)
    for (const Image& image : m_images)
      if (image.parent == static_cast<uint64_t>(parent) && name == image.properties->GetName()) return &image;
  for (const Image& image : m_images)
    if (name == image.properties->GetName()) return &image;
  return nullptr;
}

bool CNTFSLogFileAnalyzer::MatchFileRecords(const uint8_t* record, IFileProperties* properties, int64_t parent,
                                            const NTFSSegmentRefList* extensions) {
  auto* target = dynamic_cast<CBasicFileProperties*>(properties);
  if (!record || !target) return false;
  const Image* image = FindImage(properties, parent);
  if (!image && (properties->GetAttributes() == kFileAttributeDirectory || !properties->IsDeleted())) return false;
  m_compressed = (properties->GetAttributes() & kFileAttributeCompressed) ? 1 : 0;

  // The record and its extension records in 1024-byte slots, each restored.
  std::vector<uint8_t> work(static_cast<size_t>(kWorkSlots) * kRecordSize, 0);
  std::vector<std::pair<int, int>> noted;  // {slot, attribute offset}
  auto restoreSlot = [&](int slot) {
    uint8_t* bytes = work.data() + static_cast<size_t>(slot) * kRecordSize;
    if (CheckFileRecordFixups(bytes, kRecordSize)) ApplyFileRecordFixups(bytes, kRecordSize);
    RestoreRecord(bytes, ReadLE32(bytes + 44), m_compressed != 0);
    for (int k = 0; k < kMaxNotedData; ++k) {
      const int at = FindAttributeOffset(bytes, CNTFSFileRecordAttribute::kData, k, kRecordSize);
      if (at < 0) break;
      if (!CNTFSFileRecordAttribute::HasName(bytes + at)) noted.push_back({slot, at});
    }
  };
  std::memcpy(work.data(), record, kRecordSize);
  restoreSlot(0);
  int slot = 1;
  if (extensions && m_device) {
    const int sectorSize = SectorSize();
    for (const NTFSSegmentRef& ref : extensions->Refs()) {
      if (slot >= kWorkSlots) break;
      // A slot holds 1024 bytes: devices with larger sectors are not read.
      if (ref.sector < 0 || sectorSize <= 0 || kRecordSize % sectorSize != 0) continue;
      uint8_t* bytes = work.data() + static_cast<size_t>(slot) * kRecordSize;
      if (!m_device->ReadSectors(bytes, static_cast<uint64_t>(ref.sector), kRecordSize / sectorSize)) {
        std::memset(bytes, 0, kRecordSize);
        continue;
      }
      restoreSlot(slot++);
    }
  }

  std::unique_ptr<IDataRunList> rebuilt;
  if (!noted.empty()) {
    const uint8_t* header = work.data() + static_cast<size_t>(noted[0].first) * kRecordSize + noted[0].second;
    const uint32_t length = CNTFSFileRecordAttribute::GetLength(header);
    if (length < kRecordSize && length <= static_cast<uint32_t>(kRecordSize - noted[0].second)) {
      uint8_t scratch[kRecordSize] = {};
      std::memcpy(scratch, header, length);
      CNTFSRunList runs;
      uint64_t dataSize = 0, firstVCN = 0;
      if (AppendAttributeRuns(scratch, &dataSize, &firstVCN, runs)) {
        runs.Sort();
        rebuilt.reset(MakeNoneResidentRunList(runs, nullptr));
      }
    }
  }

  if (image) {
    std::unique_ptr<IDataRunList> own;
    if (!rebuilt) own.reset(image->properties->GetDataRunList());
    target->PackRuns(rebuilt ? rebuilt.get() : own.get());
    target->SetFileSize(image->properties->GetFileSize());
  } else if (rebuilt) {
    uint64_t clusters = 0;
    for (const DataRun& run : rebuilt->Runs()) clusters += run.length;
    const uint64_t clusterBytes = static_cast<uint64_t>(m_sectorsPerCluster) * (SectorSize() ? SectorSize() : 512);
    if (clusters <= static_cast<uint64_t>(INT64_MAX) / clusterBytes)
      target->SetFileSize(static_cast<int64_t>(clusters * clusterBytes));
    target->PackRuns(rebuilt.get());
  }
  return true;
}
