#include "SafeAlloc.h"

#include <fcntl.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "CrashDump.h"
#include "RunLog.h"

namespace {

struct MemoryStatus {
  int64_t totalPhysical = 0;
  int64_t availablePhysical = 0;
  int64_t totalSwap = 0;
  int64_t availableSwap = 0;
};

// One "Name:   123 kB" figure of /proc/meminfo, in bytes; -1 when absent.
int64_t MeminfoField(const char* text, const char* name) {
  const char* p = strstr(text, name);
  if (!p) return -1;
  p += strlen(name);
  while (*p == ' ' || *p == '\t') ++p;
  int64_t kb = 0;
  bool any = false;
  while (*p >= '0' && *p <= '9') {
    kb = kb * 10 + (*p++ - '0');
    any = true;
  }
  return any ? kb * 1024 : -1;
}

// Reads the figures without allocating: /proc/meminfo into a stack buffer,
// sysinfo() when that fails.
bool QueryMemoryStatus(MemoryStatus* s) {
  char text[8192];
  int fd = open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n > 0) {
      text[n] = '\0';
      s->totalPhysical = MeminfoField(text, "MemTotal:");
      s->availablePhysical = MeminfoField(text, "MemAvailable:");
      s->totalSwap = MeminfoField(text, "SwapTotal:");
      s->availableSwap = MeminfoField(text, "SwapFree:");
      if (s->totalPhysical >= 0 && s->availablePhysical >= 0 && s->totalSwap >= 0 && s->availableSwap >= 0) return true;
    }
  }
  struct sysinfo si;
  if (sysinfo(&si) != 0) return false;
  const int64_t unit = si.mem_unit ? si.mem_unit : 1;
  s->totalPhysical = static_cast<int64_t>(si.totalram) * unit;
  s->availablePhysical = static_cast<int64_t>(si.freeram + si.bufferram) * unit;
  s->totalSwap = static_cast<int64_t>(si.totalswap) * unit;
  s->availableSwap = static_cast<int64_t>(si.freeswap) * unit;
  return true;
}

std::atomic<int> g_reporting{0};

}  // namespace

void ReportOutOfMemory(size_t bytes) {
  // Logging allocates; a failure inside the report goes straight to the dump.
  // (A dump before PrepareCrashDump lands in the executable's folder.)
  if (g_reporting.fetch_add(1) == 0) {
    platform::PrepareCrashDump();
    LogInfo("Failed to alloc 0x%08" PRIx64 " bytes", static_cast<uint64_t>(bytes));
    MemoryStatus s;
    if (!QueryMemoryStatus(&s)) {
      LogInfo("Failed to query memory status.");
      s = MemoryStatus{};
    }
    const int64_t mb = 1048576;
    LogInfo("Memory status:");
    LogInfo("Total physical memory:%4" PRId64 " MB\tAvailable physical memory:%4" PRId64 " MB", s.totalPhysical / mb,
            s.availablePhysical / mb);
    LogInfo("Total   page    files:%4" PRId64 " MB\tAvailable    page   files:%4" PRId64 " MB", s.totalSwap / mb,
            s.availableSwap / mb);
  }
  platform::WriteCrashDump(platform::kOutOfMemoryCode, nullptr);
  // One dump for this end: a SIGABRT handler must not write a second one.
  signal(SIGABRT, SIG_DFL);
  abort();
}

void* SafeMallocSize(size_t bytes) {
  void* p = malloc(bytes ? bytes : 1);
  if (!p) ReportOutOfMemory(bytes);
  return p;
}

void* SafeMalloc(uint32_t bytes) {
  return SafeMallocSize(bytes);
}

int SafeFree(void* block) {
  free(block);
  return 0;
}

uint8_t* AllocBuffer(uint32_t bytes) {
  // Large buffers start on a page, so that raw O_DIRECT reads land in them
  // without a bounce copy. Still one heap: free() releases them.
  if (bytes >= 65536) {
    void* p = nullptr;
    if (posix_memalign(&p, 4096, bytes) != 0 || !p) ReportOutOfMemory(bytes);
    return static_cast<uint8_t*>(p);
  }
  return static_cast<uint8_t*>(SafeMalloc(bytes));
}

void FreeBuffer(void* block) {
  SafeFree(block);
}
