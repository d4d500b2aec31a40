// The PE-image test over arbitrary bytes of any length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CFatCompleteSearchWorker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size heap copy, so that any read past it is caught.
  std::vector<uint8_t> bytes(data, data + size);
  (void)CFatCompleteSearchWorker::IsPEImage(bytes.empty() ? nullptr : bytes.data(), bytes.size());
  return 0;
}
