#include "CExt2FileSystem.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ByteOrder.h"
#include "Ext2Collector.h"
#include "Ext2Exceptions.h"
#include "IStorageDevice.h"
#include "VolumeProbeFlag.h"

namespace {
constexpr uint32_t kBackupGroups[] = {0, 1, 3, 5, 7, 9, 25, 27, 49, 81, 125};
}  // namespace

CExt2FileSystem::CExt2FileSystem(IStorageDevice* device, uint64_t superBlockSector) {
  Init(device, superBlockSector, ReadSuperBlock(device, superBlockSector));
}

CExt2FileSystem::CExt2FileSystem(IStorageDevice* device, uint64_t superBlockSector, const uint8_t* superBlock) {
  if (!superBlock) throw CExt2BadSuperBlock();
  Init(device, superBlockSector, CExt2SuperBlock(superBlock));
}

CExt2FileSystem::CExt2FileSystem(IStorageDevice* device, uint64_t partitionStart, const uint8_t* superBlock,
                                 const uint8_t* descriptors) {
  if (!superBlock || !device) throw CExt2BadSuperBlock();
  m_device = device;
  m_super = CExt2SuperBlock(superBlock);
  m_super.Normalize();
  if (!m_super.IsValid()) throw CExt2BadSuperBlock();
  m_superBlockSector = partitionStart + 2;
  m_super.SetBlockGroupNr(0);
  if (m_super.UnknownIncompatFeatures()) throw CExt2UnsupportedFeature(m_super.UnknownIncompatNames());
  const uint64_t groups = m_super.GetGroupCount();
  const uint64_t bytes = groups * m_super.GetDescriptorSize();
  if (!descriptors || bytes > kMaxDescriptorBytes || !CheckGroupDescriptors(descriptors, groups, m_super))
    throw CExt2BadGroupDescriptor();
  m_descriptors.assign(descriptors, descriptors + bytes);
}

CExt2FileSystem::~CExt2FileSystem() = default;

CExt2SuperBlock CExt2FileSystem::ReadSuperBlock(IStorageDevice* device, uint64_t sector) {
  InstallStructuredExceptionTranslator();
  if (!device || device->GetSectorSize() != 512) throw CExt2ReadSectorError();
  const uint64_t total = device->GetSectorCount();
  if (sector >= total || total - sector < 2) throw CExt2ReadSectorError();
  uint8_t buffer[CExt2SuperBlock::kSize] = {};
  if (!device->ReadSectors(buffer, sector, 2)) throw CExt2ReadSectorError();
  return CExt2SuperBlock(buffer);
}

void CExt2FileSystem::Init(IStorageDevice* device, uint64_t sector, const CExt2SuperBlock& super) {
  InstallStructuredExceptionTranslator();
  if (!device) throw CExt2BadSuperBlock();
  m_device = device;
  m_super = super;
  m_descriptors.clear();
  m_superBlockSector = sector;
  m_super.Normalize();
  if (!m_super.IsValid()) throw CExt2BadSuperBlock();
  // The file system must fit on the device from its first block on.
  const int64_t copyOffset = m_super.BlockGroupNr() == 0 ? 0 : m_super.GetCopyOffsetSectors();
  if (copyOffset < 0 ? false : static_cast<uint64_t>(copyOffset) > sector) throw CExt2BadSuperBlock();
  const uint64_t primary = GetPrimarySuperBlockSector();
  const uint64_t deviceSectors = device->GetSectorCount();
  if (primary < 2 || primary - 2 >= deviceSectors) throw CExt2BadSuperBlock();
  if (GetTotalBytes() > (deviceSectors - (primary - 2)) * 512) throw CExt2BadSuperBlock();
  if (VolumeProbeActive.load() == 1) return;
  if (m_super.UnknownIncompatFeatures()) throw CExt2UnsupportedFeature(m_super.UnknownIncompatNames());
  m_descriptors = FindBackupSuperBlock();
  if (m_descriptors.empty()) throw CExt2BadGroupDescriptor();
}

