#include "CNTFSQuickSearch.h"

#include <algorithm>
#include <cstring>

#include "CFileNode.h"
#include "CNTFSDBR.h"
#include "CNTFSFileRecord.h"
#include "CNTFSNodeFactory.h"
#include "CNTFSVolumeNameReader.h"
#include "IDirecotryTreeBuilder.h"
#include "IScanProgressSink.h"
#include "IStorageDevice.h"
#include "NTFSRecordNumber.h"
#include "ScanEngineRegistry.h"
#include "ScanStatusRecord.h"

CNTFSQuickSearch::CNTFSQuickSearch() : m_partition(std::make_unique<CSearchedPartitionInfo>(512)) {}

CNTFSQuickSearch* CNTFSQuickSearch::Create() {
  return new CNTFSQuickSearch();
}

void CNTFSQuickSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.push_back(m_partition.get());
}

void CNTFSQuickSearch::SetOptions(int deviceNumber, uint64_t partitionStartSector) {
  m_target.deviceNumber = deviceNumber;
  m_target.startSector = partitionStartSector;
}

int CNTFSQuickSearch::QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) {
  if (!volume) return kNTFSWipeNoDevice;
  m_volume = volume;
  m_sink = sink;
  // The partition record describes the volume as the search sees it.
  const int sectorSize = volume->GetSectorSize();
  if (static_cast<uint32_t>(sectorSize) != m_partition->GetBytesPerSector())
    m_partition = std::make_unique<CSearchedPartitionInfo>(sectorSize);
  const uint64_t sectors = volume->GetSectorCount();
  m_partition->SetType(EFileSystemType::NTFS);
  m_partition->SetStartSector(0);
  m_partition->SetSectorsPerCluster(1);
  m_partition->SetSectorCount(sectors ? sectors - 1 : 0);
  if (!m_target.IsSet()) return kNTFSWipeNoWriter;
  m_wiper.SetOptions(m_target.deviceNumber, m_target.startSector);
  const int rc = m_wiper.Wipe(volume);
  if (m_wiper.GetBootSector().IsValid())
    m_partition->SetSectorsPerCluster(m_wiper.GetBootSector().GetSectorsPerCluster());
  return rc;
}

void CNTFSQuickSearch::ReportStatus(int kind, uint64_t v1, uint64_t v2, uint64_t v3) {
  if (!m_sink) return;
  ScanStatusRecord status;
  status.kind = kind;
  status.value1 = v1;
  status.value2 = v2;
  status.value3 = static_cast<uint32_t>(v3);
  m_sink->OnStatus(&status);
}

bool CNTFSQuickSearch::ReadVolumeLabel(int64_t mftSector, IStorageDevice* device, char out[100], int recordSize) {
  if (!device || !out || mftSector < 0 || recordSize < kNTFSMinRecordLength || recordSize > kNTFSMaxRecordLength)
    return false;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0) return false;
  // Record 3 at its own distance: 6 sectors of 512 bytes for 1024-byte
  // records, 3 sectors of 4096 bytes for 4096-byte ones.
  const uint64_t perRecord = SectorsPerRecord(static_cast<uint32_t>(recordSize), static_cast<uint32_t>(sectorSize));
  const uint64_t sector = static_cast<uint64_t>(mftSector) + 3 * perRecord;
  const uint64_t sectors = device->GetSectorCount();
  if (sector >= sectors || sectors - sector < perRecord) return false;
  std::vector<uint8_t> record(perRecord * static_cast<uint64_t>(sectorSize), 0);
  if (!device->ReadSectors(record.data(), sector, perRecord)) return false;
  char name[kNTFSVolumeNameBytes] = {};
  GetVolumeNameFromRecord(record.data(), name, std::min(recordSize, static_cast<int>(record.size())));
  std::memset(out, 0, 100);
  std::memcpy(out, name, sizeof name);
  return true;
}

int CNTFSQuickSearch::CreateVolumeNode(const char* label) {
  CNTFSNodeFactory factory(m_volume, m_builder);
  return factory.CreateVolumeNode(label, m_partition->GetStartSector(), m_partition->GetSectorsPerCluster());
}

bool CNTFSQuickSearch::AnalyzeMFTBatch(const uint8_t* batch, const std::vector<uint64_t>& sectors, uint32_t count,
                                       const CNTFSMFTRecordInfo& mft, uint32_t recordSize) {
  const uint32_t sectorSize = m_partition->GetBytesPerSector();
  const uint32_t perRecord = SectorsPerRecord(recordSize, sectorSize);
  CNTFSNodeFactory factory(m_volume, m_builder);
  for (uint32_t i = 0; i + perRecord <= count; i += perRecord) {
    const uint8_t* record = batch + uint64_t(i) * sectorSize;
    const int length = static_cast<int>(perRecord * sectorSize);
    if (!IsValidFileRecord(record, length)) continue;
    CFileNode* node = factory.CreateFileNodeFromRecord(record, length, sectors[i], m_partition.get(), &mft);
    if (!node) continue;  // system, extension or nameless records
    int error = 0;
    if (!m_builder || !m_builder->AddNode(node, ETreeKind::NTFS, error)) {
      DeleteFileNode(node);
      return false;
    }
  }
  return true;
}

