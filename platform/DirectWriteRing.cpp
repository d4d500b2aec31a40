#include "DirectWriteRing.h"

#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

int Enter(int fd, unsigned submit, unsigned wait) {
  return static_cast<int>(
      syscall(SYS_io_uring_enter, fd, submit, wait, wait ? IORING_ENTER_GETEVENTS : 0u, nullptr, 0));
}

void* MapRing(int fd, size_t bytes, off_t what) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, what);
  return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

DirectWriteRing::~DirectWriteRing() {
  Close();
}

void DirectWriteRing::Close() {
  if (m_sqes) munmap(m_sqes, m_sqesBytes);
  if (m_cqRing) munmap(m_cqRing, m_cqRingBytes);
  if (m_sqRing) munmap(m_sqRing, m_sqRingBytes);
  if (m_fd >= 0) close(m_fd);
  m_sqes = m_cqRing = m_sqRing = nullptr;
  m_fd = -1;
}

bool DirectWriteRing::Open(unsigned depth) {
  if (m_fd >= 0) return true;
  io_uring_params params;
  std::memset(&params, 0, sizeof params);
  const int fd = static_cast<int>(syscall(SYS_io_uring_setup, depth, &params));
  if (fd < 0) return false;
  m_fd = fd;
  m_entries = params.sq_entries;
  m_sqRingBytes = params.sq_off.array + params.sq_entries * sizeof(unsigned);
  m_cqRingBytes = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
  m_sqesBytes = params.sq_entries * sizeof(io_uring_sqe);
  m_sqRing = MapRing(fd, m_sqRingBytes, IORING_OFF_SQ_RING);
  m_cqRing = MapRing(fd, m_cqRingBytes, IORING_OFF_CQ_RING);
  m_sqes = MapRing(fd, m_sqesBytes, IORING_OFF_SQES);
  if (!m_sqRing || !m_cqRing || !m_sqes) {
    Close();
    return false;
  }
  auto* sq = static_cast<uint8_t*>(m_sqRing);
  auto* cq = static_cast<uint8_t*>(m_cqRing);
  m_sqTail = reinterpret_cast<unsigned*>(sq + params.sq_off.tail);
  m_sqMask = reinterpret_cast<unsigned*>(sq + params.sq_off.ring_mask);
  m_sqArray = reinterpret_cast<unsigned*>(sq + params.sq_off.array);
  m_cqHead = reinterpret_cast<unsigned*>(cq + params.cq_off.head);
  m_cqTail = reinterpret_cast<unsigned*>(cq + params.cq_off.tail);
  m_cqMask = reinterpret_cast<unsigned*>(cq + params.cq_off.ring_mask);
  m_cqes = cq + params.cq_off.cqes;
  return true;
}

void DirectWriteRing::Reap(Piece* pieces, size_t* pending) {
  unsigned head = *m_cqHead;
  const unsigned tail = __atomic_load_n(m_cqTail, __ATOMIC_ACQUIRE);
  auto* cqes = static_cast<io_uring_cqe*>(m_cqes);
  for (; head != tail; ++head) {
    const io_uring_cqe& c = cqes[head & *m_cqMask];
    pieces[c.user_data].result = c.res;
    --*pending;
  }
  __atomic_store_n(m_cqHead, head, __ATOMIC_RELEASE);
}

void DirectWriteRing::WriteAll(int fd, Piece* pieces, size_t count) {
  RunAll(IORING_OP_WRITE, fd, pieces, count);
}

void DirectWriteRing::ReadAll(int fd, Piece* pieces, size_t count) {
  RunAll(IORING_OP_READ, fd, pieces, count);
}

void DirectWriteRing::RunAll(uint8_t opcode, int fd, Piece* pieces, size_t count) {
  auto* sqes = static_cast<io_uring_sqe*>(m_sqes);
  for (size_t from = 0; from < count;) {
    const size_t n = std::min<size_t>(m_entries, count - from);
    const unsigned tail = *m_sqTail;
    for (size_t k = 0; k < n; ++k) {
      const unsigned index = (tail + static_cast<unsigned>(k)) & *m_sqMask;
      io_uring_sqe& s = sqes[index];
      std::memset(&s, 0, sizeof s);
      const Piece& p = pieces[from + k];
      s.opcode = opcode;
      s.fd = fd;
      s.addr = reinterpret_cast<uint64_t>(p.buffer);
      s.len = static_cast<uint32_t>(p.length);
      s.off = p.at;
      s.user_data = from + k;
      m_sqArray[index] = index;
      pieces[from + k].result = -ECANCELED;
    }
    __atomic_store_n(m_sqTail, tail + static_cast<unsigned>(n), __ATOMIC_RELEASE);
    // Every entry is handed over before anything is waited for; entries the
    // kernel has not taken yet stay in the ring and go with the next call.
    size_t pending = n;
    unsigned toSubmit = static_cast<unsigned>(n);
    while (pending > 0) {
      const int r = Enter(m_fd, toSubmit, toSubmit ? 0 : 1);
      if (r >= 0) {
        toSubmit -= std::min<unsigned>(toSubmit, static_cast<unsigned>(r));
      } else if (errno != EINTR && errno != EAGAIN && errno != EBUSY) {
        // Nothing more can be handed over or waited for through the call:
        // what is in flight is still waited for, by polling the ring,
        // before the buffers are given back.
        if (toSubmit) {
          // Entries never taken are withdrawn and fail.
          __atomic_store_n(m_sqTail, *m_sqTail - toSubmit, __ATOMIC_RELEASE);
          pending -= toSubmit;
          toSubmit = 0;
        }
        Reap(pieces, &pending);
        if (pending) usleep(1000);
        continue;
      }
      Reap(pieces, &pending);
    }
    from += n;
  }
}

}  // namespace platform
