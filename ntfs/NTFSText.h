// Conversion of NTFS UTF-16 names to UTF-8, the program's ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `count` little-endian UTF-16 units at `units`; unpaired surrogates become
// U+FFFD.
std::string NTFSNameToUtf8(const uint8_t* units, size_t count);
std::string NTFSNameToUtf8(const std::u16string& name);
// Copies `text` into `out`, cut at a character boundary so that it and a
// terminating zero fit in `capacity` bytes.
void CopyUtf8Capped(const std::string& text, char* out, size_t capacity);
