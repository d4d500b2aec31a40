// Test doubles for the storage layer: a disk in memory and fault-injecting
// wrappers at both levels a read passes through.
//
//  - MemoryDevice (MemoryDevice.h): an IStorageDevice over bytes in memory.
//  - FaultInjectingDevice: wraps any IStorageDevice; reads touching chosen
//    sectors fail (0), a vanished device fails every read. For the tests of
//    code that must not write after a failed read.
//  - FaultInjectingRawDisk and MakeFaultOpener: the same faults under a disk
//    or volume device (CDiskDevice, CVolumeDevice), with errno values, so
//    that the bad-sector map, the re-opens and strict mode can be driven.
//
// Header-only; its users link `storage`.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CRawBackedDevice.h"
#include "IStorageDevice.h"
#include "MemoryDevice.h"
#include "RawDisk.h"

namespace testutil {

// What goes wrong, shared by the wrappers and the raw disks an opener makes.
// Thread-safe: a read-ahead thread may read while the test changes the plan.
class FaultPlan {
 public:
  void SetBadSector(uint64_t sector, int error = EIO) {
    std::lock_guard<std::mutex> g(m_lock);
    m_badSectors[sector] = error;
  }
  void ClearBadSectors() {
    std::lock_guard<std::mutex> g(m_lock);
    m_badSectors.clear();
  }
  // So many next reads fail with ENXIO (the medium is not ready).
  void SetNotReadyReads(int n) { m_notReadyReads = n; }
  // Every read and every open fails with ENXIO.
  void SetVanished(bool v) { m_vanished = v; }
  // The device vanishes (as SetVanished) at the first read touching `sector`.
  void SetVanishAt(uint64_t sector) {
    std::lock_guard<std::mutex> g(m_lock);
    m_vanishAt = sector;
    m_hasVanishAt = true;
  }
  bool Vanished() const { return m_vanished; }
  int Reads() const { return m_reads; }              // reads that reached a wrapper
  int FailedReads() const { return m_failedReads; }  // reads the plan failed
  int Opens() const { return m_opens; }  // opens asked of MakeFaultOpener's opener
  void CountOpen() { ++m_opens; }

  // The errno a read of [first, first + count) sectors meets, 0 for none.
  int ErrorFor(uint64_t first, uint64_t count) {
    ++m_reads;
    const int error = Decide(first, count);
    if (error) ++m_failedReads;
    return error;
  }

 private:
  int Decide(uint64_t first, uint64_t count) {
    if (m_vanished) return ENXIO;
    int n = m_notReadyReads.load();
    while (n > 0 && !m_notReadyReads.compare_exchange_weak(n, n - 1)) {
    }
    if (n > 0) return ENXIO;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_hasVanishAt && m_vanishAt >= first && m_vanishAt - first < count) {
      m_vanished = true;
      return ENXIO;
    }
    auto it = m_badSectors.lower_bound(first);
    if (it != m_badSectors.end() && it->first < first + count) return it->second;
    return 0;
  }

  std::mutex m_lock;
  std::map<uint64_t, int> m_badSectors;  // sector -> errno of reads touching it
  uint64_t m_vanishAt = 0;
  bool m_hasVanishAt = false;
  std::atomic<int> m_notReadyReads{0};
  std::atomic<bool> m_vanished{false};
  std::atomic<int> m_reads{0};
  std::atomic<int> m_failedReads{0};
  std::atomic<int> m_opens{0};
};

class MemoryRawDisk : public platform::IRawDisk {
 public:
  MemoryRawDisk(std::vector<uint8_t> bytes, int sectorSize) : m_bytes(std::move(bytes)), m_sectorSize(sectorSize) {}
  int ReadAt(void* buffer, uint64_t offset, size_t length) override {
    if (offset > m_bytes.size() || length > m_bytes.size() - offset) return ERANGE;
    if (length) memcpy(buffer, m_bytes.data() + offset, length);
    return 0;
  }
  int SectorSize() const override { return m_sectorSize; }
  uint64_t ByteSize() const override { return m_bytes.size(); }
  const std::string& Path() const override { return m_path; }

 private:
  std::vector<uint8_t> m_bytes;
  int m_sectorSize;
  std::string m_path = "memory";
};

class FaultInjectingRawDisk : public platform::IRawDisk {
 public:
  FaultInjectingRawDisk(std::unique_ptr<platform::IRawDisk> inner, std::shared_ptr<FaultPlan> plan)
      : m_inner(std::move(inner)), m_plan(std::move(plan)) {}
  int ReadAt(void* buffer, uint64_t offset, size_t length) override {
    const uint64_t ss = static_cast<uint64_t>(SectorSize());
    const uint64_t first = offset / ss;
    const uint64_t count = length ? (offset + length - 1) / ss - first + 1 : 0;
    if (int err = m_plan->ErrorFor(first, count)) return err;
    return m_inner->ReadAt(buffer, offset, length);
  }
  int SectorSize() const override { return m_inner->SectorSize(); }
  uint64_t ByteSize() const override { return m_inner->ByteSize(); }
  const std::string& Path() const override { return m_inner->Path(); }

 private:
  std::unique_ptr<platform::IRawDisk> m_inner;
  std::shared_ptr<FaultPlan> m_plan;
};

// An opener for CDiskDevice / CVolumeDevice whose raw disks come from
// `makeInner` and fail as the plan says; it fails itself while vanished.
inline RawDiskOpener MakeFaultOpener(std::shared_ptr<FaultPlan> plan,
                                     std::function<std::unique_ptr<platform::IRawDisk>()> makeInner) {
  return [plan, makeInner](int* error) -> std::unique_ptr<platform::IRawDisk> {
    plan->CountOpen();
    if (plan->Vanished()) {
      *error = ENXIO;
      return nullptr;
    }
    auto inner = makeInner();
    if (!inner) {
      *error = ENOENT;
      return nullptr;
    }
    return std::make_unique<FaultInjectingRawDisk>(std::move(inner), plan);
  };
}

class FaultInjectingDevice : public IStorageDevice {
 public:
  FaultInjectingDevice(IStorageDevice* inner, std::shared_ptr<FaultPlan> plan)
      : m_inner(inner), m_plan(std::move(plan)) {}
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    if (m_plan->ErrorFor(first, count)) return 0;
    return m_inner->ReadSectors(buffer, first, count);
  }
  uint64_t GetSectorCount() override { return m_plan->Vanished() ? 0 : m_inner->GetSectorCount(); }
  int GetSectorSize() override { return m_inner->GetSectorSize(); }
  int Open() override { return m_plan->Vanished() ? 0 : m_inner->Open(); }
  int Close() override { return m_inner->Close(); }
  FaultPlan& Plan() { return *m_plan; }

 private:
  IStorageDevice* m_inner;  // not owned
  std::shared_ptr<FaultPlan> m_plan;
};

}  // namespace testutil
