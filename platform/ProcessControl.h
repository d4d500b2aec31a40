// Processes by name and their termination ("OpenProcess" + "TerminateProcess").
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

// Ids of the live processes (zombies excluded) whose name is one of names:
// the kernel's command name (/proc/<pid>/comm, cut at 15 characters) or the
// file name of the executable. Only processes of uid when uid is not -1.
// Sorted ascending; never includes the calling process.
std::vector<pid_t> FindProcessIds(const std::vector<std::string>& names, uid_t uid = static_cast<uid_t>(-1));

// True while the process exists and is not a zombie.
bool IsProcessAlive(pid_t pid);

// When the process started, in clock ticks since boot (/proc/<pid>/stat);
// 0 when it is gone or a zombie. A pid and its start time name one process:
// a pid reused by a later process has a later start time.
unsigned long long ProcessStartTime(pid_t pid);

// Ends a process: SIGTERM, then SIGKILL when it is still alive after
// graceMs milliseconds. True when it is gone (or was already gone) afterwards.
// Refuses pid <= 1 and the calling process.
bool TerminateProcessById(pid_t pid, int graceMs = 2000);

// Ends several processes at once: SIGTERM to all, one shared wait, then
// SIGKILL to the survivors. Returns the ids still alive afterwards.
std::vector<pid_t> TerminateProcesses(const std::vector<pid_t>& pids, int graceMs = 2000);

}  // namespace platform
