// Test entry: a QApplication on the offscreen platform, so bus and widget
// tests have a GUI thread, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
// Test programs run with leak checking (LEAK_CHECK in cmake/Vantorel.cmake)
// meet the offscreen platform plug-in's screen objects, which the
// QApplication below leaves allocated at exit. These frames lie inside Qt
// only; a leak of the program's own objects never passes through them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n"
         "leak:QScreen::QScreen\n"
         "leak:QPlatformScreen::QPlatformScreen\n"
         "leak:QWindowSystemInterface::handleScreenAdded\n"
         "leak:QObject::QObject\n"
         "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n";
}
#endif

int main(int argc, char** argv) {
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // ctest counts a test as skipped only on the line printed below: GoogleTest's
  // own "[  SKIPPED ]" also stands in the output of a failed suite set-up and
  // of a failure that quotes a child's output, which must stay failures.
  const bool markSkips = getenv("VANTOREL_SKIP_MARK") != nullptr;
  unsetenv("VANTOREL_SKIP_MARK");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
  if (markSkips && result == 0 && run.Passed() && run.skipped_test_count() > 0 && run.successful_test_count() == 0)
    printf("[ VANTOREL SKIPPED ]\n");
  return result;
}
