// A directory entry on disk: u32 inode (0: empty), u16 rec_len (distance to
// the next entry), u8 name_len, u8 file type, then the name (UTF-8, not
// NUL-terminated). Read from bytes with their length known, so that nothing
// is read beyond them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

class CExt2DirEntry {
 public:
  static constexpr uint32_t kHeaderSize = 8;
  // Dereferencing a directory-entry iterator that never loaded a block.
  class CBadDir : public std::exception {};

  static uint32_t Inode(const uint8_t* entry);
  static uint16_t RecordLength(const uint8_t* entry);
  static uint8_t NameLength(const uint8_t* entry);
  static uint8_t FileType(const uint8_t* entry) { return entry[7]; }
  // An entry of `available` bytes: header and name inside them, rec_len a
  // multiple of 4 holding the header and the name rounded up to 4.
  static bool IsValid(const uint8_t* entry, size_t available);
  // The bytes an entry with this name needs: 8 + name, rounded up to 4.
  static uint32_t NeededLength(uint32_t nameLength) { return (nameLength + 11) & ~3u; }
  // The name as text: checked UTF-8 copied as it is (dnc::Utf8ToAnsi), else
  // the raw bytes; at most 255 bytes.
  static std::string NameText(const uint8_t* name, uint32_t length);
};
