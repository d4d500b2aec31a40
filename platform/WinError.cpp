#include "WinError.h"

#include <cerrno>

namespace platform {

namespace {
thread_local uint32_t t_lastError = 0;
}

uint32_t GetLastWinError() {
  return t_lastError;
}
void SetLastWinError(uint32_t code) {
  t_lastError = code;
}

uint32_t WinErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return kWinSuccess;
    case ENOENT:
      return kWinFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EROFS:
      return kWinAccessDenied;
    case EBADF:
      return kWinInvalidHandle;
    case ENOMEM:
      return kWinNotEnoughMemory;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return kWinNotReady;
    case EINVAL:
      return kWinInvalidParameter;
    case ENOSPC:
    case EFBIG:
      return kWinDiskFull;
    case EIO:
    case ENODATA:
    case EILSEQ:
    case EBADMSG:
      return kWinIoDevice;
    default:
      return kWinGenFailure;
  }
}

}  // namespace platform
