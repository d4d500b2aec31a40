// A small program that installs the program's crash handler the way the
// program does (before main) and then faults on purpose:
//   vt_crash_child segv|abort|fpe|thread|overflow|none
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "CrashDump.h"
#include "StartUp.h"

static const bool g_installed = InstallCrashHandler();

namespace {

volatile int g_zero = 0;
volatile int* volatile g_null = nullptr;

__attribute__((noinline)) void WriteThroughNull() { *g_null = 1; }

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (g_zero == 1) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

}  // namespace

int main(int argc, char** argv) {
  platform::PrepareCrashDump();
  if (!g_installed || argc < 2) return 2;
  const char* kind = argv[1];
  if (!strcmp(kind, "segv")) WriteThroughNull();
  if (!strcmp(kind, "abort")) abort();
  if (!strcmp(kind, "fpe")) raise(SIGFPE);
  if (!strcmp(kind, "thread")) std::thread(WriteThroughNull).join();
  if (!strcmp(kind, "overflow")) return Recurse(0);
  return 0;
}
