// From a file name's extension to its file-type id, so that the files named
// by directory entries can be compared with carved signatures. One
// process-wide map, filled on first use from rows 1-110 of the built-in
// file-type table: the first 5 characters of each extension, compared
// ignoring case. Lookups never answer an id of 1000 or more.
//
// Name lengths are counts of characters (UTF-16 units for a wide name,
// bytes for a narrow one), never byte counts of a wide name, and 8 bits
// wide: a longer name is looked at as its first (length modulo 256)
// characters.
#pragma once

#include <cstdint>

// The extension of `name` (the characters after its last '.'): at most 4
// characters into `outChars`, their number into `outCount`. 0 when either
// is absent, the name is shorter than 3 characters, it has no '.', its only
// '.' is its first character, or 5 or more characters follow the last '.'.
// A name ending in '.' gives an empty extension. Narrow characters are
// widened by zero extension.
int SplitExtensionWide(const char16_t* name, uint8_t length, char16_t* outChars, int* outCount);
int SplitExtensionNarrow(const char* name, uint8_t length, char16_t* outChars, int* outCount);

class CFileExtensionMap {
 public:
  // Fills the map once per process; later calls do nothing. Every lookup
  // calls it.
  static void EnsureLoaded();
  // The id of the extension `chars` (`count` characters, at most 5 looked
  // at), 0 when it is not in the map.
  static uint16_t GetTypeId(const char16_t* chars, uint8_t count);
  // Split, then GetTypeId; 0 when the split fails.
  static uint16_t GetTypeIdOfWideName(const char16_t* name, uint8_t length);
  static uint16_t GetTypeIdOfNarrowName(const char* name, uint8_t length);
};
