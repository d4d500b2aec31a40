#include "HFSPlusOutput.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void HFSPlusPrint(const char* format, ...) {
  thread_local std::string pending;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  pending += text;
  for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
    LogInfo("%s", pending.substr(0, end).c_str());
    pending.erase(0, end + 1);
  }
  // A line never ended stays bounded.
  if (pending.size() > 4096) {
    LogInfo("%s", pending.c_str());
    pending.clear();
  }
}
