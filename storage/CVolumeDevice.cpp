#include "CVolumeDevice.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <vector>

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

size_t CVolumeDevice::ReadSectorsBatch(SectorRead* pieces, size_t n) {
  if (!m_strict || n < 2) return IStorageDevice::ReadSectorsBatch(pieces, n);
  std::unique_lock<std::mutex> guard(m_lock);
  std::vector<platform::RawRead> raw(n);
  bool together = m_disk != nullptr;
  if (together) {
    const uint64_t ss = static_cast<uint64_t>(SectorSizeLocked());
    const uint64_t sectors = m_disk->ByteSize() / ss;
    for (size_t i = 0; together && i < n; ++i) {
      const SectorRead& p = pieces[i];
      together = p.buffer != nullptr && p.count > 0 && p.count < (uint64_t{1} << 32) / ss && p.first <= sectors &&
                 p.count <= sectors - p.first;
      raw[i].buffer = p.buffer;
      raw[i].offset = p.first * ss;
      raw[i].length = static_cast<size_t>(p.count * ss);
    }
  }
  if (!together) {
    // What the sector reader refuses or logs on its own goes through it.
    guard.unlock();
    return IStorageDevice::ReadSectorsBatch(pieces, n);
  }
  const size_t whole = m_disk->ReadAll(raw.data(), n);
  for (size_t i = 0; i < n; ++i) pieces[i].ok = i < whole;
  m_lastError = whole < n ? raw[whole].error : 0;
  if (whole < n)
    LogInfo("Read of %" PRIu64 " sectors at %" PRIu64 " on %s failed: %s", pieces[whole].count, pieces[whole].first,
            m_disk->Path().c_str(), strerror(raw[whole].error));
  return whole;
}

uint64_t CVolumeDevice::GetSectorCount() {
  return RawSectorCount();
}
