// The dynamic-disk probe walks MBR chains and GPT entries of any disk; the
// 512-byte view and the partition windows cut reads at any offsets.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CBasicPartitionDevice.h"
#include "DiskStyleProbe.h"
#include "IStorageDevice.h"

namespace {

class BytesDevice : public IStorageDevice {
 public:
  BytesDevice(const uint8_t* data, size_t size, int sectorSize) : m_ss(sectorSize) {
    size_t sectors = (size + static_cast<size_t>(sectorSize) - 1) / static_cast<size_t>(sectorSize);
    m_bytes.assign(sectors * static_cast<size_t>(sectorSize), 0);
    if (size) memcpy(m_bytes.data(), data, size);
  }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    const uint64_t n = GetSectorCount();
    if (first > n || count > n - first) return 0;
    memcpy(buffer, m_bytes.data() + first * static_cast<uint64_t>(m_ss), static_cast<size_t>(count * m_ss));
    return 1;
  }
  uint64_t GetSectorCount() override { return m_bytes.size() / static_cast<size_t>(m_ss); }
  int GetSectorSize() override { return m_ss; }
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  std::vector<uint8_t> m_bytes;
  int m_ss;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesDevice disk(data, size, 512);
  ProbeDiskStyle(&disk, disk.GetSectorCount(), 512);

  if (size >= 8) {
    BytesDevice big(data, size, 4096);
    IStorageDevice* view = big.Get512ByteDevice();
    uint64_t first = data[0] % 64, count = data[1] % 24;
    std::vector<uint8_t> buf(static_cast<size_t>(count) * 512 + 1);
    view->ReadSectors(buf.data(), first, count);
    CBasicPartitionDevice part(view, data[2] % 16, data[3] % 32 + 1);
    uint64_t pf = data[4] % 40, pc = data[5] % 40;
    std::vector<uint8_t> pbuf(static_cast<size_t>(pc) * 512 + 1);
    part.ReadSectors(pbuf.data(), pf, pc);
  }
  return 0;
}
