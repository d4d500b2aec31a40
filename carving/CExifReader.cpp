#include "CExifReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// Bytes per value of the TIFF field types 1..12.
constexpr int kBytesPerFormat[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

constexpr uint16_t kTagExifDirectory = 0x8769;
constexpr uint16_t kTagInteropDirectory = 0xA005;

int32_t ToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

uint32_t ToUint32(double v) {
  if (std::isnan(v) || v <= 0) return 0;
  if (v >= 4294967295.0) return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(v);
}

float ToFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (std::isnan(v)) return 0;
  return static_cast<float>(std::clamp(v, -kMax, kMax));
}

// A text value: up to its first zero byte, at most `byteCount` bytes and
// one less than the field holds.
void CopyText(char* field, size_t fieldSize, const uint8_t* value, uint64_t byteCount) {
  const size_t most = static_cast<size_t>(std::min<uint64_t>(byteCount, fieldSize - 1));
  size_t n = 0;
  while (n < most && value[n]) ++n;
  memcpy(field, value, n);
  memset(field + n, 0, fieldSize - n);
}

// The resolution-unit codes as factors to inches; false for an unknown one.
bool UnitFactor(int unit, float& factor) {
  switch (unit) {
    case 1:
    case 2:
      factor = 1.0f;
      return true;
    case 3:
      factor = 0.3937008f;
      return true;
    case 4:
      factor = 0.03937008f;
      return true;
    case 5:
      factor = 0.00003937008f;
      return true;
    default:
      return false;
  }
}

bool IsFrameMarker(int m) {
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

}  // namespace

CExifReader::CExifReader(ExifInfo* target) : m_info(target) {}

int CExifReader::Fail(const char* message) {
  m_error = message;
  return 0;
}

uint16_t CExifReader::ReadU16(const uint8_t* p) const {
  return m_motorola ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
}

uint32_t CExifReader::ReadU32(const uint8_t* p) const {
  return m_motorola ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                    : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}

double CExifReader::ValueToDouble(const uint8_t* value, int format) const {
  switch (format) {
    case 1:
      return value[0];
    case 6:
      return static_cast<int8_t>(value[0]);
    case 3:
      return ReadU16(value);
    case 8:
      return static_cast<int16_t>(ReadU16(value));
    case 4:
      return ReadU32(value);
    case 9:
      return static_cast<int32_t>(ReadU32(value));
    case 5:
    case 10: {
      const int32_t num = static_cast<int32_t>(ReadU32(value));
      const int32_t den = static_cast<int32_t>(ReadU32(value + 4));
      return den == 0 ? 0.0 : static_cast<double>(num) / den;
    }
    case 11: {
      float f;
      memcpy(&f, value, sizeof f);
      return f;
    }
    case 12: {
      double d;
      memcpy(&d, value, sizeof d);
      return d;
    }
    default:
      return 0;
  }
}

int CExifReader::ParseExifSegment(const uint8_t* section, size_t available, uint32_t sectionFilePos, int length) {
  if (!m_info) return Fail("Parameter incorreted! pExifInfo must not be NULL!");
  m_info->flashUsed = 0;
  m_info->comment[0] = 0;
  m_widestDimension = 0;
  m_visited.clear();
  m_tooManyDirectories = false;

  if (!section || length < kMinSegmentLength || static_cast<size_t>(length) > available)
    return Fail("Invalid Exif segment length");
  const uint8_t* exifHeader = section + 2;
  if (memcmp(exifHeader, "Exif\0\0", 6) != 0) return Fail("Incorrect Exif header");
  const uint8_t* tiff = exifHeader + 6;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    m_motorola = false;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    m_motorola = true;
  else
    return Fail("Invalid Exif alignment marker.");
  if (ReadU16(tiff + 2) != 0x2A) return Fail("Invalid Exif start (1)");
  const uint32_t first = ReadU32(tiff + 4);
  if (first < 8 || first > 16) return Fail("Suspicious offset of first IFD value");

  m_section = section;
  m_tiff = tiff;
  m_tiffLength = static_cast<uint64_t>(length) - 8;
  m_sectionFilePos = sectionFilePos;
  if (!ParseExifDirectory(first, false)) return 0;
  if (m_tooManyDirectories) return Fail("Too many directories in EXIF");

  if (m_info->focalPlaneXResolution != 0)
    m_info->ccdWidth = ToFloat(m_widestDimension * m_info->focalPlaneUnits / m_info->focalPlaneXResolution);
  return 1;
}

