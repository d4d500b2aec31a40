// The raw writer the scrubs and the partition wipe write through ("the
// mount driver"): whole sectors at disk sector offsets of one disk, accepted
// only inside the volume that the caller holds locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// One piece of a batch of writes: `count` sectors at disk sector `first`.
// `done` is set to the sectors written (short of `count`: it failed) and
// `error` to the failure's code.
struct SectorWrite {
  const void* buffer = nullptr;
  uint64_t first = 0;
  uint64_t count = 0;
  uint64_t done = 0;
  uint32_t error = 0;
};

class IMountDriverWriter {
 public:
  virtual ~IMountDriverWriter() = default;
  // Writes `count` sectors at disk sector `first`; returns the sectors written.
  // Anything short of `count` is a failure, whose code LastError() keeps
  // (87 bad arguments, 644 outside the locked volume, else errno).
  virtual uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) = 0;
  virtual uint32_t LastError() const = 0;
  virtual int GetSectorSize() const = 0;
  // The disk's physical block: writes of whole aligned blocks of it need
  // no read first. 0 when unknown.
  virtual int GetBlockSize() const { return 0; }
  // Writes every piece as WriteSectors writes it; the pieces may be in
  // flight together, and all have landed or failed on return. Returns how
  // many were written whole. The default writes them one after another and
  // stops at the first failure: the pieces after it are not tried (error
  // kNotTried).
  static constexpr uint32_t kNotTried = 1223;
  virtual size_t WriteSectorsBatch(SectorWrite* pieces, size_t n) {
    size_t whole = 0;
    for (size_t i = 0; i < n; ++i) {
      SectorWrite& p = pieces[i];
      p.done = 0;
      p.error = kNotTried;
      if (whole < i) continue;
      p.done = WriteSectors(p.buffer, p.first, p.count);
      p.error = p.done == p.count ? 0 : (LastError() ? LastError() : 29);
      if (p.done == p.count) ++whole;
    }
    return whole;
  }
};

// Opens the writer of disk `diskNumber`; null (with *error set) when it
// cannot be opened.
using MountDriverOpener = std::function<std::unique_ptr<IMountDriverWriter>(int diskNumber, uint32_t* error)>;

std::unique_ptr<IMountDriverWriter> OpenMountDriver(int diskNumber, uint32_t* error);
// Replaces how OpenMountDriver opens writers (tests count and fail writes
// through this); an empty function restores the default. Returns the old one.
MountDriverOpener SetMountDriverOpener(MountDriverOpener opener);
