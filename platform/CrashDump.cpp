#include "CrashDump.h"

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "ProgramFolder.h"

namespace platform {

namespace {

char g_folder[1024];
std::atomic<int> g_folderReady{0};
std::atomic<int> g_dumpCounter{0};

size_t Append(char* out, size_t pos, size_t cap, const char* text) {
  while (*text && pos + 1 < cap) out[pos++] = *text++;
  out[pos] = '\0';
  return pos;
}

size_t AppendHex(char* out, size_t pos, size_t cap, uint64_t value, int minDigits) {
  char digits[17];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value && n < 16);
  while (n < minDigits && n < 16) digits[n++] = '0';
  pos = Append(out, pos, cap, "0x");
  while (n > 0 && pos + 1 < cap) out[pos++] = digits[--n];
  out[pos] = '\0';
  return pos;
}

size_t AppendDecimal(char* out, size_t pos, size_t cap, unsigned value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (n > 0 && pos + 1 < cap) out[pos++] = digits[--n];
  out[pos] = '\0';
  return pos;
}

void WriteAll(int fd, const char* text, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, text, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    len -= static_cast<size_t>(n);
  }
}

// The folder from /proc/self/exe with readlink only (for a dump written
// before PrepareCrashDump ran).
void FolderFromExe(char* out, size_t cap) {
  ssize_t n = readlink("/proc/self/exe", out, cap - 1);
  if (n <= 0) {
    Append(out, 0, cap, ".");
    return;
  }
  out[n] = '\0';
  char* slash = strrchr(out, '/');
  if (slash == out)
    slash[1] = '\0';
  else if (slash)
    *slash = '\0';
}

}  // namespace

void PrepareCrashDump() {
  std::string folder = ProgramFolder();
  size_t len = std::min(folder.size(), sizeof g_folder - 1);
  memcpy(g_folder, folder.data(), len);
  g_folder[len] = '\0';
  g_folderReady.store(1);
  void* frames[2];
  backtrace(frames, 2);  // loads the unwinder now rather than in a signal handler
}

bool WriteCrashDump(uint32_t code, const void* faultAddress) {
  char folder[1024];
  if (g_folderReady.load())
    Append(folder, 0, sizeof folder, g_folder);
  else
    FolderFromExe(folder, sizeof folder);

  char path[1200];
  size_t pos = Append(path, 0, sizeof path, folder);
  if (pos > 0 && path[pos - 1] != '/') pos = Append(path, pos, sizeof path, "/");
  pos = Append(path, pos, sizeof path, "tlmvtdump");
  pos = AppendDecimal(path, pos, sizeof path, static_cast<unsigned>(g_dumpCounter.fetch_add(1)));
  Append(path, pos, sizeof path, ".dmp");

  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  char line[128];
  size_t n = Append(line, 0, sizeof line, "Vantorel crash dump\ncode: ");
  n = AppendHex(line, n, sizeof line, code, 8);
  n = Append(line, n, sizeof line, "\naddress: ");
  n = AppendHex(line, n, sizeof line, reinterpret_cast<uintptr_t>(faultAddress), 1);
  n = Append(line, n, sizeof line, "\npid: ");
  n = AppendDecimal(line, n, sizeof line, static_cast<unsigned>(getpid()));
  n = Append(line, n, sizeof line, "\nbacktrace:\n");
  WriteAll(fd, line, n);
  void* frames[64];
  int depth = backtrace(frames, 64);
  backtrace_symbols_fd(frames, depth, fd);
  close(fd);
  return true;
}

}  // namespace platform