uint64_t CExt2FileSystem::GetPrimarySuperBlockSector() const {
  if (m_super.BlockGroupNr() == 0) return m_superBlockSector;
  int64_t offset = m_super.GetCopyOffsetSectors();
  if (offset < 0) return m_superBlockSector + static_cast<uint64_t>(-offset);
  return static_cast<uint64_t>(offset) > m_superBlockSector ? 0 : m_superBlockSector - static_cast<uint64_t>(offset);
}

uint64_t CExt2FileSystem::BlockToSector(uint64_t block) const {
  return block * m_super.GetSectorsPerBlock() + GetPrimarySuperBlockSector() - 2;
}

uint64_t CExt2FileSystem::GetTotalBytes() const {
  return m_super.BlocksCount() * m_super.GetBlockSize();
}

EFileSystemType CExt2FileSystem::GetFileSystemType() const {
  return m_super.JournalInum() != 0 ? EFileSystemType::Ext3 : EFileSystemType::Ext2;
}

std::string CExt2FileSystem::GetVolumeName() const {
  const char* name = reinterpret_cast<const char*>(m_super.VolumeName());
  return std::string(name, strnlen(name, 16));
}

uint64_t CExt2FileSystem::ReadBlocks(void* buffer, uint64_t first, uint32_t count) const {
  const uint64_t deviceSectors = m_device ? m_device->GetSectorCount() : 0;
  // A block number so large that its sector wraps is outside the device too.
  if (first > (UINT64_MAX >> 4)) throw std::range_error("CExt2FileSystem::ReadBlocks");
  const uint64_t firstSector = BlockToSector(first);
  const uint64_t sectorCount = static_cast<uint64_t>(count) * m_super.GetSectorsPerBlock();
  if (firstSector >= deviceSectors || sectorCount > deviceSectors - firstSector)
    throw std::range_error("CExt2FileSystem::ReadBlocks");
  if (sectorCount == 0) return 1;
  if (!m_device->ReadSectors(buffer, firstSector, sectorCount)) {
    std::memset(buffer, 0, static_cast<size_t>(sectorCount) * 512);
    throw CExt2ReadSectorError();
  }
  return 1;
}

uint64_t CExt2FileSystem::DescriptorBlock(const uint8_t* table, uint64_t group, int index, uint32_t descriptorSize) {
  const uint8_t* d = table + group * descriptorSize;
  uint64_t value = ReadLE32(d + 4 * index);
  if (descriptorSize >= 64) value |= static_cast<uint64_t>(ReadLE32(d + 0x20 + 4 * index)) << 32;
  return value;
}

uint64_t CExt2FileSystem::GetInodeTableBlock(uint64_t group) const {
  const uint32_t size = m_super.GetDescriptorSize();
  if (size == 0 || (group + 1) * size > m_descriptors.size()) return 0;
  return DescriptorBlock(m_descriptors.data(), group, 2, size);
}

bool CExt2FileSystem::GetInodeLocation(uint32_t inode, uint64_t* block, uint32_t* offset) const {
  const uint32_t perGroup = m_super.InodesPerGroup();
  const uint32_t blockSize = m_super.GetBlockSize();
  if (inode == 0 || perGroup == 0 || blockSize == 0 || !block || !offset) return false;
  const uint64_t group = (inode - 1) / perGroup;
  const uint64_t index = (inode - 1) % perGroup;
  if (group >= m_super.GetGroupCount() || (group + 1) * m_super.GetDescriptorSize() > m_descriptors.size())
    return false;
  const uint64_t byteInTable = index * m_super.GetInodeSize();
  *block = GetInodeTableBlock(group) + byteInTable / blockSize;
  *offset = static_cast<uint32_t>(byteInTable % blockSize);
  return true;
}

bool CExt2FileSystem::IsSameFileSystem(const CExt2FileSystem& other) const {
  return m_super.IsSameAs(other.m_super) && GetPrimarySuperBlockSector() == other.GetPrimarySuperBlockSector();
}

bool CExt2FileSystem::CheckGroupDescriptors(const uint8_t* table, uint64_t count, uint32_t firstDataBlock,
                                            uint32_t blocksPerGroup) {
  if (!table) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t low = firstDataBlock + i * blocksPerGroup;
    const uint64_t high = low + blocksPerGroup;
    for (size_t field = 0; field < 12; field += 4) {
      const uint64_t value = ReadLE32(table + i * 32 + field);
      if (value < low || value >= high) return false;
    }
  }
  return true;
}

