// How an analyser looks into a candidate file: byte offsets from the file's
// first sector, served from windows of 128 sectors that are read whole (129
// sectors, so a window always carries one sector of the next for a look
// across its end). A reader lives for one FindFileSize call.
//
// GetData answers a pointer and the number of bytes available behind it,
// which end at the device's end, before the first sector of the window that
// could not be read, or at the end of the overlap sector. Anything larger
// is copied out through Read, which crosses windows.
//
// The sector size is asked of the device when the reader is made. The
// buffer (129 x that size) belongs to this reader alone: it is taken from a
// per-thread pool of spare buffers and given back when the reader goes, so
// a walk makes no allocation per read and readers never share one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class IStorageDevice;

class CSectorWindowReader {
 public:
  static constexpr uint64_t kWindowSectors = 128;
  static constexpr uint64_t kBufferSectors = kWindowSectors + 1;

  // `device` is not owned; null gives a reader that answers nothing.
  CSectorWindowReader(IStorageDevice* device, uint64_t startSector);
  ~CSectorWindowReader();
  CSectorWindowReader(const CSectorWindowReader&) = delete;
  CSectorWindowReader& operator=(const CSectorWindowReader&) = delete;

  // The bytes at `offset` from the file's start and how many follow them in
  // the buffer (the rest of the window and one further sector at most).
  // Null (available 0) past the device's end, past an unreadable sector of
  // the window, after a failed load (which leaves no window loaded: the
  // next call tries again), or when the RAW search was told to stop (asked
  // once per window load).
  const uint8_t* GetData(uint64_t offset, size_t& available);
  // Copies up to `length` bytes from `offset` on into `buffer`, across as
  // many windows as it takes; answers the number copied, fewer when the
  // data ends first.
  size_t Read(uint64_t offset, void* buffer, size_t length);

  // The device's sector size (512 without a device).
  uint32_t GetSectorSize() const { return m_sectorSize; }
  uint64_t GetWindowBytes() const { return m_windowBytes; }
  // The index of the window in the buffer, -1 for none.
  int64_t GetLoadedWindow() const { return m_loadedWindow; }

 private:
  bool Load(uint64_t window);
  // Reads `count` sectors from `first`; answers how many leading sectors
  // hold the device's data.
  uint64_t ReadReadablePrefix(uint64_t first, uint64_t count);

  IStorageDevice* m_device;
  uint64_t m_startSector;
  uint32_t m_sectorSize = 512;
  uint64_t m_windowBytes;
  size_t m_bufferBytes;
  std::unique_ptr<uint8_t[]> m_buffer;
  int64_t m_loadedWindow = -1;
  size_t m_validBytes = 0;  // bytes of the loaded window that hold data
};
