// The sector-window reader and the end-marker search over random device
// bytes, 512- or 4096-byte sectors, a sector that fails to read, and random
// offsets and lengths. Every answer is checked against the device's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "CRawFileInfo.h"
#include "CSectorWindowReader.h"
#include "FuzzMemoryDevice.h"
#include "TextEndMarker.h"

namespace {

constexpr size_t kHeader = 4;
constexpr size_t kOpBytes = 12;
constexpr size_t kMaxOps = 32;  // the rest of a long input is device bytes only

uint32_t U32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader + 1) return 0;
  const int ss = (data[0] & 1) ? 4096 : 512;
  const uint64_t start = data[0] >> 4;
  // Up to two windows and some sectors more, the input repeated.
  const uint64_t sectors = 1 + (static_cast<uint64_t>(data[1]) | (data[2] & 1) << 8) % 300;
  // One device per sector size for the whole run: a fresh megabyte per
  // input would cost more than the reads under test.
  static MemoryDevice dev512(0, 512), dev4096(0, 4096);
  MemoryDevice& dev = ss == 512 ? dev512 : dev4096;
  std::vector<uint8_t>& bytes = dev.Bytes();
  bytes.resize(sectors * ss);
  const uint8_t* content = data + kHeader;
  const size_t contentSize = size - kHeader;
  for (size_t i = 0; i < bytes.size(); i += contentSize)
    std::memcpy(bytes.data() + i, content, std::min(contentSize, bytes.size() - i));
  dev.readLog.clear();
  dev.failSector = data[3] != 0xFF ? data[3] : ~0ull;
  const uint64_t fileBytes = start < sectors ? (sectors - start) * ss : 0;
  auto deviceByte = [&](uint64_t offset) { return bytes[static_cast<size_t>(start * ss + offset)]; };

  CSectorWindowReader reader(&dev, start);
  static std::vector<uint8_t> buffer;
  const size_t end = std::min(size, kHeader + kMaxOps * kOpBytes);
  for (size_t at = kHeader; at + kOpBytes <= end; at += kOpBytes) {
    const uint8_t* op = data + at;
    const uint32_t value = U32(op + 1);
    const uint64_t offset = (op[0] & 0x80) ? ~uint64_t{0} - value : value % (fileBytes + 3ull * ss);
    const size_t length = U32(op + 5) % (3u * 128 * ss + 1000);
    switch (op[0] % 3) {
      case 0: {
        size_t available = 0;
        const uint8_t* p = reader.GetData(offset, available);
        Check(p ? available > 0 && offset + available <= fileBytes : available == 0);
        if (p) Check(p[0] == deviceByte(offset) && p[available - 1] == deviceByte(offset + available - 1));
        break;
      }
      case 1: {
        buffer.assign(length, 0);
        const size_t n = reader.Read(offset, buffer.data(), length);
        Check(n <= length && (n == 0 || offset + n <= fileBytes));
        if (n) Check(std::memcmp(buffer.data(), bytes.data() + start * ss + offset, n) == 0);
        break;
      }
      default: {
        TextEndMarker marker;
        std::memset(&marker, 0, sizeof marker);
        const size_t markerLength = 1 + op[9] % 8;
        std::memcpy(marker.marker, op + 1, std::min<size_t>(markerLength, 8));
        marker.markerLength = static_cast<int>(markerLength);
        marker.sizeLimit = static_cast<uint64_t>(op[10]) * 1024;
        CRawFileInfo info;
        info.SetStartSector(start);
        Check(FindTextEndMarker(&info, &dev, marker, op[11] & 1) == 1);
        Check(info.GetFileSize() <= fileBytes);
        break;
      }
    }
  }
  return 0;
}
