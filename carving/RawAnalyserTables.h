// The registry's tables, as data: the analyser classes (in the order of the
// full list), the signature keys and the analysers for formats without a
// fixed first word. The registry (CRawAnalyserRegistry) builds its lists
// and map from these; a class whose analyser does not exist yet is skipped
// wherever the tables name it.
#pragma once

#include <cstddef>
#include <cstdint>

// Every analyser class the tables name: the 59 of the full list in its
// order, then the one found through its signature only.
enum class ERawAnalyserClass : int {
  File3DS,
  File3GP,
  FileASF,
  FileAU,
  FileBMP,
  FileCAB,
  FileCHM,
  FileCPT,
  FileCRW,
  FileDBX,
  FileDWG,
  FileDXF,
  FileEMF,
  FileEPS,
  FileFH11,
  FileGIF,
  FileGZ,
  FileHLP,
  FileHTM,
  FileICO,
  FileJPG,
  FileLowDoc,
  FileLZH,
  FileMDB,
  FileMID,
  FileMNY,
  FileMOV,
  FileMP3,
  FileMP4,
  FileOLE,
  FileONE,
  FilePDF,
  FilePNG,
  FilePSD,
  FilePSP,
  FilePST,
  FileRAR,
  FileRIFF,
  FileRTF,
  FileSWF,
  FileTAR,
  FileTIF,
  FileTTF,
  FileUnicodeHTM,
  FileWMF,
  FileWPD,
  FileZIP,
  CustomFile,
  AIF,
  APE,
  Ogg,
  FLV,
  SVG,
  SIT,
  RM_RMVB,
  MKV,
  X3F,
  FCPEVENT,
  MPG,
  MRW,
};

constexpr size_t kRawAnalyserClassCount = static_cast<size_t>(ERawAnalyserClass::MRW) + 1;
constexpr size_t kRawFullListLength = 59;
constexpr size_t kRawSignatureCount = 60;
constexpr size_t kRawKeylessCount = 16;

struct RawAnalyserClassRow {
  const char* name;  // the class's name
  int typeId;        // the id its constructor sets (-1: none)
  // The file-type id a selection names to choose the class: its type id,
  // the APE type for the APE analyser, -1 (never) for the script analyser.
  int selectedBy;
  bool inFullList;
};

// A sector whose first four bytes are `bytes` is offered to `analyser`.
struct RawSignatureRow {
  uint8_t bytes[4];
  ERawAnalyserClass analyser;
};

// Selecting `typeId` adds `analyser` to the analysers offered every sector.
struct RawKeylessRow {
  int typeId;
  ERawAnalyserClass analyser;
};

extern const RawAnalyserClassRow kRawAnalyserClasses[kRawAnalyserClassCount];
extern const RawSignatureRow kRawSignatureRows[kRawSignatureCount];
extern const RawKeylessRow kRawKeylessRows[kRawKeylessCount];

inline const RawAnalyserClassRow& RawAnalyserClass(ERawAnalyserClass c) {
  return kRawAnalyserClasses[static_cast<size_t>(c)];
}
// The signature key: a sector's first four bytes as a little-endian number.
uint32_t RawSignatureKey(const uint8_t* bytes);
