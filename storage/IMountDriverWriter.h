// The raw writer the scrubs and the partition wipe write through ("the
// mount driver"): whole sectors at disk sector offsets of one disk, accepted
// only inside the volume that the caller holds locked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

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
};

// Opens the writer of disk `diskNumber`; null (with *error set) when it
// cannot be opened.
using MountDriverOpener = std::function<std::unique_ptr<IMountDriverWriter>(int diskNumber, uint32_t* error)>;

std::unique_ptr<IMountDriverWriter> OpenMountDriver(int diskNumber, uint32_t* error);
// Replaces how OpenMountDriver opens writers (tests count and fail writes
// through this); an empty function restores the default. Returns the old one.
MountDriverOpener SetMountDriverOpener(MountDriverOpener opener);
