#include "CMountDriverDevice.h"

#include <cstdlib>
#include <cstring>

#include "DiskTable.h"
#include "RunLog.h"
#include "VolumeLock.h"
#include "WinError.h"

namespace {
const char kPrefix[] = "\\\\.\\hxvolsys\\";
}

CMountDriverDevice::~CMountDriverDevice() {
  Close();
}

std::string CMountDriverDevice::DeviceName(int diskNumber) {
  return kPrefix + std::to_string(diskNumber);
}

int CMountDriverDevice::DiskNumberOfName(const char* name) {
  const size_t prefix = sizeof kPrefix - 1;
  if (!name || strncmp(name, kPrefix, prefix) != 0) return -1;
  const char* digits = name + prefix;
  if (*digits < '0' || *digits > '9' || strlen(digits) > 3) return -1;
  char* end = nullptr;
  long n = strtol(digits, &end, 10);
  if (*end != 0 || n < 0 || n >= platform::kMaxDisks) return -1;
  return static_cast<int>(n);
}

uint32_t CMountDriverDevice::SetError(uint32_t code) {
  m_lastError = code;
  platform::SetLastWinError(code);
  return code;
}

bool CMountDriverDevice::Open(const char* name) {
  Close();
  int n = DiskNumberOfName(name);
  if (n < 0) return SetError(platform::kWinFileNotFound) == 0;
  return Open(n);
}

bool CMountDriverDevice::Open(int diskNumber) {
  Close();
  platform::DiskEntry entry, now;
  if (!platform::GetDiskEntry(diskNumber, &entry) || !platform::ProbeDiskPath(entry.path, &now) ||
      now.identity != entry.identity)
    return SetError(platform::kWinFileNotFound) == 0;
  m_diskNumber = diskNumber;
  m_position = 0;
  return SetError(0) == 0;
}

bool CMountDriverDevice::SetFilePointer(uint64_t byteOffset) {
  if (m_diskNumber < 0) return SetError(platform::kWinInvalidHandle) == 0;
  m_position = byteOffset;
  return SetError(0) == 0;
}

uint32_t CMountDriverDevice::WriteAt(uint64_t byteOffset, const void* buffer, size_t bytes, size_t* written) {
  size_t dummy = 0;
  if (!written) written = &dummy;
  *written = 0;
  if (m_diskNumber < 0) return SetError(platform::kWinInvalidHandle);
  uint32_t error = platform::WriteLockedDisk(m_diskNumber, byteOffset, buffer, bytes, written);
  if (error != 0)
    LogInfo("Disk %d: write of %zu bytes at %llu failed with %u after %zu bytes", m_diskNumber, bytes,
            static_cast<unsigned long long>(byteOffset), error, *written);
  return SetError(error);
}

bool CMountDriverDevice::WriteFile(const void* buffer, uint32_t bytes, uint32_t* written) {
  size_t done = 0;
  uint32_t error = WriteAt(m_position, buffer, bytes, &done);
  m_position += done;
  if (written) *written = static_cast<uint32_t>(done);
  return error == 0;
}

bool CMountDriverDevice::Flush() {
  if (m_diskNumber < 0) return SetError(platform::kWinInvalidHandle) == 0;
  return SetError(platform::FlushLockedDisk(m_diskNumber) ? 0 : platform::kWinWriteFault) == 0;
}

bool CMountDriverDevice::Close() {
  if (m_diskNumber < 0) return false;
  bool ok = Flush();
  m_diskNumber = -1;
  return ok;
}