int CExifReader::FollowLink(uint64_t offset, bool thumbnailChain) {
  // The link must leave room for the directory's entry count.
  if (offset > m_tiffLength || m_tiffLength - offset < 2) return Fail("Illegal subdirectory link");
  ParseExifDirectory(offset, thumbnailChain);  // a damaged sub-directory does not fail its parent
  return 1;
}

int CExifReader::ParseExifDirectory(uint64_t dirOffset, bool thumbnailChain) {
  if (std::find(m_visited.begin(), m_visited.end(), dirOffset) != m_visited.end()) return 0;
  if (m_visited.size() >= static_cast<size_t>(kMaxDirectories)) {
    m_tooManyDirectories = true;
    return 0;
  }
  m_visited.push_back(dirOffset);

  if (dirOffset > m_tiffLength || m_tiffLength - dirOffset < 2) return Fail("Illegally sized directory");
  const uint8_t* dir = m_tiff + dirOffset;
  const uint64_t entries = ReadU16(dir);
  const uint64_t entriesEnd = dirOffset + 2 + 12 * entries;
  if (entriesEnd > m_tiffLength) return Fail("Illegally sized directory");

  uint32_t thumbOffset = 0, thumbSize = 0;
  for (uint64_t i = 0; i < entries; ++i) {
    const uint8_t* entry = dir + 2 + 12 * i;
    const uint16_t tag = ReadU16(entry);
    const int format = ReadU16(entry + 2);
    const uint32_t components = ReadU32(entry + 4);
    if (format < 1 || format > 12) return Fail("Illegal format code in EXIF dir");
    const uint64_t byteCount = uint64_t{components} * kBytesPerFormat[format];
    const uint8_t* value = entry + 8;
    if (byteCount > 4) {
      const uint64_t offset = ReadU32(entry + 8);
      if (offset > m_tiffLength || byteCount > m_tiffLength - offset)
        return Fail("Illegal pointer offset value in EXIF.");
      value = m_tiff + offset;
    }
    if (tag == kTagExifDirectory || tag == kTagInteropDirectory) {
      // The link is read from the entry's own four bytes or the value they
      // point at, whichever holds it.
      if (!FollowLink(ReadU32(value), thumbnailChain)) return 0;
      continue;
    }
    // The directories after the first describe the thumbnail: only its
    // place is taken from them, never the picture's own values.
    if (thumbnailChain && tag != 0x0201 && tag != 0x0202) continue;
    StoreTag(tag, format, value, byteCount, thumbOffset, thumbSize);
  }

  if (m_tiffLength - entriesEnd >= 4) {
    const uint64_t next = ReadU32(m_tiff + entriesEnd);
    if (next && !FollowLink(next, true)) return 0;
  }

  if (thumbOffset && thumbSize && thumbOffset <= m_tiffLength && thumbSize <= m_tiffLength - thumbOffset) {
    const uint8_t* thumb = m_tiff + thumbOffset;
    if (m_info->flags & ExifInfo::kCopyThumbnail)
      m_info->thumbnail.assign(thumb, thumb + thumbSize);
    else
      m_info->thumbnailOffset = static_cast<uint32_t>(thumb - m_section) + m_sectionFilePos;
    m_info->thumbnailSize = thumbSize;
  }
  return 1;
}

