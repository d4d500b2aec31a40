#include "EngineError.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {
std::atomic<ReturnErrorSink> g_sink{nullptr};
}

void SetReturnErrorSink(ReturnErrorSink sink) {
  g_sink.store(sink);
}

int ReturnError(int code, const char* file, int line, const char* function) {
  const char* name = file ? file : "";
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  char text[512];
  std::snprintf(text, sizeof text, "Return Error:0x%x\tFile:%s\tLine:%d\tFuction:%s", static_cast<unsigned>(code),
                name, line, function ? function : "");
  if (ReturnErrorSink sink = g_sink.load()) {
    sink(text);
  } else {
    std::printf("%s\n", text);
    std::fflush(stdout);
  }
  return code;
}
