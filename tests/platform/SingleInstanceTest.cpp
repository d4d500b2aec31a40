#include <gtest/gtest.h>

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>

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
