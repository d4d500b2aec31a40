// The interface of the format analysers of RAW carving. An analyser knows
// one file format: it recognises the format in the first sector of a
// candidate (MatchHeader) and, reading on from there, works out the file's
// length (FindFileSize). It lives in scan/ so that an engine which offers
// sectors to analysers (the FAT engine's cluster checks) needs only this
// header, not the carving library.
//
// The contract every analyser keeps, and every caller relies on:
//
// MatchHeader (sector, info)
//  - Re-checks its own key bytes first: any caller may offer any sector,
//    also one that a signature lookup did not pick.
//  - Reads at most 4096 bytes from `sector`. Every caller hands it at least
//    4096 readable bytes, zero-padded past the data (past the device's end,
//    past an unreadable sector, past the sector when it is shorter).
//  - Returns nonzero when the sector starts a file of its format. On a match
//    it stores at least the file-type id (SetFileType); where the header
//    tells the length it stores the size, and it may store a name prefix, a
//    date text, a raw-file type and an extent. The caller fills in the start
//    sector, the analyser and the analyser type id afterwards.
//  - A record handed in may carry values left by analysers that declined
//    the same or an earlier sector: an analyser sets every field it relies
//    on.
//
// FindFileSize (info, device)
//  - Reads the file from info's start sector on through `device`, normally
//    with a CSectorWindowReader, and stores the size in bytes (SetFileSize).
//    A size left at 0 means no length was found. The return value is not
//    used.
//  - CSectorWindowReader::GetData answers a pointer and the number of bytes
//    available behind it. A structure larger than that is copied out
//    through the reader's Read (offset, buffer, length), which crosses
//    windows. Nothing reads past the available bytes by pointer arithmetic.
//  - Offsets and lengths taken from disk are unsigned 64-bit. Every walk
//    advances at every step (a zero or backward length ends it). A size is
//    never stored from a negative field, nor beyond the device's end counted
//    from the file's start; walks that search for an end stop once they
//    pass the scan options' maximum carved size.
//  - The sector size is the device's, asked of the device at hand; nothing
//    keeps a sector size process-wide.
//  - No allocation per read. A reader owns its buffer (129 x the device's
//    sector size) or reuses a per-thread one, never one that another live
//    reader uses. The RAW search's progress sink is asked once per window
//    load, not once per byte.
//
// Both operations may throw; callers treat a throwing analyser as one that
// did not match, or that found no size.
//
// Slots 3 to 6 give the values of the file the analyser examined last
// (overridden by the analysers whose formats carry them).
#pragma once

#include <cstdint>
#include <string>

class CRawFileInfo;
class IStorageDevice;

class IRawFileAnalyser {
 public:
  IRawFileAnalyser() = default;
  explicit IRawFileAnalyser(int typeId) : m_typeId(typeId) {}
  virtual ~IRawFileAnalyser() = default;
  IRawFileAnalyser(const IRawFileAnalyser&) = delete;
  IRawFileAnalyser& operator=(const IRawFileAnalyser&) = delete;

  // The base finds nothing and changes nothing.
  virtual int FindFileSize(CRawFileInfo* info, IStorageDevice* device) {
    (void)info;
    (void)device;
    return 1;
  }
  virtual int MatchHeader(const uint8_t* sector, CRawFileInfo* info) = 0;
  virtual std::string GetNamePrefix() { return std::string(); }
  virtual std::string GetDateText() { return std::string(); }
  virtual void GetRawFileType(int* id, std::string& name) {
    if (id) *id = -1;
    name.clear();
  }
  virtual void GetExtent(uint64_t* first, uint64_t* second) {
    if (first) *first = 0;
    if (second) *second = 0;
  }

  // The type id set by the analyser's constructor (-1 when it has none).
  int GetTypeId() const { return m_typeId; }

 protected:
  int m_typeId = -1;
};
