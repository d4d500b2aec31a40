// The FAT scrub over a FAT16 volume whose FAT entries, root directory and
// data area come from the input: it must end, stay inside its buffers and
// write only between the root directory and the end of the volume.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "CFATQuickScrub.h"
#include "FuzzMemoryDevice.h"
#include "IMountDriverWriter.h"

namespace {

constexpr uint32_t kSectors = 4200;
constexpr uint32_t kFatSize = 17;
constexpr uint32_t kRootStart = 1 + 2 * kFatSize;
constexpr size_t kFatEntries = 96;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

class MemoryWriter : public IMountDriverWriter {
 public:
  explicit MemoryWriter(std::vector<uint8_t>* bytes) : m_bytes(bytes) {}
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    if (first < kRootStart || first + count > kSectors || count == 0) std::abort();
    std::memcpy(m_bytes->data() + first * 512, buffer, count * 512);
    return count;
  }
  uint32_t LastError() const override { return 0; }
  int GetSectorSize() const override { return 512; }

 private:
  std::vector<uint8_t>* m_bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> volume(static_cast<size_t>(kSectors) * 512, 0);
  uint8_t* boot = volume.data();
  boot[0] = 0xEB;
  Put16(boot + 11, 512);
  boot[13] = 1;
  Put16(boot + 14, 1);
  boot[16] = 2;
  Put16(boot + 17, 512);
  Put16(boot + 19, kSectors);
  Put16(boot + 22, kFatSize);
  std::memcpy(boot + 54, "FAT16   ", 8);
  boot[510] = 0x55;
  boot[511] = 0xAA;
  // FAT entries 2.. from the input, the rest over the root and data area.
  std::vector<uint8_t> fat(kFatSize * 512, 0);
  Put16(fat.data(), 0xFFF8);
  Put16(fat.data() + 2, 0xFFFF);
  const size_t fatBytes = size < (kFatEntries - 2) * 2 ? size : (kFatEntries - 2) * 2;
  std::memcpy(fat.data() + 4, data, fatBytes);
  std::memcpy(volume.data() + 512, fat.data(), fat.size());
  std::memcpy(volume.data() + (1 + kFatSize) * 512, fat.data(), fat.size());
  const size_t rest = size - fatBytes;
  const size_t room = volume.size() - kRootStart * 512;
  std::memcpy(volume.data() + kRootStart * 512, data + fatBytes, rest < room ? rest : room);

  MemoryDevice device(volume);
  SetMountDriverOpener([&device](int, uint32_t*) -> std::unique_ptr<IMountDriverWriter> {
    return std::make_unique<MemoryWriter>(&device.Bytes());
  });
  CFATQuickScrub scrub;
  scrub.SetOptions(0, 0);
  scrub.SetDiskDevice(&device);
  (void)scrub.QuickSearchFiles(&device);
  SetMountDriverOpener(nullptr);
  return 0;
}