void CExifReader::StoreTag(uint16_t tag, int format, const uint8_t* value, uint64_t byteCount, uint32_t& thumbOffset,
                           uint32_t& thumbSize) {
  ExifInfo& info = *m_info;
  // Numbers are read from a copy that holds the value's own bytes (the
  // entry's four at least) and zeros behind them, never from what follows.
  uint8_t number[8] = {};
  memcpy(number, value, static_cast<size_t>(std::clamp<uint64_t>(byteCount, 4, 8)));
  const double v = ValueToDouble(number, format);
  float unit = 0;
  switch (tag) {
    case 0x010F:
      CopyText(info.cameraMake, sizeof info.cameraMake, value, byteCount);
      break;
    case 0x0110:
      CopyText(info.cameraModel, sizeof info.cameraModel, value, byteCount);
      break;
    case 0x9003:
      CopyText(info.dateTimeOriginal, sizeof info.dateTimeOriginal, value, byteCount);
      break;
    case 0x9004:
      CopyText(info.dateTimeDigitized, sizeof info.dateTimeDigitized, value, byteCount);
      break;
    case 0x9000:
      memcpy(info.exifVersion, value, 4);
      break;
    case 0x0112: {
      const int32_t o = ToInt32(v);
      if (o < 1 || o > 8) {
        m_error = "Undefined rotation value";
        info.orientation = 0;
      } else {
        info.orientation = o;
      }
      break;
    }
    case 0x9209:
      info.flashUsed = (ToInt32(v) & 7) ? 1 : 0;
      break;
    case 0x920A:
      info.focalLength = ToFloat(v);
      break;
    case 0x829A:
      info.exposureTime = ToFloat(v);
      break;
    case 0x829D:
      info.aperture = ToFloat(v);
      break;
    case 0x9206:
      info.subjectDistance = ToFloat(v);
      break;
    case 0x9204:
      info.exposureBias = ToFloat(v);
      break;
    case 0x9208:
      info.lightSource = ToInt32(v);
      break;
    case 0x9207:
      info.meteringMode = ToInt32(v);
      break;
    case 0x8822:
      info.exposureProgram = ToInt32(v);
      break;
    case 0x8827: {
      const int32_t iso = ToInt32(v);
      info.isoEquivalent = iso < 50 ? ToInt32(iso * 200.0) : iso;
      break;
    }
    case 0x9102:
      info.compressionLevel = ToInt32(v);
      break;
    case 0xA20E:
      info.focalPlaneXResolution = ToFloat(v);
      break;
    case 0xA20F:
      info.focalPlaneYResolution = ToFloat(v);
      break;
    case 0xA210:
      if (UnitFactor(ToInt32(v), unit)) info.focalPlaneUnits = unit;
      break;
    case 0x011A:
      info.xResolution = ToFloat(v);
      break;
    case 0x011B:
      info.yResolution = ToFloat(v);
      break;
    case 0x0128:
      if (UnitFactor(ToInt32(v), unit)) info.resolutionUnit = unit;
      break;
    case 0x9203:
      info.brightness = ToFloat(v);
      break;
    case 0xA002:
    case 0xA003:
      m_widestDimension = std::max(m_widestDimension, v);
      break;
    case 0x0201:
      thumbOffset = ToUint32(v);
      break;
    case 0x0202:
      thumbSize = ToUint32(v);
      break;
    case 0x9286:
      info.userCommentSize = static_cast<uint32_t>(byteCount);
      if (info.flags & ExifInfo::kCopyUserComment)
        info.userComment.assign(value, value + byteCount);
      else
        info.userCommentOffset = static_cast<uint32_t>(value - m_section) + m_sectionFilePos;
      break;
    case 0x927C:
      info.makerNoteSize = static_cast<uint32_t>(byteCount);
      if (info.flags & ExifInfo::kCopyMakerNote)
        info.makerNote.assign(value, value + byteCount);
      else
        info.makerNoteOffset = static_cast<uint32_t>(value - m_tiff);
      break;
    default:
      break;  // tags the record has no field for
  }
}

