// Prints a failure of the disk engines ("Return Error:0x<code>\tFile:<file>
// \tLine:<line>\tFuction:<routine>") to standard output and returns the code.
// It belongs with the scan framework's helpers; it lives here until that
// folder exists.
#pragma once

int ReturnError(int code, const char* file, int line, const char* function);

#define HFS_RETURN_ERROR(code) ReturnError((code), __FILE__, __LINE__, __func__)
