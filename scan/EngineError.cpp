#include "EngineError.h"

#include <cstdio>
#include <cstring>

int ReturnError(int code, const char* file, int line, const char* function) {
  const char* name = file ? file : "";
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  std::printf("Return Error:0x%x\tFile:%s\tLine:%d\tFuction:%s\n", static_cast<unsigned>(code), name, line,
              function ? function : "");
  std::fflush(stdout);
  return code;
}