void CExifReader::StoreJpegComment(const uint8_t* section, size_t length) {
  const size_t n = std::min<size_t>(length, sizeof m_info->comment);
  size_t out = 0;
  for (size_t i = 2; i < n; ++i) {
    const uint8_t c = section[i];
    if (c == '\r' && i + 1 < n && section[i + 1] == '\n') continue;
    m_info->comment[out++] = c < 0x20 && c != '\n' && c != '\t' ? '?' : static_cast<char>(c);
  }
  m_info->comment[out] = 0;
}

void CExifReader::StoreJpegFrameInfo(const uint8_t* section, size_t length, int marker) {
  if (length < 8) return;
  m_info->height = section[3] << 8 | section[4];
  m_info->width = section[5] << 8 | section[6];
  m_info->isColor = section[7] == 3;
  m_info->process = marker;
}

int CExifReader::ScanJpegSections(std::FILE* file) {
  constexpr size_t kMaxSections = 20;
  auto fail = [this](const char* message) {
    m_error = message;
    return -1;
  };
  if (!m_info) return fail("Parameter incorreted! pExifInfo must not be NULL!");
  const int a = std::fgetc(file);
  const int b = std::fgetc(file);
  if (a == EOF || b == EOF) return fail("Unexpect File End");
  if (a != 0xFF || b != 0xD8) return fail("File Format Error");

  std::vector<std::vector<uint8_t>> held;
  bool commentSeen = false;
  for (;;) {
    if (held.size() >= kMaxSections) return fail("Too many sections in this jpg file");
    int marker = 0;
    for (int i = 0;; ++i) {
      marker = std::fgetc(file);
      if (marker == EOF) return fail("Unexpect File End");
      if (marker != 0xFF) break;
      if (i >= 6) return fail("Too many padding unsigned chars");
    }
    // The end of the image carries no length.
    if (marker == 0xD9) return fail("No image in this jpeg file");

    const long position = std::ftell(file);
    uint8_t lengthBytes[2];
    if (std::fread(lengthBytes, 1, 2, file) != 2) return fail("Unexpect File End");
    const size_t length = static_cast<size_t>(lengthBytes[0] << 8 | lengthBytes[1]);
    if (length < 2) return fail("Invalid Marker");
    std::vector<uint8_t> data(length);
    data[0] = lengthBytes[0];
    data[1] = lengthBytes[1];
    if (std::fread(data.data() + 2, 1, length - 2, file) != length - 2) return fail("Premature end of file?");

    if (IsFrameMarker(marker)) {
      StoreJpegFrameInfo(data.data(), length, marker);
    } else if (marker == 0xDA) {
      return 1;
    } else if (marker == 0xE0) {
      continue;  // dropped
    } else if (marker == 0xE1) {
      if (length < 6 || memcmp(data.data() + 2, "Exif", 4) != 0) continue;
      m_info->hasExif = ParseExifSegment(data.data(), length, static_cast<uint32_t>(std::max(position, 0L)),
                                         static_cast<int>(length));
    } else if (marker == 0xFE) {
      if (!commentSeen) StoreJpegComment(data.data(), length);
      commentSeen = true;
      continue;
    }
    held.push_back(std::move(data));
  }
}

int LoadJpegExifInfo(const char* path, ExifInfo* info, std::string* errorText) {
  auto fail = [errorText](const char* message) {
    if (errorText) *errorText = message;
    return -1;
  };
  if (!info) return fail("Parameter incorreted! pExifInfo must not be NULL!");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(path ? std::fopen(path, "rb") : nullptr, &std::fclose);
  if (!file) return fail("JPG File Not Found!");
  info->thumbnail.clear();
  info->thumbnailOffset = 0;
  info->thumbnailSize = 0;
  info->hasExif = 0;
  CExifReader reader(info);
  const int result = reader.ScanJpegSections(file.get());
  if (errorText) *errorText = reader.GetErrorText();
  return result;
}
