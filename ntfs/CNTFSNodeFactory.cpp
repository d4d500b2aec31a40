#include "CNTFSNodeFactory.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CCommonFileRecordInfo.h"
#include "CFileSystemNode.h"
#include "CNTFSExtendedFileRecord.h"
#include "CNTFSFileProperties.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSMFTRecordInfo.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "IDirecotryTreeBuilder.h"
#include "IStorageDevice.h"
#include "NTFSFileRecordProperties.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordNumber.h"

namespace {

constexpr uint16_t kDirectoryAttribute = 0x10;

struct PropertiesRelease {
  void operator()(IFileProperties* p) const {
    if (p) p->Release();
  }
};

}  // namespace

uint32_t CNTFSNodeFactory::SectorSize() const {
  const int size = m_device ? m_device->GetSectorSize() : 0;
  return size > 0 ? static_cast<uint32_t>(size) : 512;
}

CFileSystemNode* CreateNTFSRootNode(const char* displayName, const char* label, uint64_t start,
                                    uint32_t sectorsPerCluster) {
  CFileSystemNode* node = CreateFileSystemNode();
  CNTFSFileProperties* properties = CreateNTFSFileProperties();
  NTFSFileFields fields;
  fields.common.name = displayName ? displayName : "";
  fields.common.attributes = kDirectoryAttribute;
  properties->SetFromRecordInfo(fields);
  node->SetProperties(properties);
  node->SetPartitionGeometry(start, static_cast<int>(sectorsPerCluster));
  node->SetFileSystemType(EFileSystemType::NTFS);
  const size_t length = label ? std::strlen(label) : 0;
  if (length >= 1 && length <= 64) node->SetName(label);
  node->SetId(CNTFSNodeFactory::kRootFolderId);
  return node;
}

int CNTFSNodeFactory::CreateVolumeNode(const char* name, uint64_t start, uint32_t sectorsPerCluster) {
  const char* text = name && *name ? name : "NTFS";
  CFileSystemNode* node = CreateNTFSRootNode(text, name, start, sectorsPerCluster);
  if (!m_builder) {
    DeleteFileNode(node);
    return 0;
  }
  return m_builder->AddFileSystemNode(node);
}

CFileNode* CNTFSNodeFactory::CreateFileNodeFromRecord(const uint8_t* record, int length, uint64_t sector,
                                                      const CSearchedPartitionInfo* partition,
                                                      const CNTFSMFTRecordInfo* mft) {
  if (!record || length < kNTFSMinRecordLength) return nullptr;
  if (IsSystemFileRecordBuffer(record, length)) return nullptr;
  CCommonFileRecordInfo info;
  {
    CNTFSFileRecord view(record, length, false);
    if (!view.IsValid() || view.IsExtensionRecord()) return nullptr;
    if (!info.SetFromRecord(view, sector)) return nullptr;
  }
  const uint32_t sectorSize = SectorSize();
  const uint32_t recordSize = RecordSizeOf(record, length, static_cast<uint32_t>(length));
  const uint32_t k = partition ? partition->GetSectorsPerCluster() : 0;
  const uint64_t start = partition ? partition->GetStartSector() : 0;
  std::unique_ptr<NTFSSegmentRefList> segments;
  if (partition && mft) {
    const int64_t number = RecordNumberFromSector(sector, *mft, start, k, recordSize, sectorSize);
    if (number != -1) info.SetRecordNumber(number);
    if (k >= 1 && k <= 255)
      segments =
          BuildSegmentRefList(record, length, sector, static_cast<uint8_t>(k), start, m_device, mft->GetRunList(),
                              static_cast<uint8_t>(std::min<uint32_t>(255, SectorsPerRecord(recordSize, sectorSize))));
  }
  CNTFSExtendedFileRecord extended(record, length, sector, m_device, segments.get());
  int64_t parent = -1;
  std::unique_ptr<CNTFSFileProperties, PropertiesRelease> properties(
      MakeNTFSFileProperties(sector, extended, partition ? uint64_t(sectorSize) * k : 0, &parent));
  if (!properties) return nullptr;
  if (partition && k >= 1 && k <= 255) FixSizeFromRunList(properties.get(), static_cast<uint8_t>(k));
  // The parent goes with the name the properties took: a hard link's other
  // $FILE_NAME names another folder.
  if (parent != -1) info.SetParentRecordNumber(parent);
  properties->SetRecordList(std::move(segments));
  CFileNode* node = CreateFileNode();
  node->SetPosition(sector);
  const bool reparse = (properties->GetAttributes() & CNTFSFileRecordAttribute::kDosReparsePoint) != 0;
  node->SetProperties(properties.release());
  node->SetId(reparse ? kReparsePointId : info.GetRecordNumber());
  node->SetParentId(info.GetParentRecordNumber());
  return node;
}

