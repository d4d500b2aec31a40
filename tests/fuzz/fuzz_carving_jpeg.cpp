// The JPEG analyser: MatchHeader on the input's first 4096 bytes, then
// FindFileSize of a picture that starts some sectors into a memory device
// of 512- or 4096-byte sectors; the size never passes the device's end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CRawFileInfo.h"
#include "FileJPGAnalyser.h"
#include "FuzzMemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int ss = (data[0] & 1) ? 4096 : 512;
  const uint64_t start = (data[0] >> 1) & 3;
  const uint8_t* picture = data + 1;
  const size_t pictureSize = size - 1;

  static FileJPGAnalyser analyser;
  std::vector<uint8_t> sector(4096, 0);
  memcpy(sector.data(), picture, std::min<size_t>(pictureSize, sector.size()));
  CRawFileInfo info;
  analyser.MatchHeader(sector.data(), &info);

  MemoryDevice dev(FuzzDiskBytes(picture, pictureSize, ss, static_cast<size_t>(start) * ss), ss);
  info.SetStartSector(start);
  info.SetFileSize(0);
  analyser.FindFileSize(&info, &dev);
  const uint64_t deviceBytes = dev.GetSectorCount() * static_cast<uint64_t>(ss);
  if (info.GetFileSize() > deviceBytes - start * ss) abort();
  int rawType = 0;
  std::string rawName;
  analyser.GetRawFileType(&rawType, rawName);
  if (rawType != -1 && (rawType != FileJPGAnalyser::kCameraRawType || rawName.empty())) abort();
  return 0;
}
