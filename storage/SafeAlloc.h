// The program's allocation routines. They never return null and never
// throw: when memory runs out they log the memory status, write a crash
// dump with the out-of-memory code and end the process.
#pragma once

#include <cstddef>
#include <cstdint>

void* SafeMalloc(uint32_t bytes);
// Any size (operator new asks for more than 32 bits can hold).
void* SafeMallocSize(size_t bytes);
int SafeFree(void* block);  // null allowed; returns 0
// Not cleared; buffers of 64 KiB or more are page-aligned.
uint8_t* AllocBuffer(uint32_t bytes);
void FreeBuffer(void* block);

// The out-of-memory report for a request of `bytes`; does not return.
[[noreturn]] void ReportOutOfMemory(size_t bytes);
