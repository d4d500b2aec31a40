// Overwrites the stored content of one open regular file with zeros.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CFileOverwriter {
 public:
  // One zero buffer of bufferSize bytes serves every file of a run.
  explicit CFileOverwriter(size_t bufferSize = 1u << 20);

  // Writes zeros over every byte of the file that holds data (the whole
  // length, 64-bit; holes of a sparse file hold nothing and stay holes),
  // `passes` times, each pass flushed to the disk. With verify, the cached
  // pages are dropped after the last pass and the file is read back; any
  // byte that is not zero fails. cancel (may be null) is polled before each
  // write; a cancelled overwrite fails with ERASE_ITEM_CANCELLED.
  // Returns ERASE_ITEM_ERASED (0) or an item failure code. fd must be open
  // for reading and writing.
  int32_t Overwrite(int fd, int passes, bool verify, const std::atomic<int>* cancel);

  // Called after each pass has been flushed, with the file and the 1-based
  // pass number (diagnostics and tests).
  void SetPassHook(std::function<void(int fd, int pass)> hook) { m_passHook = std::move(hook); }

  // Bytes written by the last Overwrite (all passes).
  uint64_t BytesWritten() const { return m_written; }

  // The [start, end) ranges of fd that hold data, in order. A file system
  // that cannot tell holes gives one range of the whole length.
  static bool DataRanges(int fd, uint64_t length, std::vector<std::pair<uint64_t, uint64_t>>* ranges, int* err);

 private:
  std::vector<char> m_zeros;
  std::vector<char> m_read;
  uint64_t m_written = 0;
  std::function<void(int, int)> m_passHook;
};
