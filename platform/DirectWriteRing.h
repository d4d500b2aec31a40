// Many writes (or reads) in flight at once on one descriptor (io_uring): the
// way a batch of scattered blocks reaches a direct-I/O device at its own
// pace rather than one round trip each.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class DirectWriteRing {
 public:
  struct Piece {
    const void* buffer = nullptr;
    size_t length = 0;
    uint64_t at = 0;     // byte offset on the descriptor
    int64_t result = 0;  // set: the bytes moved, or -errno
  };

  DirectWriteRing() = default;
  ~DirectWriteRing();
  DirectWriteRing(const DirectWriteRing&) = delete;
  DirectWriteRing& operator=(const DirectWriteRing&) = delete;

  // Sets the ring up for up to `depth` writes in flight; false when the
  // kernel offers none (the caller writes the plain way).
  bool Open(unsigned depth);
  bool IsOpen() const { return m_fd >= 0; }
  // Writes every piece to `fd` and returns once all of them have ended,
  // each with its own result; the buffers are not touched after that.
  void WriteAll(int fd, Piece* pieces, size_t count);
  // The same for reads: each piece's buffer receives its bytes.
  void ReadAll(int fd, Piece* pieces, size_t count);

 private:
  void Close();
  void RunAll(uint8_t opcode, int fd, Piece* pieces, size_t count);
  void Reap(Piece* pieces, size_t* pending);

  int m_fd = -1;
  unsigned m_entries = 0;
  void* m_sqRing = nullptr;
  size_t m_sqRingBytes = 0;
  void* m_cqRing = nullptr;
  size_t m_cqRingBytes = 0;
  void* m_sqes = nullptr;
  size_t m_sqesBytes = 0;
  unsigned* m_sqTail = nullptr;
  unsigned* m_sqMask = nullptr;
  unsigned* m_sqArray = nullptr;
  unsigned* m_cqHead = nullptr;
  unsigned* m_cqTail = nullptr;
  unsigned* m_cqMask = nullptr;
  void* m_cqes = nullptr;
};

}  // namespace platform
