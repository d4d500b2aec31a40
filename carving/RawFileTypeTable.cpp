#include "RawFileTypeTable.h"

#include <strings.h>

#include <algorithm>

namespace {

struct FixedRow {
  const char* extension;
  const char* description;
};

// Texts as the program has always shown them, misspellings included.
const FixedRow kFixedRows[kLastFixedRawFileType + 1] = {
    {"Raw", "Raw"},                                        // 0
    {"3DS", "3DS file"},                                   // 1
    {"3GP", "3GP Multimedia file"},                        // 2
    {"ADP", "Access Project file"},                        // 3
    {"ANI", "ANI file"},                                   // 4
    {"AI", "Adobe Illustrator file"},                      // 5
    {"ASF", "Audio Streaming Format file"},                // 6
    {"WMA", "Windows Media Audio"},                        // 7
    {"WMV", "Windows Media Video"},                        // 8
    {"AU", "AU file"},                                     // 9
    {"AVI", "Audio Video Interleave file"},                // 10
    {"BMP", "Bitmap file"},                                // 11
    {"CAB", "Cabinet file"},                               // 12
    {"CDR", "COREL Darw file"},                            // 13
    {"CHM", "CHM file"},                                   // 14
    {"CLK", "Corel Draw Corel RAVE Image file"},           // 15
    {"CMX", "Corel Draw Vector Image file"},               // 16
    {"CPT", "Corel Photo Paint Image file"},               // 17
    {"CRW", "Canon Raw graphics file"},                    // 18
    {"CSL", "CSL file"},                                   // 19
    {"CUR", "Cursor file"},                                // 20
    {"DBX", "Outlook Express Email file"},                 // 21
    {"DLL", "DLL file"},                                   // 22
    {"DOC", "Microsoft Word Document"},                    // 23
    {"DWG", "AutoCAD Drawing file"},                       // 24
    {"DXF", "AutoCad DX File"},                            // 25
    {"EMF", "Enhanced Metafile"},                          // 26
    {"EPS", "Encapsulated Postscript file"},               // 27
    {"EXE", "EXE file"},                                   // 28
    {"FH11", "Freehand 10 file"},                          // 29
    {"GIF", "GIF graphics file"},                          // 30
    {"GZ", "GZIP compression file"},                       // 31
    {"HLP", "Help file"},                                  // 32
    {"HTM", "HTML Documents file"},                        // 33
    {"ICO", "Icon file"},                                  // 34
    {"JPG", "JPEG Graphics file"},                         // 35
    {"LZH", "LZH compression file"},                       // 36
    {"MAX", "3d Studio Max file"},                         // 37
    {"MID", "Musical Instrument Digital Interface file"},  // 38
    {"MDB", "Access Database file"},                       // 39
    {"MNY", "Microsoft Money file"},                       // 40
    {"MOF", "MOF file"},                                   // 41
    {"MOV", "MOV Multimedia file"},                        // 42
    {"MP3", "MP3 Music file"},                             // 43
    {"MP4", "MP4 Multimedia file"},                        // 44
    {"M4A", "M4A Multimedia file"},                        // 45
    {"M4V", "M4V Multimedia file"},                        // 46
    {"MPP", "Microsoft Project file"},                     // 47
    {"OLE", "Compound file"},                              // 48
    {"ONE", "Microsoft OneNote file"},                     // 49
    {"PDF", "Adobe Portable Document"},                    // 50
    {"PNG", "Portable Network Graphic file"},              // 51
    {"PPT", "Microsoft PowerPoint Presentation file"},     // 52
    {"PUB", "Microsoft Publisher Document"},               // 53
    {"PSD", "Adobe Photoshop file"},                       // 54
    {"PSP", "Paint Shop Pro file"},                        // 55
    {"PST", "Outlook Email file"},                         // 56
    {"QPW", "QuattroPro 7 File"},                          // 57
    {"RAR", "RAR compression file"},                       // 58
    {"RIFF", "RIFF Multimedia file"},                      // 59
    {"RTF", "Rich Text Document"},                         // 60
    {"SHW", "Corel Presentation File"},                    // 61
    {"SWF", "ShockWave Flash file"},                       // 62
    {"TAR", "TAR archive file"},                           // 63
    {"TIF", "Tagged Image File"},                          // 64
    {"TTF", "True Type Font file"},                        // 65
    {"VSD", "Microsoft Visio Drawing"},                    // 66
    {"WAV", "WAVE Multimedia file"},                       // 67
    {"WPD", "WordPerfect file"},                           // 68
    {"WPG", "WordPerfect Documents and Graphics v8"},      // 69
    {"WMF", "WMF Multimedia file"},                        // 70
    {"XLS", "Microsoft Excel XML Documents"},              // 71
    {"ZIP", "Zip compression file"},                       // 72
    {"DOCX", "Microsoft DOCX file"},                       // 73
    {"XLSX", "Microsoft XLSX file"},                       // 74
    {"PPTX", "Microsoft PPTX file"},                       // 75
    {"ACCDB", "Microsoft ACCDB file"},                     // 76
    {"NEF", "Nikon NEF file"},                             // 77
    {"NRW", "Nikon NRW file"},                             // 78
    {"AAC", "AAC file"},                                   // 79
    {"AIFF", "AIForAIFF file"},                            // 80
    {"APE", "APE file"},                                   // 81
    {"OGG", "Ogg file"},                                   // 82
    {"CR2", "Canon CR2 file"},                             // 83
    {"SR2", "SONY SR2 file"},                              // 84
    {"ARW", "ARW file"},                                   // 85
    {"RAW", "RAW file"},                                   // 86
    {"RW2", "Panasonic RW2 file"},                         // 87
    {"DNG", "DNG file"},                                   // 88
    {"RAF", "FUJIFILMCCD-RAW file"},                       // 89
    {"FLV", "Flash Video"},                                // 90
    {"SVG", "ScalableVectorGraphics"},                     // 91
    {"SIT", "StuffIt file"},                               // 92
    {"SITX", "StuffItX file"},                             // 93
    {"RM", "RealMedia File Format"},                       // 94
    {"RMVB", "Real Media Variable Bit Rate"},              // 95
    {"MKV", "MKV file"},                                   // 96
    {"DCR", "DCR"},                                        // 97
    {"KDC", "KDC"},                                        // 98
    {"3FR", "3FR"},                                        // 99
    {"ERF", "ERF"},                                        // 100
    {"MEF", "MEF"},                                        // 101
    {"MRW", "MRW"},                                        // 102
    {"MDC", "MDC"},                                        // 103
    {"PEF", "PEF"},                                        // 104
    {"PTX", "PTX"},                                        // 105
    {"SRW", "SRW"},                                        // 106
    {"ORF", "ORF"},                                        // 107
    {"X3F", "X3F"},                                        // 108
    {"MPG", "MPG file"},                                   // 109
    {"FCPEVENT", "Final Cut Pro Event"},                   // 110
};

}  // namespace