int CNTFSQuickSearch::ScanMFT(const CNTFSMFTRecordInfo& mft, uint32_t recordSize) {
  if (!m_volume) return kNTFSWipeNoDevice;
  const uint32_t sectorSize = m_partition->GetBytesPerSector();
  const uint64_t k = m_partition->GetSectorsPerCluster();
  const uint64_t start = m_partition->GetStartSector();
  const uint64_t deviceSectors = m_volume->GetSectorCount();
  const uint32_t perRecord = SectorsPerRecord(recordSize, sectorSize);
  // Whole records per batch.
  const uint32_t batchSectors = std::max(perRecord, kBatchSectors / perRecord * perRecord);
  std::vector<uint8_t> batch;
  try {
    batch.assign(uint64_t(batchSectors) * sectorSize, 0);
  } catch (const std::bad_alloc&) {
    return kScanNoBuffer;
  }
  std::vector<uint64_t> slots(batchSectors, 0);
  const uint64_t total = mft.GetRunList().GetClusterCount() * k;
  ReportStatus(static_cast<int>(EScanStatusKind::Progress), total, 0, 0);
  uint64_t done = 0;
  uint32_t filled = 0;
  bool go = true;
  auto analyze = [&]() {
    if (filled && !AnalyzeMFTBatch(batch.data(), slots, filled, mft, recordSize)) go = false;
    filled = 0;
  };
  for (const NTFSRun& run : mft.GetRunList()) {
    if (!go || (m_sink && !m_sink->ShouldContinue())) break;
    if (run.firstLCN == kNTFSSparseLCN) continue;
    const uint64_t first = start + run.firstLCN * k;
    const uint64_t length = run.length * k;
    if (first >= deviceSectors) continue;
    const uint64_t inside = std::min(length, deviceSectors - first);  // never past the device
    for (uint64_t at = 0; at < inside && go;) {
      const uint64_t n = std::min<uint64_t>(batchSectors - filled, inside - at);
      uint8_t* to = batch.data() + uint64_t(filled) * sectorSize;
      if (!m_volume->ReadSectors(to, first + at, n)) std::memset(to, 0, n * sectorSize);
      for (uint64_t j = 0; j < n; ++j) slots[filled + j] = first + at + j;
      filled += static_cast<uint32_t>(n);
      at += n;
      done += n;
      if (filled == batchSectors) {
        analyze();
        ReportStatus(static_cast<int>(EScanStatusKind::Progress), total, done, go);
      }
    }
  }
  if (go && (!m_sink || m_sink->ShouldContinue())) analyze();
  ReportStatus(static_cast<int>(EScanStatusKind::Progress), total, total, go);
  return 0;
}

int CNTFSQuickSearch::ScanVolume(IStorageDevice* volume, IScanProgressSink* sink) {
  if (!volume) return kNTFSWipeNoDevice;
  m_volume = volume;
  m_sink = sink;
  const int sectorSize = volume->GetSectorSize();
  if (sectorSize <= 0) return kNTFSWipeNoDevice;
  if (static_cast<uint32_t>(sectorSize) != m_partition->GetBytesPerSector())
    m_partition = std::make_unique<CSearchedPartitionInfo>(sectorSize);
  std::vector<uint8_t> sector(std::max(sectorSize, 512), 0);
  CNTFSDBR dbr;
  if (!volume->ReadSectors(sector.data(), 0, 1) || !dbr.SetFromSector(sector.data())) return kNTFSWipeBadBootSector;
  const uint32_t recordSize = static_cast<uint32_t>(dbr.GetFileRecordSize());
  const uint64_t k = dbr.GetSectorsPerCluster();
  m_partition->SetType(EFileSystemType::NTFS);
  m_partition->SetStartSector(0);
  m_partition->SetSectorsPerCluster(static_cast<uint32_t>(k));
  m_partition->SetSectorCount(volume->GetSectorCount());
  const uint32_t perRecord = SectorsPerRecord(recordSize, static_cast<uint32_t>(sectorSize));
  const uint64_t mftSector = dbr.GetMFTCluster() * k;
  if (k == 0 || mftSector >= volume->GetSectorCount()) return kNTFSWipeNoMFT;
  std::vector<uint8_t> record(uint64_t(perRecord) * sectorSize, 0);
  if (!volume->ReadSectors(record.data(), mftSector, perRecord)) return kNTFSWipeNoMFT;
  CNTFSFileRecord view(record.data(), static_cast<int>(std::min<uint64_t>(record.size(), recordSize)), false);
  std::unique_ptr<CNTFSMFTRecordInfo> mft = CreateMFTRecordInfo(view, mftSector);
  if (!mft) return kNTFSWipeNoMFT;
  char label[100] = {};
  ReadVolumeLabel(static_cast<int64_t>(mftSector), volume, label, static_cast<int>(recordSize));
  CreateVolumeNode(label[0] ? label : nullptr);
  return ScanMFT(*mft, recordSize);
}

void RegisterNTFSQuickSearch() {
  RegisterQuickSearch(EFileSystemType::NTFS,
                      [] { return static_cast<IQuickFileSystemSearchController*>(CNTFSQuickSearch::Create()); });
}
