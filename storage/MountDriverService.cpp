#include "MountDriverService.h"

bool StartDriverService(const char* serviceName) {
  (void)serviceName;
  return true;
}

bool StopDriverService(const char* serviceName) {
  (void)serviceName;
  return false;
}

bool IsServiceDatabaseLocked() {
  return false;
}

bool WaitServiceDatabaseUnlocked() {
  return IsServiceDatabaseLocked();
}
