#include "LoopDevice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
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

// What keeps `device` (or one of its partitions) busy outside this
// process: a mount, or another process with it open. Empty when nothing.
std::string HolderElsewhere(const std::string& device) {
  const auto isOurs = [&](const std::string& node) { return node == device || (node.rfind(device + "p", 0) == 0); };
  std::istringstream mounts(ReadFile("/proc/self/mountinfo"));
  for (std::string line; std::getline(mounts, line);) {
    // "... mount-point ... - fstype source options"
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type, source;
    tail >> type >> source;
    if (isOurs(source)) return source + " is mounted";
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string self = std::to_string(getpid());
  for (const auto& process : fs::directory_iterator("/proc", ec)) {
    const std::string pid = process.path().filename().string();
    if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", ec)) {
      std::error_code linkError;
      const fs::path target = fs::read_symlink(fd.path(), linkError);
      if (!linkError && isOurs(target.string())) {
        std::string name = ReadFile(process.path().string() + "/comm");
        while (!name.empty() && name.back() == '\n') name.pop_back();
        return "open in process " + pid + " (" + name + ")";
      }
    }
  }
  return std::string();
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
  // cleared on the last close: wait for that. Held only by this process (an
  // object of the test not destroyed yet), it goes when that closes it, at
  // the latest when the process ends: no use waiting longer.
  for (int i = 0; i < 250 && stillOurs(); ++i) {
    if (i == 50 && HolderElsewhere(m_path).empty()) break;
    wait(20);
  }
  if (stillOurs()) {
    const std::string holder = HolderElsewhere(m_path);
    if (!holder.empty()) {
      m_error = m_path + " is still held 5 s after losetup -d: " + holder;
      return false;
    }
  }
  m_path.clear();
  return true;
}

}  // namespace testutil
