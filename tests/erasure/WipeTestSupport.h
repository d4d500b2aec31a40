// Shared by the partition wipe tests: a writer seam that records every
// write the run makes (and can fail or spoil one) while still writing
// through the guarded mount-driver writer, and a run observer that records
// progress and can cancel.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CMountDriverDevice.h"
#include "CWipePartitionRun.h"
#include "DiskTable.h"
#include "DriveLetters.h"
#include "IMountDriverWriter.h"
#include "TestUtil.h"

namespace wipetest {

struct WriteLog {
  struct Write {
    uint64_t first, count;
    uint32_t error;
  };
  std::mutex mutex;
  std::vector<Write> writes;
  int failIndex = -1;     // this write fails (error 29, nothing written)
  int corruptIndex = -1;  // this write puts 0x00 on the disk and reports success
  uint64_t SectorsWritten() {
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t n = 0;
    for (const auto& w : writes)
      if (!w.error) n += w.count;
    return n;
  }
};

class RecordingWriter : public IMountDriverWriter {
 public:
  RecordingWriter(int sectorSize, WriteLog* log) : m_sectorSize(sectorSize), m_log(log) {}
  bool Open(int disk) { return m_device.Open(disk); }
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    int index;
    {
      std::lock_guard<std::mutex> lock(m_log->mutex);
      index = static_cast<int>(m_log->writes.size());
      m_log->writes.push_back({first, count, 0});
    }
    const size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_sectorSize);
    if (index == m_log->failIndex) return Record(index, 29, 0);
    std::vector<uint8_t> spoilt;
    if (index == m_log->corruptIndex) {
      spoilt.assign(bytes, 0);
      buffer = spoilt.data();
    }
    size_t written = 0;
    const uint32_t error = m_device.WriteAt(first * static_cast<uint64_t>(m_sectorSize), buffer, bytes, &written);
    return Record(index, error, written / static_cast<size_t>(m_sectorSize));
  }
  uint32_t LastError() const override { return m_error; }
  int GetSectorSize() const override { return m_sectorSize; }

 private:
  uint64_t Record(int index, uint32_t error, uint64_t sectors) {
    m_error = error;
    std::lock_guard<std::mutex> lock(m_log->mutex);
    m_log->writes[static_cast<size_t>(index)].error = error;
    return sectors;
  }
  CMountDriverDevice m_device;
  int m_sectorSize;
  WriteLog* m_log;
  uint32_t m_error = 0;
};

// Installs the recording writer for as long as it lives.
class WriterSeam {
 public:
  explicit WriterSeam(WriteLog* log) {
    SetMountDriverOpener([log](int disk, uint32_t* error) -> std::unique_ptr<IMountDriverWriter> {
      platform::DiskEntry entry;
      auto writer = std::make_unique<RecordingWriter>(platform::GetDiskEntry(disk, &entry) ? entry.sectorSize : 512, log);
      if (!writer->Open(disk)) {
        if (error) *error = 2;
        return nullptr;
      }
      if (error) *error = 0;
      return writer;
    });
  }
  ~WriterSeam() { SetMountDriverOpener(nullptr); }
};

class RecordingObserver : public IWipeObserver {
 public:
  struct Step {
    int pass;
    uint64_t done;
    bool verifying;
  };
  // Called at each progress step (on the run's thread).
  std::function<void(const Step&)> onProgress;
  std::vector<Step> steps;
  int doneCalls = 0;
  int doneResult = -1;
  void Progress(int pass, uint64_t sectorsDone, bool verifying) override {
    steps.push_back({pass, sectorsDone, verifying});
    if (onProgress) onProgress(steps.back());
  }
  void Done(int result, bool) override {
    ++doneCalls;
    doneResult = result;
  }
};

// A formatter that only counts (the tests that look at the 0xFF bytes).
struct FormatCounter {
  int calls = 0;
  bool answer = true;
  CWipePartitionRun::Formatter Get() {
    return [this](char, const platform::VolumeExpectation&, std::string* out) {
      ++calls;
      if (!answer) *out = "mkntfs said no";
      return answer;
    };
  }
};

// A deterministic byte pattern with no 0xFF runs.
inline std::string PatternBytes(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>((x >> 16) % 255);
  }
  return s;
}

inline bool AllPattern(const std::string& bytes, size_t from, size_t length) {
  for (size_t i = from; i < from + length; ++i)
    if (static_cast<uint8_t>(bytes[i]) != CWipePartitionRun::kPattern) return false;
  return true;
}

// An image file of patterned bytes as the only disk of the table
// (VANTOREL_DISKS), with fresh drive letters; cleared again when it goes.
class ImageDisk {
 public:
  ImageDisk(const std::string& path, uint64_t sectors, unsigned seed) : m_path(path) {
    m_bytes = PatternBytes(static_cast<size_t>(sectors) * 512, seed);
    testutil::WriteFile(path, m_bytes);
    setenv("VANTOREL_DISKS", path.c_str(), 1);
    platform::ForgetDriveLettersForTest();
    for (const auto& d : platform::RefreshDiskTable())
      if (d.path == path) m_number = d.number;
  }
  ~ImageDisk() {
    platform::ForgetDriveLettersForTest();
    unsetenv("VANTOREL_DISKS");
  }
  ImageDisk(const ImageDisk&) = delete;
  ImageDisk& operator=(const ImageDisk&) = delete;
  int Number() const { return m_number; }
  // The bytes it was made with.
  const std::string& Bytes() const { return m_bytes; }
  // Puts them back.
  void Restore() const { testutil::WriteFile(m_path, m_bytes); }
  char Register(uint64_t start, uint64_t count) const {
    return platform::RegisterVolume(m_number, start, count, platform::VolumeFsKind::Unknown);
  }

 private:
  std::string m_path;
  std::string m_bytes;
  int m_number = -1;
};

}  // namespace wipetest
