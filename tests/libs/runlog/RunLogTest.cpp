#include <gtest/gtest.h>

#include <cinttypes>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "RunLog.h"
#include "TestUtil.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

TEST(RunLog, LineFormats) {
  testutil::TempDir dir("runlog");
  const std::string path = dir.file("run.log");
  ASSERT_TRUE(RunLogSetFile(path));
  RunLogSetDebug(false);
  LogInfo("disk %d has %s", 3, "GPT");
  LogError("read failed at %" PRId64 " (0x%x)", int64_t(1) << 40, 0x7E0015);
  ReleaseTrace("trailing newline is not doubled\n");
  DebugTrace("not written while debug tracing is off");
  RunLogSetDebug(true);
  DebugTrace("written now");
  RunLogSetDebug(false);
  ASSERT_TRUE(RunLogSetFile(""));

  const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[\d+\] )");
  struct Want {
    const char* level;
    const char* text;
  } want[] = {{"INFO", "disk 3 has GPT"},
              {"ERROR", "read failed at 1099511627776 (0x7e0015)"},
              {"TRACE", "trailing newline is not doubled"},
              {"DEBUG", "written now"}};
  auto lines = Lines(testutil::ReadFile(path));
  ASSERT_EQ(lines.size(), std::size(want));
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    EXPECT_TRUE(std::regex_search(lines[i], stamp));
    std::string tail = std::string(want[i].level) + " " + want[i].text;
    ASSERT_GE(lines[i].size(), tail.size());
    EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail);
  }
}

TEST(RunLog, FormatLineIsStable) {
  // 2026-01-02 03:04:05.006 in local time.
  struct tm tmv = {};
  tmv.tm_year = 126;
  tmv.tm_mon = 0;
  tmv.tm_mday = 2;
  tmv.tm_hour = 3;
  tmv.tm_min = 4;
  tmv.tm_sec = 5;
  tmv.tm_isdst = -1;
  long long ms = static_cast<long long>(mktime(&tmv)) * 1000 + 6;
  EXPECT_EQ(RunLogFormatLine(RunLogLevel::Error, ms, 42, "x"), "2026-01-02 03:04:05.006 [42] ERROR x");
}

TEST(RunLog, LongAndConcurrentLinesStayWhole) {
  testutil::TempDir dir("runlog");
  const std::string path = dir.file("run.log");
  ASSERT_TRUE(RunLogSetFile(path));
  const std::string big(10000, 'x');
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) LogInfo("%s", big.c_str());
    });
  for (auto& t : threads) t.join();
  ASSERT_TRUE(RunLogSetFile(""));
  auto lines = Lines(testutil::ReadFile(path));
  ASSERT_EQ(lines.size(), 200u);
  for (auto& l : lines) EXPECT_EQ(l.substr(l.size() - big.size() - 5), "INFO " + big);
}

TEST(RunLog, UnwritableFileKeepsPreviousOutput) {
  EXPECT_FALSE(RunLogSetFile("/nonexistent-dir/x/run.log"));
  EXPECT_EQ(RunLogFile(), "");
  LogInfo("still goes to standard error");
}

}  // namespace
