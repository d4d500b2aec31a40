#include "CExt2SearchedPartitionInfo.h"

#include <algorithm>
#include <cstring>

#include "CExt2FileSystem.h"
#include "ICompleteFileSystemSearchController.h"
#include "IStorageDevice.h"
#include "ScanStreamIO.h"

CExt2SearchedPartitionInfo::CExt2SearchedPartitionInfo(int bytesPerSector) : CSearchedPartitionInfo(bytesPerSector) {
  SetTableBytes();
}

CExt2SearchedPartitionInfo::CExt2SearchedPartitionInfo(const uint8_t* superBlock, uint64_t foundSector512,
                                                       int bytesPerSector)
    : CSearchedPartitionInfo(bytesPerSector), m_super(superBlock), m_timesFound(1), m_found512(foundSector512) {
  const CExt2SuperBlock normalized = GetNormalizedSuperBlock();
  const int64_t primary = PrimarySector512(normalized, foundSector512);
  m_start512 = primary >= 2 ? static_cast<uint64_t>(primary) - 2 : 0;
  m_superValid = normalized.IsValid();
  SetGeometry();
  SetTableBytes();
}

int64_t CExt2SearchedPartitionInfo::PrimarySector512(const CExt2SuperBlock& super, uint64_t foundSector512) {
  if (foundSector512 > static_cast<uint64_t>(INT64_MAX)) return -1;
  const int64_t found = static_cast<int64_t>(foundSector512);
  if (super.BlockGroupNr() == 0) return found;
  return found - super.GetCopyOffsetSectors();
}

CExt2SuperBlock CExt2SearchedPartitionInfo::GetNormalizedSuperBlock() const {
  CExt2SuperBlock s = m_super;
  s.Normalize();
  return s;
}

void CExt2SearchedPartitionInfo::SetGeometry() {
  const CExt2SuperBlock s = GetNormalizedSuperBlock();
  const uint64_t bytesPerSector = GetBytesPerSector();
  const uint64_t ratio = bytesPerSector / 512;
  SetType(s.JournalInum() != 0 ? EFileSystemType::Ext3 : EFileSystemType::Ext2);
  // Blocks smaller than a device sector cannot be addressed in its sectors:
  // 0 then, and nothing is read through that geometry.
  SetSectorsPerCluster(static_cast<uint32_t>(s.GetBlockSize() / bytesPerSector));
  SetStartSector(m_start512 / ratio);
  SetClusterStartSector(m_start512 / ratio);
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(s.BlocksCount(), static_cast<uint64_t>(s.GetBlockSize()), &bytes)) bytes = UINT64_MAX;
  SetSectorCount(bytes / bytesPerSector);
}

int CExt2SearchedPartitionInfo::IsNodeInPartition(CFileNode* node) {
  ICompleteFileSystemSearchController* owner = GetOwner();
  return owner ? owner->IsNodeInPartition(node, this) : 0;
}

int CExt2SearchedPartitionInfo::LoadNodeDataRuns(CFileNode* node) {
  ICompleteFileSystemSearchController* owner = GetOwner();
  return owner ? owner->LoadNodeDataRuns(node, this) : 0;
}

bool CExt2SearchedPartitionInfo::Save(IScanStream* stream) {
  return SaveBase(stream) && StreamWriteU64(stream, m_firstDescriptor512) &&
         StreamWriteU32(stream, m_superValid ? 1 : 0);
}

bool CExt2SearchedPartitionInfo::Load(IScanStream* stream) {
  uint64_t first = 0;
  uint32_t valid = 0;
  if (!LoadBase(stream) || !StreamReadU64(stream, first) || !StreamReadU32(stream, valid)) return false;
  m_firstDescriptor512 = first;
  m_superValid = valid != 0;
  m_super = CExt2SuperBlock();
  SetTableBytes();
  m_table.clear();
  m_blockUse.clear();
  m_timesFound = 0;
  m_start512 = GetStartSector() * (GetBytesPerSector() / 512);
  m_found512 = m_start512 + 2;
  return true;
}

void CExt2SearchedPartitionInfo::SetTableBytes() {
  const CExt2SuperBlock s = GetNormalizedSuperBlock();
  m_tableBytes = s.GetGroupCount() * s.GetDescriptorSize();
}

uint64_t CExt2SearchedPartitionInfo::GetDescriptorTableBytes() const {
  return m_tableBytes;
}

