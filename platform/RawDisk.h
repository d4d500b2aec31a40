// Raw, read-only access to a whole disk, a volume's block device or a byte
// window of an image file. Reads go through pread on a descriptor opened
// O_DIRECT where the kernel allows it, so that they see what raw writes
// through other nodes of the same disk put there; an aligned bounce buffer
// serves callers whose buffers, offsets or lengths are not aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// How the engine treats a failed read.
enum class ReadErrorClass {
  None,      // no error
  Media,     // EIO, ENODATA, EILSEQ, EBADMSG: bad sectors
  NotReady,  // ENOMEDIUM, ENXIO, ENODEV: the medium went away; re-open
  Other,     // everything else: a plain failure
};
ReadErrorClass ClassifyReadError(int error);

// One read of a batch: `length` bytes at byte `offset` into `buffer`;
// `error` is set to 0 when all of them arrived, else to the errno of the
// failure (ECANCELED: not read, a piece before it failed).
struct RawRead {
  void* buffer = nullptr;
  uint64_t offset = 0;
  size_t length = 0;
  int error = 0;
};

class DirectWriteRing;

// The raw byte source under a disk or volume device. Tests replace it with
// a fault-injecting one.
class IRawDisk {
 public:
  virtual ~IRawDisk() = default;
  // Reads `length` bytes at byte `offset` (relative to the start of the
  // disk or window) into `buffer`. Returns 0 when every byte was read,
  // otherwise an errno value: ERANGE for a request that passes the end
  // known at open, ENXIO when the node ends early (it shrank or went away).
  virtual int ReadAt(void* buffer, uint64_t offset, size_t length) = 0;
  // Reads every piece as ReadAt reads it; the pieces may be in flight
  // together. Returns how many pieces, in order, were read before the first
  // failure; the pieces after a failed one count as not read. The default
  // reads them one after another and stops at the first failure.
  virtual size_t ReadAll(RawRead* pieces, size_t count);
  // Bytes per logical sector (512 for image files), never 0.
  virtual int SectorSize() const = 0;
  // Size in bytes as learnt when opened.
  virtual uint64_t ByteSize() const = 0;
  // Path of the node or file.
  virtual const std::string& Path() const = 0;
};

// The descriptor-backed raw disk.
class RawDisk : public IRawDisk {
 public:
  ~RawDisk() override;
  RawDisk(const RawDisk&) = delete;
  RawDisk& operator=(const RawDisk&) = delete;

  // Opens a block device or a whole image file read-only. Null (and the
  // errno in *error) when it cannot.
  static std::unique_ptr<RawDisk> Open(const std::string& path, int* error = nullptr);
  // Opens a window of `length` bytes at `offset` of a block device or image
  // file; the window must lie inside it (EINVAL otherwise). `sectorSize` 0
  // takes the device's (512 for files).
  static std::unique_ptr<RawDisk> OpenWindow(const std::string& path, uint64_t offset, uint64_t length,
                                             int sectorSize = 0, int* error = nullptr);

  int ReadAt(void* buffer, uint64_t offset, size_t length) override;
  // Pieces whose buffers, offsets and lengths are all aligned go out
  // together through a read ring on the direct descriptor; a piece the ring
  // did not read whole is read again the plain way, which decides.
  size_t ReadAll(RawRead* pieces, size_t count) override;
  int SectorSize() const override { return m_sectorSize; }
  uint64_t ByteSize() const override { return m_length; }
  const std::string& Path() const override { return m_path; }
  bool IsBlockDevice() const { return m_isBlockDevice; }
  bool IsDirect() const { return m_direct; }

 private:
  RawDisk() = default;
  int ReadOnce(void* buffer, uint64_t offset, size_t length, size_t* got);
  int ReadBounced(uint8_t* buffer, uint64_t offset, size_t length);
  bool SwitchToBuffered();

  int m_fd = -1;
  bool m_direct = false;
  bool m_isBlockDevice = false;
  int m_sectorSize = 512;
  int m_align = 4096;
  uint64_t m_base = 0;    // window start on the node, bytes
  uint64_t m_length = 0;  // window length, bytes
  std::string m_path;
  std::mutex m_lock;  // guards the bounce buffer and the ring
  uint8_t* m_bounce = nullptr;
  std::unique_ptr<DirectWriteRing> m_ring;
  bool m_ringRefused = false;  // the kernel offers no ring
};

// Sector size and byte size of an open node: BLKSSZGET and BLKGETSIZE64 for
// block devices, 512 and st_size for files. False when neither applies.
bool QueryGeometry(int fd, int* sectorSize, uint64_t* byteSize, bool* isBlockDevice);

}  // namespace platform
