// The crash dump: "<program folder>/tlmvtdump<N>.dmp", N counting from 0 in
// each process. The writer uses only async-signal-safe calls, so signal
// handlers can call it as well as the out-of-memory path.
#pragma once

#include <cstdint>

namespace platform {

// The code the allocation routines write when memory runs out.
constexpr uint32_t kOutOfMemoryCode = 0xE0000001u;

// Caches the program folder and loads what backtrace() needs, so that a
// later WriteCrashDump does not allocate. Called once at start-up; safe to
// call again.
void PrepareCrashDump();

// Writes the next dump file with the code, the fault address and a
// backtrace of the calling thread. Returns true when the file was written.
// Async-signal-safe once PrepareCrashDump has run.
bool WriteCrashDump(uint32_t code, const void* faultAddress);

}  // namespace platform
