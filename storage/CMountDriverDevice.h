// The mount driver's raw writer, "\\.\hxvolsys\N" for disk N: positioned
// writes of whole sectors at disk byte offsets (sector x the disk's sector
// size). It writes only inside a volume of that disk that this process
// holds locked (CVolumeManager::LockVolume); any other write fails with
// 644 and writes nothing. Each write goes to the locked volume's own
// descriptor; Close flushes (fdatasync, BLKFLSBUF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMountDriverDevice {
 public:
  CMountDriverDevice() = default;
  ~CMountDriverDevice();
  CMountDriverDevice(const CMountDriverDevice&) = delete;
  CMountDriverDevice& operator=(const CMountDriverDevice&) = delete;

  // "\\.\hxvolsys\N".
  static std::string DeviceName(int diskNumber);
  // N of "\\.\hxvolsys\N", or -1 when the name is not one.
  static int DiskNumberOfName(const char* name);

  // Opens the writer by its name; fails with error 2 for another name, a
  // disk number not in the disk table, or a node that holds another disk
  // now.
  bool Open(const char* name);
  bool Open(int diskNumber);
  bool IsOpen() const { return m_diskNumber >= 0; }
  int GetDiskNumber() const { return m_diskNumber; }

  // SetFilePointer (from the start) and WriteFile: the write lands at the
  // pointer, which advances by what was written. False with the error in
  // GetLastError() unless every byte was written.
  bool SetFilePointer(uint64_t byteOffset);
  bool WriteFile(const void* buffer, uint32_t bytes, uint32_t* written);
  // One positioned write: 0 or the Windows error.
  uint32_t WriteAt(uint64_t byteOffset, const void* buffer, size_t bytes, size_t* written);
  // fdatasync and BLKFLSBUF of the locked volumes written, so that reads
  // through other nodes of the disk (the whole-disk node) see the writes.
  bool Flush();
  // Flush, then close; false when a flush failed or nothing was open.
  bool Close();
  uint32_t GetLastError() const { return m_lastError; }

 private:
  uint32_t SetError(uint32_t code);

  int m_diskNumber = -1;
  uint64_t m_position = 0;
  uint32_t m_lastError = 0;
};
