// UTF-16 text from disk to the program's 8-bit text (UTF-8), as the file
// system engines and the scan framework name files. Characters that do not
// convert (unpaired surrogates) become "_".
#pragma once

#include <cstddef>
#include <string>

std::string WideToAnsiString(const std::u16string& text);
// Converts at most `count` units, stopping at the first zero unit.
std::string WideToAnsiString(const char16_t* text, size_t count);
