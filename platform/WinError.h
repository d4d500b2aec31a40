// The Windows error codes that the wipes and the volume manager report, and
// the per-thread "last error" they are read from.
#pragma once

#include <cstdint>

namespace platform {

constexpr uint32_t kWinSuccess = 0;
constexpr uint32_t kWinFileNotFound = 2;
constexpr uint32_t kWinAccessDenied = 5;
constexpr uint32_t kWinInvalidHandle = 6;
constexpr uint32_t kWinNotEnoughMemory = 8;
constexpr uint32_t kWinNotReady = 21;
constexpr uint32_t kWinWriteFault = 29;
constexpr uint32_t kWinGenFailure = 31;
constexpr uint32_t kWinDiskFull = 112;
constexpr uint32_t kWinInvalidParameter = 87;
constexpr uint32_t kWinIoDevice = 1117;
// The volume is not the one the run was shown (swapped disk or table).
constexpr uint32_t kWinMediaChanged = 1110;
// A write outside the locked volume, or with no volume locked: refused,
// nothing written.
constexpr uint32_t kWinWriteRefused = 644;

// The calling thread's last error.
uint32_t GetLastWinError();
void SetLastWinError(uint32_t code);

// The Windows code closest to an errno value (0 gives 0).
uint32_t WinErrorFromErrno(int error);

}  // namespace platform
