// A small reader of camera metadata: the TIFF directories of a JPEG APP1
// "Exif" segment, and a JPEG file read section by section (frame size,
// comment, Exif segment).
//
// A CExifReader fills one ExifInfo record; it keeps the state of one parse
// (byte order, widest image dimension, the directories already walked, the
// last error text) and is meant for one segment or one file. Every length,
// offset and count taken from the segment is checked against the bytes the
// caller actually holds, in 64 bits; a segment walks at most
// kMaxDirectories directories, each at most once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What the reader found, zeroed on construction. Texts are zero-terminated
// and cut to their array.
struct ExifInfo {
  // flags, set by the owner before a parse
  static constexpr uint32_t kKeepFileOpen = 1;  // not used: a file scan always closes its file
  static constexpr uint32_t kCopyThumbnail = 2;
  static constexpr uint32_t kCopyUserComment = 4;
  static constexpr uint32_t kCopyMakerNote = 8;

  uint32_t flags = 0;
  char exifVersion[5] = {};
  char cameraMake[32] = {};
  char cameraModel[40] = {};
  char dateTimeOriginal[20] = {};   // "YYYY:MM:DD hh:mm:ss"
  char dateTimeDigitized[20] = {};
  int32_t height = 0;               // from the JPEG frame
  int32_t width = 0;
  int32_t orientation = 0;          // 1..8, 0 for any other value
  int32_t isColor = 0;              // the frame has three components
  int32_t process = 0;              // the frame's marker code, 0xC0..0xCF
  int32_t flashUsed = 0;
  float focalLength = 0;
  float exposureTime = 0;
  float aperture = 0;
  float subjectDistance = 0;
  float ccdWidth = 0;
  float exposureBias = 0;
  int32_t lightSource = 0;
  int32_t meteringMode = 0;
  int32_t exposureProgram = 0;
  int32_t isoEquivalent = 0;
  int32_t compressionLevel = 0;
  float focalPlaneXResolution = 0;
  float focalPlaneYResolution = 0;
  float focalPlaneUnits = 0;        // factor to inches
  float xResolution = 0;
  float yResolution = 0;
  float resolutionUnit = 0;         // factor to inches
  float brightness = 0;
  char comment[1000] = {};          // the first JPEG comment section
  uint32_t userCommentSize = 0;
  std::vector<uint8_t> userComment;  // with kCopyUserComment
  uint32_t userCommentOffset = 0;    // file offset, without kCopyUserComment
  uint32_t makerNoteSize = 0;
  std::vector<uint8_t> makerNote;    // with kCopyMakerNote
  uint32_t makerNoteOffset = 0;      // from the TIFF header, without kCopyMakerNote
  std::vector<uint8_t> thumbnail;    // with kCopyThumbnail
  uint32_t thumbnailOffset = 0;      // file offset, without kCopyThumbnail
  uint32_t thumbnailSize = 0;
  int32_t hasExif = 0;               // the file scan parsed an Exif segment
};

class CExifReader {
 public:
  // The most directories one segment walks.
  static constexpr int kMaxDirectories = 64;
  // Two length bytes, "Exif" and two zero bytes, the 8-byte TIFF header.
  static constexpr int kMinSegmentLength = 16;

  // `target` is not owned and must outlive the reader.
  explicit CExifReader(ExifInfo* target);

  // Parses an APP1 segment. `section` points at its two length bytes and
  // `available` bytes from there are readable; `sectionFilePos` is the file
  // offset of `section` (for the offsets stored in the record); `length` is
  // the segment's length field, which counts the two length bytes and must
  // lie in [kMinSegmentLength, available]. Returns 1 when the segment was
  // parsed, 0 otherwise (GetErrorText tells why). Values stored before a
  // failure stay in the record.
  int ParseExifSegment(const uint8_t* section, size_t available, uint32_t sectionFilePos, int length);

  // Reads a JPEG file's sections from the stream's position (its start)
  // up to the start of scan: 1 when it was reached, -1 on failure.
  int ScanJpegSections(std::FILE* file);

  // A comment section (its two length bytes first, `length` bytes).
  void StoreJpegComment(const uint8_t* section, size_t length);
  // A start-of-frame section; a section too short to hold the frame's
  // size and component count stores nothing.
  void StoreJpegFrameInfo(const uint8_t* section, size_t length, int marker);

  // The last failure message ("" when none); "Undefined rotation value" is
  // also set while a parse goes on.
  const std::string& GetErrorText() const { return m_error; }
  // Directories walked by the last ParseExifSegment.
  int GetDirectoriesWalked() const { return static_cast<int>(m_visited.size()); }

 private:
  // `thumbnailChain`: the directory was reached through a next-directory
  // link, so it describes the thumbnail.
  int ParseExifDirectory(uint64_t dirOffset, bool thumbnailChain);
  void StoreTag(uint16_t tag, int format, const uint8_t* value, uint64_t byteCount, uint32_t& thumbOffset,
                uint32_t& thumbSize);
  // Walks the directory at `offset` that a link names; 0 when the link
  // leads outside the segment.
  int FollowLink(uint64_t offset, bool thumbnailChain);
  int Fail(const char* message);

  uint16_t ReadU16(const uint8_t* p) const;
  uint32_t ReadU32(const uint8_t* p) const;
  double ValueToDouble(const uint8_t* value, int format) const;

  ExifInfo* m_info;
  bool m_motorola = false;
  double m_widestDimension = 0;
  std::string m_error;
  std::vector<uint64_t> m_visited;  // directory offsets of this segment
  bool m_tooManyDirectories = false;
  const uint8_t* m_section = nullptr;
  const uint8_t* m_tiff = nullptr;
  uint64_t m_tiffLength = 0;
  uint32_t m_sectionFilePos = 0;
};

// Reads the JPEG file at `path` into `info` (its thumbnail, thumbnail size
// and has-Exif fields cleared first) and closes it again. Returns the
// section scan's result, -1 when the file cannot be opened; the failure
// message goes to `errorText` when given.
int LoadJpegExifInfo(const char* path, ExifInfo* info, std::string* errorText = nullptr);
