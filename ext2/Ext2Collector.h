// Allocation of the Ext2 reader's short-lived tables through the Boehm
// collector (libgc).
#pragma once

#include <cstdint>

typedef void (*Ext2Finalizer)(void* object, void* clientData);

// kind 0: collectable (with an optional finalizer), kind 2: collectable
// without pointers inside, anything else: uncollectable. Null on failure.
// The calling thread must hold a CExt2GcThreadScope.
void* Ext2CollectorAlloc(uint32_t size, int32_t kind, Ext2Finalizer finalizer = nullptr, void* clientData = nullptr);
void Ext2CollectorFree(void* object);

// Registers the current thread with the collector for the life of the
// object when it is not registered yet (the collector must see the stacks
// of every thread that holds its objects).
class CExt2GcThreadScope {
 public:
  CExt2GcThreadScope();
  ~CExt2GcThreadScope();
  CExt2GcThreadScope(const CExt2GcThreadScope&) = delete;
  CExt2GcThreadScope& operator=(const CExt2GcThreadScope&) = delete;

 private:
  bool m_registered = false;
};
