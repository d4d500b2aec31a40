#include <mutex>
#include <vector>

#include "CMountDriverDevice.h"
#include "DiskTable.h"
#include "IMountDriverWriter.h"
#include "RunLog.h"
#include "VolumeLock.h"

namespace {

std::mutex g_mutex;
MountDriverOpener g_opener;

// The default writer: the guarded writer of the disk, in sectors of the
// disk's own size.
class CMountDriverWriter : public IMountDriverWriter {
 public:
  CMountDriverWriter(int sectorSize) : m_sectorSize(sectorSize) {}
  ~CMountDriverWriter() override { m_device.Close(); }
  bool Open(int diskNumber) { return m_device.Open(diskNumber); }

  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    if (!buffer || count == 0) {
      m_lastError = 87;
      return 0;
    }
    size_t written = 0;
    const uint64_t bytes = count * static_cast<uint64_t>(m_sectorSize);
    m_lastError =
        m_device.WriteAt(first * static_cast<uint64_t>(m_sectorSize), buffer, static_cast<size_t>(bytes), &written);
    return written / static_cast<uint64_t>(m_sectorSize);
  }
  size_t WriteSectorsBatch(SectorWrite* pieces, size_t n) override {
    const uint64_t ss = static_cast<uint64_t>(m_sectorSize);
    std::vector<platform::LockedWrite> writes(n);
    for (size_t i = 0; i < n; ++i) {
      writes[i].offset = pieces[i].first * ss;
      writes[i].buffer = pieces[i].buffer;
      writes[i].length = static_cast<size_t>(pieces[i].count * ss);
    }
    const size_t whole = platform::WriteLockedDiskBatch(m_device.GetDiskNumber(), writes.data(), n);
    for (size_t i = 0; i < n; ++i) {
      pieces[i].done = writes[i].written / ss;
      pieces[i].error = writes[i].error;
      if (writes[i].error == 0) continue;
      m_lastError = writes[i].error;
      LogInfo("Disk %d: write of %zu bytes at %llu failed with %u after %zu bytes", m_device.GetDiskNumber(),
              writes[i].length, static_cast<unsigned long long>(writes[i].offset), writes[i].error, writes[i].written);
    }
    return whole;
  }
  uint32_t LastError() const override { return m_lastError; }
  int GetSectorSize() const override { return m_sectorSize; }
  int GetBlockSize() const override {
    return static_cast<int>(platform::LockedDiskBlockSize(m_device.GetDiskNumber()));
  }
  uint32_t OpenError() const { return m_device.GetLastError(); }

 private:
  CMountDriverDevice m_device;
  int m_sectorSize;
  uint32_t m_lastError = 0;
};

}  // namespace

std::unique_ptr<IMountDriverWriter> OpenMountDriver(int diskNumber, uint32_t* error) {
  MountDriverOpener opener;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    opener = g_opener;
  }
  if (opener) return opener(diskNumber, error);
  platform::DiskEntry entry;
  if (!platform::GetDiskEntry(diskNumber, &entry)) {
    if (error) *error = 2;
    return nullptr;
  }
  auto writer = std::make_unique<CMountDriverWriter>(entry.sectorSize);
  if (!writer->Open(diskNumber)) {
    if (error) *error = writer->OpenError() ? writer->OpenError() : 2;
    return nullptr;
  }
  if (error) *error = 0;
  return writer;
}

MountDriverOpener SetMountDriverOpener(MountDriverOpener opener) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MountDriverOpener old = std::move(g_opener);
  g_opener = std::move(opener);
  return old;
}
