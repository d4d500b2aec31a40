#include "CDiskDevice.h"

#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "DiskStyleProbe.h"
#include "DiskTable.h"
#include "RunLog.h"

namespace {

RawDiskOpener TableOpener(int number) {
  return [number](int* error) -> std::unique_ptr<platform::IRawDisk> { return platform::OpenDisk(number, error); };
}

std::string SysText(const std::string& path) {
  std::ifstream in(path);
  std::string s;
  std::getline(in, s);
  return s;
}

void CopyTrimmed(char* out, const std::string& text) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  const char* trimmed = TrimDescriptorString(buf.data());
  strncpy(out, trimmed, 259);
}

}  // namespace

CDiskDevice::CDiskDevice(int diskNumber, bool strict) : CDiskDevice(diskNumber, TableOpener(diskNumber), strict) {}

CDiskDevice::CDiskDevice(int diskNumber, RawDiskOpener opener, bool strict)
    : CRawBackedDevice(std::move(opener), strict), m_diskNumber(diskNumber) {
  Open();
}

int CDiskDevice::Open() {
  if (m_diskNumber < 0 || m_diskNumber > 19) return 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sectorCount = 0;
    if (!ReopenLocked()) return 0;
  }
  GetSectorSize();
  uint64_t count = GetSectorCount();
  m_dynamicDisk = ProbeDiskStyle(this, count, GetSectorSize());
  return 1;
}

int CDiskDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  std::lock_guard<std::mutex> guard(m_lock);
  int result = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    int error = 0;
    result = ReadLocked(buffer, first, count, &error);
    if (!result && platform::ClassifyReadError(error) == platform::ReadErrorClass::NotReady && m_notReadyCount < 3) {
      ++m_notReadyCount;
      LogInfo("--------------Disk Device 0x%x not ready ,we will try to read again",
              static_cast<unsigned>(m_diskNumber));
      bool reopened = ReopenLocked();
      LogInfo("--------------Disk Device handle = 0x%x", reopened ? 1u : 0u);
      continue;
    }
    m_notReadyCount = 0;
    break;
  }
  return result;
}

uint64_t CDiskDevice::GetSectorCount() {
  if (m_sectorCount > 0) return m_sectorCount;
  m_sectorCount = RawSectorCount();
  return m_sectorCount;
}

int CDiskDevice::GetDiskNumber() const {
  return (m_diskNumber >= 0 && m_diskNumber <= 20) ? m_diskNumber : -1;
}

uint32_t CDiskDevice::GetDiskSignature() {
  std::vector<uint8_t> sector(static_cast<size_t>(GetSectorSize()));
  if (!ReadSectors(sector.data(), 0, 1)) return 0xFFFFFFFFu;
  return uint32_t{sector[440]} | uint32_t{sector[441]} << 8 | uint32_t{sector[442]} << 16 | uint32_t{sector[443]} << 24;
}

int CDiskDevice::QueryStorageProperty(StorageDeviceInfo* info) {
  if (!info) return 0;
  *info = StorageDeviceInfo{};
  platform::DiskEntry entry;
  if (!platform::GetDiskEntry(m_diskNumber, &entry) || entry.isImageFile) return 0;
  std::string name = entry.path.substr(entry.path.rfind('/') + 1);
  std::string sys = "/sys/block/" + name;
  char real[PATH_MAX];
  if (!realpath(sys.c_str(), real)) return 0;
  std::string where = real;
  if (where.find("/usb") != std::string::npos)
    info->busType = 7;
  else if (where.find("/nvme") != std::string::npos)
    info->busType = 17;
  else if (where.find("/ata") != std::string::npos)
    info->busType = 3;
  else if (where.find("/virtual/") == std::string::npos)
    info->busType = 1;
  GetBusTypeName(info->busType, info->busTypeText, sizeof info->busTypeText);
  CopyTrimmed(info->vendor, SysText(sys + "/device/vendor"));
  CopyTrimmed(info->product, SysText(sys + "/device/model"));
  CopyTrimmed(info->productRevision, SysText(sys + "/device/rev"));
  std::string serial = SysText(sys + "/device/serial");
  if (serial.empty()) serial = SysText(sys + "/serial");
  CopyTrimmed(info->serialNumber, serial);
  return 1;
}
