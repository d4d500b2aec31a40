// Mapping pairs: validation, decoding, lookups and the saved form.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CNTFSRunList.h"
#include "IScanStream.h"

namespace {

class VectorStream : public IScanStream {
 public:
  int Read(void* buffer, uint32_t bytes) override {
    if (bytes > data.size() - pos) return 0;
    std::memcpy(buffer, data.data() + pos, bytes);
    pos += bytes;
    return 1;
  }
  int Write(const void* buffer, uint32_t bytes) override {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    data.insert(data.end(), p, p + bytes);
    return 1;
  }
  std::vector<uint8_t> data;
  size_t pos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // Exact-size copy so that any read past the pairs is caught.
  const std::vector<uint8_t> pairs(data, data + size);
  const int length = static_cast<int>(size);
  const bool valid = ValidateMappingPairs(pairs.data(), length);
  const int64_t sum = SumMappingPairsLength(pairs.data(), length);
  if ((sum >= 0) != valid) __builtin_trap();

  CNTFSRunList parsed;
  if (parsed.Parse(pairs.data(), length) != valid) __builtin_trap();
  if (valid && parsed.GetClusterCount() != static_cast<uint64_t>(sum)) __builtin_trap();
  CNTFSRunList decoded;
  DecodeMappingPairs(pairs.data(), length, decoded);
  if (valid && !decoded.IsEqual(parsed)) __builtin_trap();

  for (const NTFSRun& run : decoded) {
    if (run.firstLCN == kNTFSSparseLCN || run.length == 0) continue;
    const int64_t lcn = decoded.VCNToLCN(run.firstVCN);
    if (lcn < 0) continue;  // an earlier run may cover the same VCN
    decoded.LCNToVCN(static_cast<uint64_t>(lcn));
  }
  decoded.VCNToLCN(0);
  decoded.LCNToVCN(0);
  decoded.ContainsLCN(~uint64_t(0) >> 1);

  CNTFSRunList joined;
  joined.AppendParsed(pairs.data(), length, 1000);
  joined.AppendParsed(pairs.data(), length, ~uint64_t(0) >> 2);
  joined.Sort();

  VectorStream stream;
  decoded.Save(stream);
  CNTFSRunList loaded;
  if (!loaded.Load(stream) || !loaded.IsEqual(decoded)) __builtin_trap();
  // The input itself as a saved list.
  VectorStream raw;
  raw.data = pairs;
  CNTFSRunList fromRaw;
  fromRaw.Load(raw);
  return 0;
}
