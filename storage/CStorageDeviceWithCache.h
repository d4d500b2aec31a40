// Reads a device ahead in blocks on a thread of its own, so that a search
// walking the device block by block finds the next block in memory.
//
// Use: construct, SetBlockSectors, StartCache, then for each block in device
// order SetCurCacheBlock followed by reads inside that block, then StopCache
// (the destructor stops the thread too). Read-ahead starts at sector 0.
// A block whose read-ahead failed is never served from memory: reads of it
// go to the inner device, which reports the failure its own way.
//
// Block buffers are aligned for direct I/O, so the inner device reads
// straight into them, and they are recycled: making a block current hands
// its buffer over instead of copying it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "IStorageDevice.h"

class CStorageDeviceWithCache : public IStorageDevice {
 public:
  explicit CStorageDeviceWithCache(IStorageDevice* inner);
  ~CStorageDeviceWithCache() override;

  int SetBlockSectors(uint32_t sectors);
  bool IsBlockInRange(uint32_t block);
  void StartCache();
  // Makes block `block` current, taking it from the read-ahead queue when
  // it is there. 0 for a block past the device's end.
  int SetCurCacheBlock(uint32_t block);
  void StopCache();

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  // Sectors inside the current block, in place (valid until the next
  // SetCurCacheBlock).
  const uint8_t* PeekSectors(uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override;
  int GetSectorSize() override;
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  struct FreeBuffer {
    void operator()(uint8_t* p) const { free(p); }
  };
  using Buffer = std::unique_ptr<uint8_t[], FreeBuffer>;
  struct Block {
    uint64_t index = 0;
    uint64_t sectors = 0;
    bool ok = false;
    Buffer data;
  };
  static constexpr uint64_t kNoBlock = UINT64_MAX;

  void CacheThread();
  int InnerRead(void* buffer, uint64_t first, uint64_t count);
  // A block buffer of m_bufferBytes: a recycled one, else a new one (null
  // when memory runs out). Call with m_lock held.
  Buffer TakeBufferLocked();

  IStorageDevice* m_inner;  // not owned
  size_t m_bufferBytes = 0;
  Buffer m_current;
  std::vector<Buffer> m_spare;    // recycled block buffers, under m_lock
  uint64_t m_currentSectors = 0;  // valid sectors in m_current
  uint32_t m_blockSectors = 1000;
  uint64_t m_currentBlock = kNoBlock;
  std::atomic<int> m_running{0};
  std::deque<Block> m_queue;
  std::thread m_thread;
  size_t m_queueLimit = 2;
  uint64_t m_readPosition = 0;
  bool m_threadDone = true;
  std::mutex m_lock;       // the queue, m_threadDone
  std::mutex m_innerLock;  // one inner read at a time (the thread and the consumer)
  std::condition_variable m_data;
  std::condition_variable m_space;
};
