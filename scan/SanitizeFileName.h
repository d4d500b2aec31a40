// Texts that become part of a carved file's name (a camera model, a type
// name) are made safe for a file name here.
#pragma once

#include <string>

// Drops trailing blanks (' ' only), then replaces each of \ / : ? " < > | *
// CR and LF by '_'. Leading blanks and other control characters stay.
std::string SanitizeFileName(const std::string& text);
