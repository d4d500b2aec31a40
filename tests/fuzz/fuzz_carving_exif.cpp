// The Exif segment reader: the input's first byte picks the copy flags and
// whether the rest is parsed as one APP1 segment (its length field taken as
// it stands) or read as a JPEG file section by section.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "CExifReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ExifInfo info;
  info.flags = data[0] & 0x0E;
  const uint8_t* rest = data + 1;
  const size_t restSize = size - 1;
  CExifReader reader(&info);
  if (data[0] & 1) {
    // A copy of exactly the input, so a read past it is seen.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[restSize ? restSize : 1]);
    if (restSize) memcpy(bytes.get(), rest, restSize);
    const int length = restSize >= 2 ? (bytes[0] << 8 | bytes[1]) : 0;
    const int result = reader.ParseExifSegment(bytes.get(), restSize, 4, length);
    if (result != 0 && result != 1) abort();
    if (reader.GetDirectoriesWalked() > CExifReader::kMaxDirectories) abort();
    if (info.thumbnail.size() > restSize || info.userComment.size() > restSize || info.makerNote.size() > restSize)
      abort();
  } else {
    if (restSize == 0) return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(rest), restSize, "rb");
    if (!file) return 0;
    const int result = reader.ScanJpegSections(file);
    std::fclose(file);
    if (result != 1 && result != -1) abort();
  }
  return 0;
}
