// What the FAT scrub tests share: a mount-driver writer that writes into the
// test's image file at disk-sector offsets and records (or refuses) every
// write, a volume device wrapper that records every read in the same event
// list, and the disk table pointed at the image.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "IMountDriverWriter.h"
#include "IStorageDevice.h"

namespace scrubtest {

struct Event {
  char kind;       // 'r' read that worked, 'f' read that failed, 'w' write
  uint64_t first;  // sector (the device's for reads, the disk's for writes)
  uint64_t count;
};

struct WriterPlan {
  std::string imagePath;
  int sectorSize = 512;
  bool failWrites = false;
  std::vector<Event>* events = nullptr;
  std::function<void()> afterWrite;  // runs after each write (cancel tests)
  int opened = 0;
};

class ImageWriter : public IMountDriverWriter {
 public:
  explicit ImageWriter(WriterPlan* plan) : m_plan(plan) { m_fd = ::open(plan->imagePath.c_str(), O_RDWR | O_CLOEXEC); }
  ~ImageWriter() override {
    if (m_fd >= 0) {
      ::fdatasync(m_fd);
      ::close(m_fd);
    }
  }
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    if (m_plan->events) m_plan->events->push_back({'w', first, count});
    uint64_t done = 0;
    if (!m_plan->failWrites && m_fd >= 0) {
      const size_t bytes = static_cast<size_t>(count) * m_plan->sectorSize;
      const ssize_t n = ::pwrite(m_fd, buffer, bytes, static_cast<off_t>(first * m_plan->sectorSize));
      if (n == static_cast<ssize_t>(bytes)) done = count;
    }
    m_lastError = done == count ? 0 : 29;
    if (m_plan->afterWrite) m_plan->afterWrite();
    return done;
  }
  uint32_t LastError() const override { return m_lastError; }
  int GetSectorSize() const override { return m_plan->sectorSize; }

 private:
  WriterPlan* m_plan;
  int m_fd = -1;
  uint32_t m_lastError = 0;
};

// Installs a writer for disk 0 (the image) and points the disk table at the
// image; both are undone when it goes.
class WriterInstall {
 public:
  explicit WriterInstall(WriterPlan* plan) {
    setenv("VANTOREL_DISKS", plan->imagePath.c_str(), 1);
    m_old = SetMountDriverOpener([plan](int disk, uint32_t* error) -> std::unique_ptr<IMountDriverWriter> {
      if (disk != 0) {
        if (error) *error = 2;
        return nullptr;
      }
      ++plan->opened;
      return std::make_unique<ImageWriter>(plan);
    });
  }
  ~WriterInstall() {
    SetMountDriverOpener(m_old);
    unsetenv("VANTOREL_DISKS");
  }
  WriterInstall(const WriterInstall&) = delete;
  WriterInstall& operator=(const WriterInstall&) = delete;

 private:
  MountDriverOpener m_old;
};

// Passes reads through and records them; a batch goes to the inner device
// as one, and its pieces are recorded up to the first that failed.
class RecordingDevice : public IStorageDevice {
 public:
  RecordingDevice(IStorageDevice* inner, std::vector<Event>* events) : m_inner(inner), m_events(events) {}
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    const int ok = m_inner->ReadSectors(buffer, first, count);
    m_events->push_back({ok ? 'r' : 'f', first, count});
    return ok;
  }
  size_t ReadSectorsBatch(SectorRead* pieces, size_t n) override {
    const size_t whole = m_inner->ReadSectorsBatch(pieces, n);
    for (size_t i = 0; i < n && i <= whole; ++i)
      m_events->push_back({i < whole ? 'r' : 'f', pieces[i].first, pieces[i].count});
    return whole;
  }
  uint64_t GetSectorCount() override { return m_inner->GetSectorCount(); }
  int GetSectorSize() override { return m_inner->GetSectorSize(); }
  int Open() override { return m_inner->Open(); }
  int Close() override { return m_inner->Close(); }

 private:
  IStorageDevice* m_inner;
  std::vector<Event>* m_events;
};

}  // namespace scrubtest
