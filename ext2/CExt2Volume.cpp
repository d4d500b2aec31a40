#include "CExt2Volume.h"

#include <cstring>
#include <exception>

#include "CExt2FileSystem.h"
#include "IStorageDevice.h"

CExt2Volume::CExt2Volume(IStorageDevice* disk, uint64_t start) {
  try {
    if (!disk) return;
    const int sectorSize = disk->GetSectorSize();
    const uint64_t ratio = sectorSize >= 512 ? static_cast<uint64_t>(sectorSize) / 512 : 0;
    if (ratio == 0) return;
    IStorageDevice* device = disk->Get512ByteDevice();
    if (!device) return;
    CExt2FileSystem fs(device, start * ratio + 2);
    const std::string name = fs.GetVolumeName();
    std::memcpy(m_label, name.data(), name.size() < sizeof m_label ? name.size() : sizeof m_label - 1);
    m_sectors = fs.GetTotalBytes() / 512 / ratio;
    m_type = fs.GetFileSystemType();
  } catch (const std::exception&) {
    m_type = EFileSystemType::Unknown;
    std::memset(m_label, 0, sizeof m_label);
    m_sectors = 0;
  }
}

CExt2Volume::~CExt2Volume() = default;

void CExt2Volume::GetVolumeLabel(char* buffer, unsigned size) {
  if (!buffer || size < 1) return;
  const size_t length = strnlen(m_label, sizeof m_label);
  const size_t copy = length + 1 < size ? length + 1 : size;
  std::memcpy(buffer, m_label, copy);
  buffer[size - 1] = '\0';
}
