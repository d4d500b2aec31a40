#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <atomic>
#include <thread>

#include "SingleInstance.h"
#include "TestUtil.h"

namespace {

TEST(SingleInstance, SecondStartIsRefusedAndRaisesTheFirst) {
  testutil::TempDir runtime("xdg");
  qputenv("XDG_RUNTIME_DIR", runtime.path().c_str());
  const QString mutex = QStringLiteral("VantorelTestMutex");
  const QString server = QStringLiteral("VantorelTestServer_%1").arg(getpid());

  platform::SingleInstance first(mutex, server);
  ASSERT_TRUE(first.TryBecomeFirst());
  EXPECT_TRUE(first.LockFilePath().startsWith(QString::fromStdString(runtime.path())));
  QSignalSpy raised(&first, &platform::SingleInstance::raiseRequested);

  {
    platform::SingleInstance second(mutex, server);
    EXPECT_FALSE(second.TryBecomeFirst());
  }
  EXPECT_TRUE(raised.wait(2000));
  EXPECT_EQ(raised.count(), 1);
  qunsetenv("XDG_RUNTIME_DIR");
}

// A later start learns where the first instance's window is (so that its
// message shows over it); a first instance without a window tells nothing.
TEST(SingleInstance, LaterStartLearnsWhereTheFirstWindowIs) {
  testutil::TempDir runtime("xdg");
  qputenv("XDG_RUNTIME_DIR", runtime.path().c_str());
  const QString server = QStringLiteral("VantorelTestServer3_%1").arg(getpid());
  platform::SingleInstance first(QStringLiteral("M3"), server);
  ASSERT_TRUE(first.TryBecomeFirst());
  for (const QRect& window : {QRect(120, 80, 1024, 660), QRect()}) {
    first.SetWindowGeometryProvider([window] { return window; });
    QSignalSpy raised(&first, &platform::SingleInstance::raiseRequested);
    // The later start waits for the answer, so it runs beside the first's
    // event loop.
    std::atomic<bool> refused{false}, done{false};
    QRect learned(1, 1, 1, 1);
    std::thread later([&] {
      platform::SingleInstance second(QStringLiteral("M3"), server);
      refused = !second.TryBecomeFirst();
      learned = second.FirstInstanceWindow();
      done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    later.join();
    EXPECT_TRUE(refused);
    EXPECT_EQ(learned, window);
    EXPECT_EQ(raised.count(), 1);
  }
  qunsetenv("XDG_RUNTIME_DIR");
}

TEST(SingleInstance, LockIsReleasedWithTheInstance) {
  testutil::TempDir runtime("xdg");
  qputenv("XDG_RUNTIME_DIR", runtime.path().c_str());
  const QString server = QStringLiteral("VantorelTestServer2_%1").arg(getpid());
  {
    platform::SingleInstance first(QStringLiteral("M2"), server);
    ASSERT_TRUE(first.TryBecomeFirst());
  }
  platform::SingleInstance again(QStringLiteral("M2"), server);
  EXPECT_TRUE(again.TryBecomeFirst());
  qunsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
