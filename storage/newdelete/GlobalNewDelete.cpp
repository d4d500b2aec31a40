// The program's global operator new and delete, forwarding to the
// allocation routines: memory exhaustion ends in the out-of-memory report
// and dump, never in std::bad_alloc or a null pointer. The nothrow forms
// keep their contract (null on failure), which the standard library's
// temporary buffers rely on.
//
// This file is linked into each executable as an object (the target
// vantorel_newdelete), not through the static storage library, where the
// linker would take it only by the accident of link order.
#include <cstdlib>
#include <new>

#include "SafeAlloc.h"

namespace {
void* AlignedAlloc(std::size_t size, std::align_val_t align) {
  std::size_t a = static_cast<std::size_t>(align);
  if (a < sizeof(void*)) a = sizeof(void*);
  void* p = nullptr;
  if (posix_memalign(&p, a, size ? size : 1) != 0) return nullptr;
  return p;
}
}  // namespace

void* operator new(std::size_t size) {
  return SafeMallocSize(size);
}
void* operator new[](std::size_t size) {
  return SafeMallocSize(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t align) {
  void* p = AlignedAlloc(size, align);
  if (!p) ReportOutOfMemory(size);
  return p;
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return operator new(size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return AlignedAlloc(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return AlignedAlloc(size, align);
}

void operator delete(void* p) noexcept {
  SafeFree(p);
}
void operator delete[](void* p) noexcept {
  SafeFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
  SafeFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  SafeFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  SafeFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  SafeFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  SafeFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  SafeFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  SafeFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  SafeFree(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  SafeFree(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  SafeFree(p);
}
