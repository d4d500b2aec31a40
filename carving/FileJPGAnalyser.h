// The carving analyser of JPEG pictures (file type 35). Besides the size of
// a carved picture it reports, from the picture's Exif segment, the camera
// model as the name prefix and raw-file type (id 3) and the original
// date-time as the date text.
//
// The size comes from one of three marker walks, chosen by the bytes at
// offset 6: an Exif picture ("Exif", camera information from the APP1
// segment at offset 4), a JFIF picture ("JFIF", camera information from an
// APP1 segment that follows the usual 16-byte APP0 at offset 22) and any
// other picture (no camera information). Each walk steps from marker to
// marker up to the start of scan and then looks for the end-of-image
// marker FF D9 at sector tails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IRawFileAnalyser.h"

class CSectorWindowReader;

class FileJPGAnalyser : public IRawFileAnalyser {
 public:
  static constexpr int kTypeId = 35;
  // The raw-file type a picture with camera information gets.
  static constexpr int kCameraRawType = 3;

  FileJPGAnalyser();

  int FindFileSize(CRawFileInfo* info, IStorageDevice* device) override;
  // Sectors starting FF D8 FF E0 or FF D8 FF E1 with "JFIF" or "Exif" (any
  // case) at offset 6, and every sector starting FF D8 FF DB.
  int MatchHeader(const uint8_t* sector, CRawFileInfo* info) override;
  std::string GetNamePrefix() override { return m_namePrefix; }
  std::string GetDateText() override { return m_dateText; }
  void GetRawFileType(int* id, std::string& name) override;

 private:
  enum class Walk { Exif, Jfif, Plain };

  void Reset();
  bool ReadExifFileInfo(CRawFileInfo* info, CSectorWindowReader& reader);
  bool ReadJfifFileInfo(CRawFileInfo* info, CSectorWindowReader& reader);
  bool FindImageEnd(CRawFileInfo* info, CSectorWindowReader& reader);
  // The marker walk the three share, up to the stored size.
  bool WalkMarkers(CRawFileInfo* info, CSectorWindowReader& reader, Walk walk);
  // Camera texts from the APP1 segment whose length bytes are at `offset`;
  // a segment that does not parse leaves them empty.
  void ReadCameraInformation(CRawFileInfo* info, CSectorWindowReader& reader, uint64_t offset);
  // The end of the picture: from `position` (in the entropy-coded data) on,
  // sector by sector, below `bound`; answers the position reached when
  // no end marker was found first.
  uint64_t SearchImageEndMarker(CSectorWindowReader& reader, uint64_t position, uint64_t bound);

  std::string m_namePrefix;
  std::string m_dateText;
  int64_t m_sectorSize = 0;
  uint64_t m_deviceBytes = 0;  // from the file's start to the device's end; 0: not known
  int m_rawTypeId = -1;
  std::string m_rawTypeName;
  std::vector<uint8_t> m_segment;  // one APP1 segment, up to 64 KiB
};
