#define GC_THREADS
#include "Ext2Collector.h"

#include <gc/gc.h>

namespace {

// The collector is set up on the main thread while the program loads, so
// later threads can register themselves.
const bool kCollectorReady = [] {
  GC_INIT();
  GC_allow_register_threads();
  return true;
}();

}  // namespace

void* Ext2CollectorAlloc(uint32_t size, int32_t kind, Ext2Finalizer finalizer, void* clientData) {
  (void)kCollectorReady;
  void* object = nullptr;
  if (kind == 0) {
    object = GC_MALLOC(size);
    if (object && finalizer) GC_REGISTER_FINALIZER_IGNORE_SELF(object, finalizer, clientData, nullptr, nullptr);
  } else if (kind == 2) {
    object = GC_MALLOC_ATOMIC(size);
  } else {
    object = GC_MALLOC_UNCOLLECTABLE(size);
  }
  return object;
}

void Ext2CollectorFree(void* object) {
  if (object) GC_FREE(object);
}

CExt2GcThreadScope::CExt2GcThreadScope() {
  (void)kCollectorReady;
  if (GC_thread_is_registered()) return;
  GC_stack_base base;
  if (GC_get_stack_base(&base) != GC_SUCCESS) return;
  m_registered = GC_register_my_thread(&base) == GC_SUCCESS;
}

CExt2GcThreadScope::~CExt2GcThreadScope() {
  if (m_registered) GC_unregister_my_thread();
}
