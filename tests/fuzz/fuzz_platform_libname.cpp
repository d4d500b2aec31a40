// The library-name mapping takes names from configuration files.
#include <cstddef>
#include <cstdint>
#include <string>

#include "NamedLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  std::string so = platform::NamedLibrary::SharedObjectName(name);
  if (so.size() < 6) __builtin_trap();
  return 0;
}
