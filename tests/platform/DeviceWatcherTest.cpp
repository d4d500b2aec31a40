#include <gtest/gtest.h>

#include <QSignalSpy>

#include "DeviceWatcher.h"
#include "LoopDevice.h"
#include "TestUtil.h"

namespace {

// A kernel event as it arrives: NUL-separated fields (the literal's own
// terminator is not part of it).
template <size_t N>
QByteArray Event(const char (&fields)[N]) {
  return QByteArray(fields, static_cast<int>(N - 1));
}

TEST(DeviceWatcher, RecognisesBlockEvents) {
  EXPECT_TRUE(platform::DeviceWatcher::IsBlockEvent(
      Event("change@/devices/virtual/block/loop3\0ACTION=change\0SUBSYSTEM=block\0")));
  EXPECT_FALSE(platform::DeviceWatcher::IsBlockEvent(Event("add@/x\0SUBSYSTEM=net\0")));
}

// Attaching a loop device sends only "change" events; the watcher must still
// see the disk arrive, and go again when it is detached.
TEST(DeviceWatcher, LoopAttachAndDetachAreArrivalAndRemoval) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  testutil::TempDir dir("watch");
  const std::string image = dir.file("disk.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", image}).exitCode, 0);

  platform::DeviceWatcher watcher;
  if (!watcher.Start()) GTEST_SKIP() << "kernel uevent socket not available";
  QSignalSpy arrived(&watcher, &platform::DeviceWatcher::diskArrived);
  QSignalSpy removed(&watcher, &platform::DeviceWatcher::diskRemoved);

  testutil::LoopDevice loop(image, 512, 0);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const std::string path = loop.Path();
  const QString name = QString::fromStdString(path.substr(path.rfind('/') + 1));

  bool sawArrival = false;
  for (int i = 0; i < 20 && !sawArrival; ++i) {
    arrived.wait(250);
    for (const auto& args : arrived)
      if (args.at(0).toString() == name) sawArrival = true;
  }
  EXPECT_TRUE(sawArrival) << "no arrival for " << path;
  ASSERT_TRUE(loop.Detach()) << loop.error();

  bool sawRemoval = false;
  for (int i = 0; i < 20 && !sawRemoval; ++i) {
    removed.wait(250);
    for (const auto& args : removed)
      if (args.at(0).toString() == name) sawRemoval = true;
  }
  EXPECT_TRUE(sawRemoval) << "no removal for " << path;
}

}  // namespace
