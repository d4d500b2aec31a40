// The MFT scrub and the $ATTRIBUTE_LIST reader on arbitrary bytes: the input
// is a volume of 512-byte sectors (and its first 4096 bytes a FILE record).
// Besides not crashing, a scrub may only ever turn bytes into zeros.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CNTFSMFTWiper.h"
#include "FuzzMemoryDevice.h"
#include "IMountDriverWriter.h"
#include "NTFSAttributeList.h"

namespace {

class BytesWriter : public IMountDriverWriter {
 public:
  explicit BytesWriter(std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    if ((first + count) * 512 > m_bytes.size()) return 0;
    std::memcpy(m_bytes.data() + first * 512, buffer, count * 512);
    return count;
  }
  uint32_t LastError() const override { return 0; }
  int GetSectorSize() const override { return 512; }

 private:
  std::vector<uint8_t>& m_bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> volume(data, data + size);
  volume.resize(std::max<size_t>(64 * 512, (size + 511) / 512 * 512), 0);
  testutil::MemoryDevice device(volume, 512);
  ParseAttributeList(volume.data(), 4096, 0, 8, &device);
  ParseAttributeList(volume.data(), 1024, 0, 1, &device);
  const std::vector<uint8_t>& before = volume;
  std::vector<uint8_t> after = volume;
  SetMountDriverOpener(
      [&after](int, uint32_t*) -> std::unique_ptr<IMountDriverWriter> { return std::make_unique<BytesWriter>(after); });
  CNTFSMFTWiper wiper;
  wiper.SetDiskDevice(&device);
  wiper.Wipe(&device, 0, 0, nullptr);
  SetMountDriverOpener(nullptr);
  for (size_t i = 0; i < after.size(); ++i)
    if (after[i] != before[i] && after[i] != 0) __builtin_trap();
  return 0;
}