bool CExt2FileSystem::CheckGroupDescriptors(const uint8_t* table, uint64_t count, const CExt2SuperBlock& super) {
  const uint32_t size = super.GetDescriptorSize();
  if (!super.HasFlexBg() && size == 32)
    return CheckGroupDescriptors(table, count, super.FirstDataBlock(), super.BlocksPerGroup());
  if (!table || size < 32) return false;
  const uint64_t tableBlocks = super.GetInodeTableBlocks();
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t low = super.FirstDataBlock(), high = super.BlocksCount();
    if (!super.HasFlexBg()) {
      low = super.FirstDataBlock() + i * super.BlocksPerGroup();
      high = std::min<uint64_t>(high, low + super.BlocksPerGroup());
    }
    for (int field = 0; field < 3; ++field) {
      const uint64_t value = DescriptorBlock(table, i, field, size);
      if (value < low || value >= high) return false;
    }
    const uint64_t inodeTable = DescriptorBlock(table, i, 2, size);
    if (super.HasFlexBg() && tableBlocks > high - inodeTable) return false;
  }
  return true;
}

std::vector<uint8_t> CExt2FileSystem::FindBackupSuperBlock() const {
  const uint64_t groups = m_super.GetGroupCount();
  const uint64_t descriptorBytes = groups * m_super.GetDescriptorSize();
  const uint64_t tableBytes = GetGroupDescriptorSectors(groups, m_super.GetDescriptorSize()) * 512;
  if (groups == 0 || tableBytes > kMaxDescriptorBytes) return {};
  CExt2GcThreadScope gcThread;
  // The candidate list lives in uncollectable memory so the collector sees
  // the tables it points to whatever thread this runs on.
  constexpr size_t kSlots = sizeof(kBackupGroups) / sizeof(kBackupGroups[0]);
  auto** collected = static_cast<uint8_t**>(Ext2CollectorAlloc(sizeof(uint8_t*) * kSlots, 1));
  if (!collected) return {};
  size_t collectedCount = 0;
  const uint8_t* current = nullptr;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  auto readable = [&](uint64_t sector, uint64_t count) {
    return sector < deviceSectors && count <= deviceSectors - sector;
  };

  for (uint32_t group : kBackupGroups) {
    if (group >= groups) break;
    const uint64_t block = static_cast<uint64_t>(m_super.BlocksPerGroup()) * group + m_super.FirstDataBlock();
    if (group != 0) {
      const uint64_t sbSector = BlockToSector(block);
      uint8_t raw[CExt2SuperBlock::kSize] = {};
      if (!readable(sbSector, 2) || !m_device->ReadSectors(raw, sbSector, 2)) {
        current = nullptr;
        break;
      }
      CExt2SuperBlock copy(raw);
      copy.Normalize();
      if (!copy.IsSameAs(m_super)) continue;
    }
    auto* table = static_cast<uint8_t*>(Ext2CollectorAlloc(static_cast<uint32_t>(tableBytes), 2));
    if (!table) {
      current = nullptr;
      break;
    }
    const uint64_t tableSector = BlockToSector(block + 1);
    if (!readable(tableSector, tableBytes / 512) || !m_device->ReadSectors(table, tableSector, tableBytes / 512)) {
      current = nullptr;
      break;
    }
    if (!CheckGroupDescriptors(table, groups, m_super)) {
      current = nullptr;
      continue;
    }
    bool agrees = false;
    for (size_t i = 0; i < collectedCount && !agrees; ++i)
      agrees = std::memcmp(collected[i], table, static_cast<size_t>(descriptorBytes)) == 0;
    current = table;
    if (agrees) break;
    collected[collectedCount++] = table;
  }
  if (!current && collectedCount > 0) current = collected[0];
  std::vector<uint8_t> result;
  if (current) result.assign(current, current + descriptorBytes);
  for (size_t i = 0; i < collectedCount; ++i) Ext2CollectorFree(collected[i]);
  if (current && std::find(collected, collected + collectedCount, current) == collected + collectedCount)
    Ext2CollectorFree(const_cast<uint8_t*>(current));
  Ext2CollectorFree(collected);
  return result;
}