const char* GetRawFileExtension(int id) {
  return id >= 0 && id <= kLastFixedRawFileType ? kFixedRows[id].extension : "";
}

const char* GetRawFileDescription(int id) {
  return id >= 0 && id <= kLastFixedRawFileType ? kFixedRows[id].description : "";
}

CAnalyserFileTypeTable& CAnalyserFileTypeTable::Instance() {
  static CAnalyserFileTypeTable table;
  return table;
}

std::string CAnalyserFileTypeTable::GetExtension(int id) const {
  if (id >= kFirstScriptFileType && id <= kLastScriptFileType) {
    std::lock_guard<std::mutex> g(m_lock);
    return m_scriptRows[id - kFirstScriptFileType];
  }
  return GetRawFileExtension(id);
}

int CAnalyserFileTypeTable::ClaimScriptRow(const std::string& extension) {
  const std::string ext = extension.substr(0, std::min(extension.find('\0'), kMaxScriptExtensionLength));
  if (ext.empty()) return -1;
  std::lock_guard<std::mutex> g(m_lock);
  for (int id = kFirstScriptFileType; id <= kLastScriptFileType; ++id) {
    std::string& row = m_scriptRows[id - kFirstScriptFileType];
    if (row.empty()) row = ext;
    if (strcasecmp(row.c_str(), ext.c_str()) == 0) return id;
  }
  return -1;
}

void CAnalyserFileTypeTable::ForgetScriptRows() {
  std::lock_guard<std::mutex> g(m_lock);
  for (std::string& row : m_scriptRows) row.clear();
}
