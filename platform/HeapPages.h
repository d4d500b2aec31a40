// Large pages under the heap. A recovery makes and frees hundreds of
// thousands of small nodes; with 4 KiB pages every new page of the heap
// costs a fault (dear under a hypervisor), with 2 MiB pages one fault covers
// 512 of them.
#pragma once

#include <cstddef>

namespace platform {

// Grows the heap by `bytes` of address space at once, asks for large pages
// over it and keeps what is freed at its top instead of handing it back and
// faulting it in again. Call once, early in main. False where the C library
// or the kernel does not take it (the heap then stays as it was).
bool BackHeapWithLargePages(std::size_t bytes = std::size_t{256} << 20);

}  // namespace platform
