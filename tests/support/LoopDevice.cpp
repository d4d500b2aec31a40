#include "LoopDevice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "TestUtil.h"

namespace testutil {

namespace {

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The file behind `loopPath` as the kernel names it; empty when the device
// is not attached.
std::string BackingFile(const std::string& loopPath) {
  const std::string name = loopPath.substr(loopPath.rfind('/') + 1);
  std::string backing = ReadFile("/sys/block/" + name + "/loop/backing_file");
  while (!backing.empty() && backing.back() == '\n') backing.pop_back();
  return backing;
}

}  // namespace

LoopDevice::LoopDevice(const std::string& image, int sectorSize, int flags) {
  std::vector<std::string> argv = {"losetup", "-f", "--show", "-b", std::to_string(sectorSize)};
  if (flags & kPartitions) argv.push_back("-P");
  if (flags & kReadOnly) argv.push_back("-r");
  argv.push_back(image);
  // Another process may take the free device between losetup's look-up and
  // its attach; it then fails with EBUSY and a second try finds another.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const CommandResult r = Run(argv);
    const std::string path = r.output.substr(0, r.output.find('\n'));
    if (r.exitCode == 0 && path.rfind("/dev/loop", 0) == 0) {
      m_path = path;
      m_error.clear();
      return;
    }
    m_error = "losetup " + image + ": " + r.output;
    Sleep(100);
  }
}

LoopDevice::~LoopDevice() {
  if (!Detach()) ADD_FAILURE() << m_error;
}

bool LoopDevice::WaitForPartition(int n) {
  if (m_path.empty()) return false;
  Run({"blockdev", "--rereadpt", m_path});
  for (int i = 0; i < 50; ++i) {
    if (access(Part(n).c_str(), F_OK) == 0) return true;
    if (i == 10) Run({"partx", "-a", m_path});
    Sleep(100);
  }
  m_error = "no node " + Part(n) + " after blockdev --rereadpt and partx -a";
  return false;
}

bool LoopDevice::Detach(const std::function<void(int ms)>& pause) {
  if (m_path.empty()) return true;
  const std::function<void(int)> wait = pause ? pause : std::function<void(int)>(Sleep);
  // Ours while the kernel still names our image behind it (another process
  // may attach its own image to the same node once ours is gone).
  const std::string image = BackingFile(m_path);
  const auto stillOurs = [&] { return !image.empty() && BackingFile(m_path) == image; };
  bool released = false;
  for (int i = 0; i < 50 && !released; ++i) {
    if (!stillOurs() || Run({"losetup", "-d", m_path}).exitCode == 0)
      released = true;
    else
      wait(100);
  }
  if (!released) {
    m_error = "losetup -d " + m_path + " kept failing; the device is still attached";
    return false;
  }
  // While anyone still holds the device open the kernel only marks it to be
  // cleared on the last close: wait for that.
  for (int i = 0; i < 250 && stillOurs(); ++i) wait(20);
  if (stillOurs()) {
    m_error = m_path + " is still held open 5 s after losetup -d";
    return false;
  }
  m_path.clear();
  return true;
}

}  // namespace testutil
