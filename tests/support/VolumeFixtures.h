// Test fixtures for volume tests: VANTOREL_DISKS, partitioned images made
// with sfdisk, and mounts this test made (unmounted when they go, also on
// failure). Loop devices: testutil::LoopDevice.
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
#include "LoopDevice.h"
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
