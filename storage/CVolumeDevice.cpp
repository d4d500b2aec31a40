#include "CVolumeDevice.h"

#include <cctype>
#include <cerrno>

#include "RunLog.h"
#include "VolumeLocation.h"

namespace {

RawDiskOpener WindowOpener(const std::string& path, uint64_t offset, uint64_t length, int sectorSize) {
  return [=](int* error) -> std::unique_ptr<platform::IRawDisk> {
    return platform::RawDisk::OpenWindow(path, offset, length, sectorSize, error);
  };
}

RawDiskOpener LetterOpener(char letter) {
  return [letter](int* error) -> std::unique_ptr<platform::IRawDisk> {
    platform::VolumeLocation where;
    if (!platform::ResolveDriveLetter(letter, &where)) {
      LogInfo("Volume %c: not found", letter);
      *error = ENOENT;
      return nullptr;
    }
    if (!where.devicePath.empty()) return platform::RawDisk::Open(where.devicePath, error);
    return platform::RawDisk::OpenWindow(where.imagePath, where.byteOffset, where.byteLength, where.sectorSize, error);
  };
}

}  // namespace

CVolumeDevice::CVolumeDevice(char letter, bool strict)
    : CRawBackedDevice(LetterOpener(letter), strict), m_letter(letter) {
  Open();
}

CVolumeDevice::CVolumeDevice(const std::string& devicePath, bool strict)
    : CRawBackedDevice(
          [devicePath](int* error) -> std::unique_ptr<platform::IRawDisk> {
            return platform::RawDisk::Open(devicePath, error);
          },
          strict) {
  Open();
}

CVolumeDevice::CVolumeDevice(const std::string& imagePath, uint64_t offset, uint64_t length, int sectorSize,
                             bool strict)
    : CRawBackedDevice(WindowOpener(imagePath, offset, length, sectorSize), strict) {
  Open();
}

CVolumeDevice::CVolumeDevice(RawDiskOpener opener, bool strict) : CRawBackedDevice(std::move(opener), strict) {
  Open();
}

int CVolumeDevice::Open() {
  if (m_letter != 0) {
    char upper = static_cast<char>(toupper(static_cast<unsigned char>(m_letter)));
    if (upper < 'A' || upper > 'Z') return 0;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  return ReopenLocked() ? 1 : 0;
}

int CVolumeDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  std::lock_guard<std::mutex> guard(m_lock);
  int error = 0;
  return ReadLocked(buffer, first, count, &error);
}

uint64_t CVolumeDevice::GetSectorCount() {
  return RawSectorCount();
}