bool CExt2SearchedPartitionInfo::IsDescriptorTableComplete() const {
  return !m_table.empty() && m_table.size() >= GetDescriptorTableBytes();
}

bool CExt2SearchedPartitionInfo::IsGroupDescriptorSector(uint64_t sector512) const {
  const uint64_t perBlock = GetNormalizedSuperBlock().GetSectorsPerBlock();
  if (perBlock == 0 || m_found512 < m_start512) return false;
  const uint64_t block = (m_found512 - m_start512) / perBlock;
  return sector512 >= m_start512 + (block + 1) * perBlock;
}

void CExt2SearchedPartitionInfo::AddGroupDescriptorSector(const uint8_t* sector, uint64_t sector512) {
  const uint64_t total = GetDescriptorTableBytes();
  if (!sector || total == 0 || total > CExt2FileSystem::kMaxDescriptorBytes) return;
  if (m_table.empty()) {
    m_firstDescriptor512 = sector512;
    m_table.reserve(std::min<uint64_t>(total, 64 * 1024));
  }
  if (m_table.size() >= total) return;
  const size_t take = static_cast<size_t>(std::min<uint64_t>(512, total - m_table.size()));
  m_table.insert(m_table.end(), sector, sector + take);
}

bool CExt2SearchedPartitionInfo::HasValidGroupDescriptors() const {
  const CExt2SuperBlock s = GetNormalizedSuperBlock();
  return s.IsValid() && IsDescriptorTableComplete() &&
         CExt2FileSystem::CheckGroupDescriptors(m_table.data(), s.GetGroupCount(), s);
}

bool CExt2SearchedPartitionInfo::IsSamePartition(const CExt2SearchedPartitionInfo& other) const {
  if (&other == this) return true;
  if (m_table.empty() || other.m_table.empty()) return false;
  if ((IsBackupCopy() || other.IsBackupCopy()) && m_start512 != other.m_start512) return false;
  if (!m_super.IsSameAs(other.m_super)) return false;
  // The bitmaps and inode table of every group (the free counts and
  // checksums change with every write).
  const CExt2SuperBlock s = GetNormalizedSuperBlock();
  const uint64_t groups = s.GetGroupCount();
  const uint32_t size = s.GetDescriptorSize();
  if (groups * size > m_table.size() || groups * size > other.m_table.size()) return false;
  for (uint64_t g = 0; g < groups; ++g) {
    const uint8_t* a = m_table.data() + g * size;
    const uint8_t* b = other.m_table.data() + g * size;
    if (std::memcmp(a, b, 12) != 0) return false;
    if (size >= 64 && std::memcmp(a + 0x20, b + 0x20, 12) != 0) return false;
  }
  return true;
}

bool CExt2SearchedPartitionInfo::ReadGroupDescriptors(IStorageDevice* device512) {
  if (!device512 || device512->GetSectorSize() != 512) return false;
  uint8_t buffer[CExt2SuperBlock::kSize];
  if (!device512->ReadSectors(buffer, m_found512, 2)) return false;
  m_super = CExt2SuperBlock(buffer);
  SetTableBytes();
  const CExt2SuperBlock s = GetNormalizedSuperBlock();
  if (!s.IsValid()) return false;
  const uint64_t groups = s.GetGroupCount();
  const uint64_t sectors = GetGroupDescriptorSectors(groups, s.GetDescriptorSize());
  if (sectors == 0 || sectors * 512 > CExt2FileSystem::kMaxDescriptorBytes) return false;
  const uint64_t perBlock = s.GetSectorsPerBlock();
  if (perBlock == 0 || m_found512 < m_start512) return false;
  if (m_firstDescriptor512 == 0)
    m_firstDescriptor512 = m_start512 + ((m_found512 - m_start512) / perBlock + 1) * perBlock;
  std::vector<uint8_t> table(static_cast<size_t>(sectors * 512));
  if (!device512->ReadSectors(table.data(), m_firstDescriptor512, sectors)) return false;
  table.resize(static_cast<size_t>(groups * s.GetDescriptorSize()));
  if (!CExt2FileSystem::CheckGroupDescriptors(table.data(), groups, s)) return false;
  m_table.swap(table);
  m_superValid = true;
  SetGeometry();
  m_timesFound = 1;
  return true;
}
