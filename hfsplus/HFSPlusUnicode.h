// Unicode helpers of HFS+ names: the case folding and the case-insensitive
// order of HFS+ catalog keys (the FastUnicodeCompare order of Apple's HFS Plus
// format note), and the UTF-16 to UTF-8 conversion of names for display.
// Free of other project code, so the image generator can build it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The folded value of one UTF-16 unit: lower case for the letters HFS+ folds,
// 0 for the characters the compare ignores, 0xFFFF for NUL, else the unit.
uint16_t HFSPlusFoldChar(uint16_t c);

// Case-insensitive compare of two names (negative, 0, positive), with ':'
// read as '/' on both sides after folding.
int CompareHFSPlusNames(const char16_t* a, size_t aLen, const char16_t* b, size_t bLen);

// Binary compare of two names as unsigned 16-bit units, ':' read as '/',
// the shorter name first when one is a prefix of the other.
int CompareHFSPlusNamesBinary(const char16_t* a, size_t aLen, const char16_t* b, size_t bLen);

// Converts `count` UTF-16 units to UTF-8 into `out` (capacity bytes), cut at a
// character boundary; unpaired surrogates become '_'. Returns the bytes
// written; the output is not terminated.
size_t HFSPlusNameToNarrow(const char16_t* name, size_t count, char* out, size_t capacity);
