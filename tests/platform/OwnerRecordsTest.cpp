// Owner records: the text of a record, damaged records, and whether the
// recorded owner is gone (a pid reused by a later process is not the owner).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "OwnerRecords.h"
#include "ProcessControl.h"

namespace {

TEST(OwnerRecords, TextRoundTripsAndDamagedRecordsAreRefused) {
  platform::OwnerRecord r;
  r.kind = "mount";
  r.pid = 4321;
  r.startTime = 987654;
  r.fields = {{"mountpoint", "/run/vantorel/D"}, {"image", "/tmp/a b=c.img"}, {"offset", "1048576"}};
  std::string text;
  ASSERT_TRUE(platform::FormatOwnerRecord(r, &text));
  platform::OwnerRecord back;
  ASSERT_TRUE(platform::ParseOwnerRecord(text, &back)) << text;
  EXPECT_EQ(back.kind, "mount");
  EXPECT_EQ(back.pid, 4321);
  EXPECT_EQ(back.startTime, 987654u);
  EXPECT_EQ(back.Field("image"), "/tmp/a b=c.img");
  EXPECT_EQ(back.Number("offset"), 1048576u);

  // Half a record (a writer killed mid-way), no owner, a value that would
  // add a line: never taken for a record.
  for (const std::string& bad : {text.substr(0, text.size() / 2), std::string("kind=loop\npath=/dev/loop1\nend=1\n"),
                                 std::string("kind=loop\npid=1\nstart=5\nend=1\nextra=1\n"), std::string()}) {
    platform::OwnerRecord r2;
    EXPECT_FALSE(platform::ParseOwnerRecord(bad, &r2)) << bad;
  }
  r.fields["path"] = "/tmp/x\nkind=folder";
  EXPECT_FALSE(platform::FormatOwnerRecord(r, &text));
}

TEST(OwnerRecords, OwnerGoneByPidAndStartTime) {
  const pid_t self = getpid();
  const unsigned long long start = platform::ProcessStartTime(self);
  ASSERT_NE(start, 0u);
  // A child that has exited and been reaped: its pid names no process.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  const unsigned long long childStart = platform::ProcessStartTime(child);
  int status = 0;
  waitpid(child, &status, 0);
  struct Case {
    pid_t pid;
    unsigned long long start;
    bool gone;
  } cases[] = {
      {self, start, false},     // this process
      {self, start + 1, true},  // the pid now belongs to another process
      {child, childStart == 0 ? 1 : childStart, true},
      {self, 0, false},  // no start time: nothing can be judged, nothing is released
      {0, start, false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::OwnerGone(c.pid, c.start), c.gone) << c.pid << " " << c.start;
}

}  // namespace
