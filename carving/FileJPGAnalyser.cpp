#include "FileJPGAnalyser.h"

#include <algorithm>
#include <cstring>

#include "CExifReader.h"
#include "CRawFileInfo.h"
#include "CScanOptions.h"
#include "CSectorWindowReader.h"
#include "IStorageDevice.h"
#include "SanitizeFileName.h"
#include "TextEndMarker.h"

namespace {

constexpr size_t kSegmentBytes = 65536;

bool SameLetters(const uint8_t* p, const char* text) {
  for (size_t i = 0; text[i]; ++i) {
    uint8_t c = p[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    char t = text[i];
    if (t >= 'A' && t <= 'Z') t = static_cast<char>(t - 'A' + 'a');
    if (c != static_cast<uint8_t>(t)) return false;
  }
  return true;
}

uint16_t BigEndian16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool ReadExactly(CSectorWindowReader& reader, uint64_t offset, uint8_t* out, size_t n) {
  return reader.Read(offset, out, n) == n;
}

}  // namespace

FileJPGAnalyser::FileJPGAnalyser() : IRawFileAnalyser(kTypeId) {}

void FileJPGAnalyser::Reset() {
  m_rawTypeId = -1;
  m_namePrefix.clear();
  m_dateText.clear();
  m_rawTypeName.clear();
  m_sectorSize = 0;
  m_deviceBytes = 0;
}

void FileJPGAnalyser::GetRawFileType(int* id, std::string& name) {
  if (id) *id = m_rawTypeId;
  name = m_rawTypeName;
}

int FileJPGAnalyser::MatchHeader(const uint8_t* sector, CRawFileInfo* info) {
  if (!sector || sector[0] != 0xFF || sector[1] != 0xD8 || sector[2] != 0xFF) return 0;
  const uint8_t m = sector[3];
  const bool match =
      m == 0xDB || ((m == 0xE0 || m == 0xE1) && (SameLetters(sector + 6, "JFIF") || SameLetters(sector + 6, "Exif")));
  if (match && info) info->SetFileType(kTypeId);
  return match ? 1 : 0;
}

int FileJPGAnalyser::FindFileSize(CRawFileInfo* info, IStorageDevice* device) {
  Reset();
  if (!info || !device) return 0;
  m_sectorSize = device->GetSectorSize();
  CSectorWindowReader reader(device, info->GetStartSector());
  const uint64_t total = device->GetSectorCount();
  const uint64_t start = info->GetStartSector();
  if (total) m_deviceBytes = start < total ? (total - start) * reader.GetSectorSize() : 0;

  uint8_t head[10];
  if (!ReadExactly(reader, 0, head, sizeof head)) return 0;
  if (SameLetters(head + 6, "JFIF")) return ReadJfifFileInfo(info, reader);
  if (SameLetters(head + 6, "Exif")) return ReadExifFileInfo(info, reader);
  return FindImageEnd(info, reader);
}

bool FileJPGAnalyser::ReadExifFileInfo(CRawFileInfo* info, CSectorWindowReader& reader) {
  uint8_t head[10];
  if (!ReadExactly(reader, 0, head, sizeof head) || !SameLetters(head + 6, "Exif")) return false;
  ReadCameraInformation(info, reader, 4);
  return WalkMarkers(info, reader, Walk::Exif);
}

bool FileJPGAnalyser::ReadJfifFileInfo(CRawFileInfo* info, CSectorWindowReader& reader) {
  uint8_t head[10];
  if (!ReadExactly(reader, 0, head, sizeof head) || memcmp(head + 6, "JFIF", 4) != 0) return false;
  if (head[2] != 0xFF) return false;
  ReadCameraInformation(info, reader, 22);
  return WalkMarkers(info, reader, Walk::Jfif);
}

bool FileJPGAnalyser::FindImageEnd(CRawFileInfo* info, CSectorWindowReader& reader) {
  return WalkMarkers(info, reader, Walk::Plain);
}

void FileJPGAnalyser::ReadCameraInformation(CRawFileInfo* info, CSectorWindowReader& reader, uint64_t offset) {
  uint8_t lengthBytes[2];
  if (!ReadExactly(reader, offset, lengthBytes, 2)) return;
  const int length = BigEndian16(lengthBytes);
  // A segment too short for the Exif and TIFF headers holds no camera.
  if (length < CExifReader::kMinSegmentLength) return;
  if (m_segment.size() < kSegmentBytes) m_segment.resize(kSegmentBytes);
  const size_t got = reader.Read(offset, m_segment.data(), static_cast<size_t>(length));

  ExifInfo exif;
  CExifReader exifReader(&exif);
  if (!exifReader.ParseExifSegment(m_segment.data(), got, 4, length)) return;

  const std::string model = exif.cameraModel;
  m_namePrefix = SanitizeFileName(model.find('<') != std::string::npos ? std::string(exif.cameraMake) : model);
  m_rawTypeName = m_namePrefix;
  m_dateText = exif.dateTimeOriginal;
  info->SetNamePrefix(m_namePrefix);
  info->SetDateText(m_dateText);
  if (!m_rawTypeName.empty()) {
    m_rawTypeId = kCameraRawType;
    info->SetRawFileType(kCameraRawType, m_rawTypeName);
  }
}

bool FileJPGAnalyser::WalkMarkers(CRawFileInfo* info, CSectorWindowReader& reader, Walk walk) {
  const uint64_t most = GetScanOptions()->raw.maxCarvedSize;
  const uint64_t limit = walk == Walk::Exif ? most : most / 10;
  auto acceptsFrame = [walk](int m, bool frameSeen) {
    switch (walk) {
      case Walk::Exif:
        return m == 0xC0;
      case Walk::Jfif:
        return m == 0xC0 || (m == 0xC2 && !frameSeen);
      default:
        return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    }
  };

  uint64_t p = 2;
  uint8_t segment[4];  // marker and length
  if (!ReadExactly(reader, p, segment, sizeof segment) || segment[0] != 0xFF) return false;
  int m = segment[1];
  bool frameSeen = false, scanFound = false;
  uint64_t width = 0, height = 0;
  while (!scanFound && p < limit) {
    uint64_t length = BigEndian16(segment + 2);
    if (acceptsFrame(m, frameSeen)) {
      uint8_t frame[6];  // precision, height, width, components
      if (!ReadExactly(reader, p + 4, frame, sizeof frame)) return false;
      if (frame[0] != 8) return false;
      height = BigEndian16(frame + 1);
      width = BigEndian16(frame + 3);
      if (walk == Walk::Plain && frame[5] != 3) return false;
      frameSeen = true;
    } else if (m == 0xDA) {
      uint8_t components;
      if (!frameSeen || !ReadExactly(reader, p + 4, &components, 1)) return false;
      if (walk == Walk::Plain && components != 3) return false;
      scanFound = true;
    }
    if (m == 0xFF) length = 0;
    p += 2 + length;
    if (!ReadExactly(reader, p, segment, sizeof segment)) return false;
    m = segment[1];
  }
  if (scanFound) p = SearchImageEndMarker(reader, p, std::min(width * height * 3, most));
  if (m_deviceBytes) p = std::min(p, m_deviceBytes);
  info->SetFileSize(p);
  return true;
}

uint64_t FileJPGAnalyser::SearchImageEndMarker(CSectorWindowReader& reader, uint64_t position, uint64_t bound) {
  static const uint8_t kEnd[2] = {0xFF, 0xD9};
  const uint64_t s = m_sectorSize > 0 ? static_cast<uint64_t>(m_sectorSize) : 512;
  uint64_t p = position;
  while (p < bound) {
    size_t available = 0;
    const uint8_t* d = reader.GetData(p, available);
    const uint64_t inSector = s - p % s;  // bytes from p to the sector's end
    if (!d || available < inSector) return p;
    const uint64_t sectorStart = p - (s - inSector);
    const uint8_t* tail = d + inSector - 2;
    if (tail[0] == 0xFF && tail[1] == 0xD9) return sectorStart + s;
    if (tail[0] == 0 && tail[1] == 0) {
      // A padded last sector: the marker lies inside it, or across the
      // boundary with the sector before.
      if (const uint8_t* q = FindBytes(d, static_cast<size_t>(inSector), kEnd, 2))
        return p + static_cast<uint64_t>(q - d) + 2;
      const uint8_t first = *(d - (s - inSector));  // the window holds the whole sector
      uint8_t previous = 0;
      if (sectorStart > 0 && first == 0xD9 && ReadExactly(reader, sectorStart - 1, &previous, 1) && previous == 0xFF)
        return sectorStart + 1;
    }
    p = sectorStart + s;
  }
  return p;
}
