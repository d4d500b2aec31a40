// Service control of the mount driver. The writer (CMountDriverDevice) is
// part of the program, so there is no service to start, stop or wait for:
// these answer that it runs.
#pragma once

// True: the writer runs (an already running service counts as started).
bool StartDriverService(const char* serviceName);
// False: the writer cannot be stopped; it keeps running.
bool StopDriverService(const char* serviceName);
// False: there is no service database to lock.
bool IsServiceDatabaseLocked();
// False at the first check: the database is never locked.
bool WaitServiceDatabaseUnlocked();