void CNTFSNodeFactory::SelectPartitionMFTs(const CSearchedPartitionInfo* partition) {
  if (m_selectedFor == partition) return;
  m_selectedFor = partition;
  m_partitionMFTs.clear();
  if (!m_mftList || !partition) return;
  const uint32_t k = partition->GetSectorsPerCluster();
  const uint64_t start = partition->GetStartSector();
  for (const CNTFSMFTRecordInfo* mft : *m_mftList) {
    if (!mft || mft->GetSector() < 0) continue;
    const int64_t first = mft->GetFirstLCN();
    if (first < 0 || !IsClusterAligned(static_cast<uint64_t>(mft->GetSector()), static_cast<uint64_t>(first), start, k))
      continue;
    uint64_t highestEnd = 0;
    bool inside = true;
    for (const NTFSRun& run : mft->GetRunList()) {
      if (run.firstLCN == kNTFSSparseLCN || run.length == 0) continue;
      uint64_t last = 0;
      if (__builtin_add_overflow(run.firstLCN, run.length - 1, &last) ||
          __builtin_mul_overflow(last, uint64_t(k), &last)) {
        inside = false;
        break;
      }
      highestEnd = std::max(highestEnd, last);
    }
    if (inside && highestEnd < partition->GetSectorCount()) m_partitionMFTs.push_back(mft);
  }
}

const CNTFSMFTRecordInfo* CNTFSNodeFactory::FindMFTOfSector(uint64_t sector,
                                                            const CSearchedPartitionInfo* partition) const {
  const uint32_t k = partition->GetSectorsPerCluster();
  if (k == 0 || sector < partition->GetStartSector()) return nullptr;
  const uint64_t cluster = (sector - partition->GetStartSector()) / k;
  for (const CNTFSMFTRecordInfo* mft : m_partitionMFTs)
    if (mft->GetRunList().ContainsLCN(cluster)) return mft;
  return nullptr;
}

int CNTFSNodeFactory::LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (!node || !partition || partition->GetType() != EFileSystemType::NTFS) return 0;
  IFileProperties* current = node->GetProperties();
  const bool reload = current && (current->GetStatusFlag() != 0 || current->GetFileSize() < 0);
  SelectPartitionMFTs(partition);
  if (!reload) {
    if (node->GetParentId() == kRootFolderId && !FindMFTOfSector(node->GetPosition(), partition)) node->SetParentId(-1);
    return 1;
  }
  if (!m_device) return 0;
  const uint32_t sectorSize = SectorSize();
  const uint64_t deviceSectors = m_device->GetSectorCount();
  const uint64_t position = node->GetPosition();
  if (position >= deviceSectors) return 0;
  // Never past the device's end: a record in its last sectors is read short.
  const uint64_t count = std::min<uint64_t>(kReloadSectors, deviceSectors - position);
  std::vector<uint8_t> buffer(size_t(kReloadSectors) * sectorSize, 0);
  if (!m_device->ReadSectors(buffer.data(), position, count)) return 0;
  const int length = static_cast<int>(std::min<uint64_t>(count * sectorSize, kNTFSMaxRecordLength));
  if (length < kNTFSMinRecordLength || !IsValidFileRecord(buffer.data(), length)) return 0;
  {
    CNTFSFileRecord view(buffer.data(), length, false);
    if (view.IsExtensionRecord()) return 0;
  }
  const CNTFSMFTRecordInfo* mft = FindMFTOfSector(position, partition);
  const auto* ntfs = dynamic_cast<const CSearchedNTFSPartitionInfo*>(partition);
  const bool useMFT = ntfs && ntfs->GetMFTGroupSwitch() != 0;
  CFileNode* fresh = CreateFileNodeFromRecord(buffer.data(), length, position, partition, useMFT ? mft : nullptr);
  if (fresh) {
    const bool reparse = current && (current->GetAttributes() & CNTFSFileRecordAttribute::kDosReparsePoint);
    node->SetId(reparse ? kReparsePointId : fresh->GetId());
    node->SetParentId(fresh->GetParentId());
    IFileProperties* properties = fresh->GetProperties();
    properties->AddRef();
    node->SetProperties(properties);
    DeleteFileNode(fresh);
  }
  return 1;
}
