// Test fixtures for volume tests: VANTOREL_DISKS, partitioned images made
// with sfdisk, loop devices this test attached (detached when they go, also
// on failure), and mounts this test made (unmounted when they go).
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "DiskTable.h"
#include "MountTable.h"
#include "TestUtil.h"

namespace volfix {

class EnvGuard {
 public:
  explicit EnvGuard(const std::string& value) { setenv("VANTOREL_DISKS", value.c_str(), 1); }
  ~EnvGuard() { unsetenv("VANTOREL_DISKS"); }
  void Set(const std::string& value) { setenv("VANTOREL_DISKS", value.c_str(), 1); }
};

// Rescans the disk table and returns the number of `path` (-1 when it is
// not listed). Numbers are sticky per identity, so a node reused for
// another image in the same process may get another number.
inline int DiskNumberOf(const std::string& path) {
  for (const auto& d : platform::RefreshDiskTable())
    if (d.path == path) return d.number;
  return -1;
}

// A sparse image of `mib` MiB with an MBR of the given sfdisk lines
// ("start=2048, size=8192, type=7").
inline bool MakePartitionedImage(const std::string& path, int mib, const std::vector<std::string>& parts) {
  if (testutil::Run({"truncate", "-s", std::to_string(mib) + "M", path}).exitCode != 0) return false;
  std::string script = "label: dos\n";
  for (const auto& p : parts) script += p + "\n";
  testutil::WriteFile(path + ".sfdisk", script);
  return testutil::Shell("sfdisk -q '" + path + "' < '" + path + ".sfdisk'").exitCode == 0;
}

// A loop device this test attached (with -P); detached when it goes.
class LoopDevice {
 public:
  LoopDevice(const std::string& image, int sectorSize = 512) {
    auto r = testutil::Run({"losetup", "-f", "--show", "-P", "-b", std::to_string(sectorSize), image});
    if (r.exitCode != 0) return;
    m_path = r.output.substr(0, r.output.find('\n'));
  }
  ~LoopDevice() {
    if (m_path.empty()) return;
    for (int i = 0; i < 50 && testutil::Run({"losetup", "-d", m_path}).exitCode != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  // Makes the kernel read the partition table (no udev here) and waits for
  // partition `n`'s node.
  bool WaitForPartition(int n = 1) {
    testutil::Run({"blockdev", "--rereadpt", m_path});
    struct stat st;
    for (int i = 0; i < 50; ++i) {
      if (stat(Part(n).c_str(), &st) == 0) return true;
      if (i == 10) testutil::Run({"partx", "-a", m_path});
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  bool ok() const { return !m_path.empty(); }
  const std::string& Path() const { return m_path; }
  std::string Part(int n) const { return m_path + "p" + std::to_string(n); }
  std::string Part1() const { return Part(1); }

 private:
  std::string m_path;
};

inline bool IsMountedAt(const std::string& point) {
  for (const auto& m : platform::ReadMountTable())
    if (m.mountPoint == point) return true;
  return false;
}

inline bool MountEntryAt(const std::string& point, platform::MountEntry* out) {
  for (const auto& m : platform::ReadMountTable())
    if (m.mountPoint == point) {
      *out = m;
      return true;
    }
  return false;
}

// A mount this test made with `argv`; unmounted when it goes (only when
// something is still mounted at its folder).
class TestMount {
 public:
  TestMount(const std::string& point, const std::vector<std::string>& argv) : m_point(point) {
    mkdir(point.c_str(), 0755);
    auto r = testutil::Run(argv);
    m_ok = r.exitCode == 0 && IsMountedAt(point);
    m_output = r.output;
  }
  ~TestMount() {
    for (int i = 0; i < 50 && IsMountedAt(m_point); ++i) {
      platform::MountEntry m;
      if (MountEntryAt(m_point, &m) && m.IsFuse())
        testutil::Run({"fusermount", "-u", m_point});
      else
        testutil::Run({"umount", m_point});
      if (IsMountedAt(m_point)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  TestMount(const TestMount&) = delete;
  TestMount& operator=(const TestMount&) = delete;
  bool ok() const { return m_ok; }
  const std::string& output() const { return m_output; }

 private:
  std::string m_point;
  bool m_ok = false;
  std::string m_output;
};

// `length` bytes at `offset` of a file or node, read with dd.
inline std::string DdRead(const std::string& path, uint64_t offset, uint64_t length, const std::string& scratch) {
  auto r = testutil::Run({"dd", "if=" + path, "of=" + scratch, "bs=512", "skip=" + std::to_string(offset / 512),
                          "count=" + std::to_string(length / 512), "status=none"});
  if (r.exitCode != 0) return std::string();
  return testutil::ReadFile(scratch);
}

}  // namespace volfix
