// A loop device a test attaches over an image file it made.
#pragma once

#include <functional>
#include <string>

namespace testutil {

// Attached in the constructor (losetup), detached when it goes, also when a
// failed assertion ends the test early. Loop devices are shared with other
// work on the machine: only the one attached here is ever detached. The
// detach is retried while `losetup -d` fails, then waits until the kernel
// has let the device go (udev's probe or a FUSE driver may hold it a
// moment), so whatever the test does next no longer finds it. A device
// still mounted or open in another process by then fails the test; one
// held only by this process goes when this process closes it.
class LoopDevice {
 public:
  enum Flags {
    kPartitions = 1,  // scan the partition table (-P)
    kReadOnly = 2,    // -r
  };

  explicit LoopDevice(const std::string& image, int sectorSize = 512, int flags = kPartitions);
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  bool ok() const { return !m_path.empty(); }
  // /dev/loopN; empty when the attach failed (error() says why).
  const std::string& Path() const { return m_path; }
  const std::string& error() const { return m_error; }
  std::string Part(int n) const { return m_path + "p" + std::to_string(n); }
  std::string Part1() const { return Part(1); }

  // Makes the kernel read the partition table (there may be no udev) and
  // waits for the node of partition `n`: `blockdev --rereadpt`, then
  // `partx -a` when the node is still missing. False when it never came.
  bool WaitForPartition(int n = 1);

  // Detaches now; true once the kernel has let the device go, or only this
  // process still holds it. `pause` is called between tries (a GUI test
  // passes its event pump); by default the thread sleeps.
  bool Detach(const std::function<void(int ms)>& pause = nullptr);

 private:
  std::string m_path;
  std::string m_error;
};

}  // namespace testutil
