// The partition wipe run on volumes that are windows of an image file (no
// root needed): chunks and passes, the read-back, failures that are
// remembered, refusals that write nothing, cancel.
#include <gtest/gtest.h>
#include <unistd.h>

#include "CHistoryDataBase.h"
#include "CWipePartitionRun.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "TestUtil.h"
#include "WipeTestSupport.h"

using wipetest::AllPattern;

namespace {

constexpr uint64_t kStart = 2048, kCount = 10000, kP2 = kStart + kCount, kP2Count = 2000;
constexpr uint64_t kDiskSectors = 14336;

class WipeRunOnImage : public ::testing::Test {
 protected:
  void SetUp() override {
    m_image = m_dir.file("disk.img");
    m_disk = std::make_unique<wipetest::ImageDisk>(m_image, kDiskSectors, 7);
    m_before = m_disk->Bytes();
    ASSERT_GE(m_disk->Number(), 0);
    m_letter = m_disk->Register(kStart, kCount);
    ASSERT_NE(m_letter, 0);
    ASSERT_NE(m_disk->Register(kP2, kP2Count), 0);
  }
  void Prepare(CWipePartitionRun& run, int passes, int sectorsPerChunk = 0) {
    run.SetParams(sectorsPerChunk, m_letter, m_disk->Number(), kStart, kCount, 512, kStart + kCount);
    run.SetPasses(passes);
    run.SetFormatter(m_format.Get());
    run.SetObserver(&m_observer);
  }
  // Everything outside the volume is as it was.
  void ExpectOnlyVolumeChanged(const std::string& after) {
    ASSERT_EQ(after.size(), m_before.size());
    EXPECT_TRUE(after.compare(0, kStart * 512, m_before, 0, kStart * 512) == 0);
    EXPECT_TRUE(after.compare(kP2 * 512, std::string::npos, m_before, kP2 * 512, std::string::npos) == 0);
  }

  testutil::TempDir m_dir{"wiperun"};
  std::string m_image, m_before;
  std::unique_ptr<wipetest::ImageDisk> m_disk;
  char m_letter = 0;
  wipetest::WriteLog m_log;
  wipetest::RecordingObserver m_observer;
  wipetest::FormatCounter m_format;
};

TEST_F(WipeRunOnImage, WritesEveryPassInChunksAndReadsTheLastBack) {
  struct Case {
    int passes, sectorsPerChunk;
    std::vector<std::pair<uint64_t, uint64_t>> pass;  // writes of one pass (start, count)
  } cases[] = {
      {1, 0, {{2048, 4096}, {6144, 4096}, {10240, 1808}}},
      {3, 0, {{2048, 4096}, {6144, 4096}, {10240, 1808}}},
      // Chunks cut into writes of at most 1500 sectors.
      {1, 1500, {{2048, 1500}, {3548, 1500}, {5048, 1096}, {6144, 1500}, {7644, 1500}, {9144, 1096},
                 {10240, 1500}, {11740, 308}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.passes << " passes, chunk " << c.sectorsPerChunk);
    m_disk->Restore();
    m_log.writes.clear();
    m_observer.steps.clear();
    m_format.calls = 0;
    wipetest::WriterSeam seam(&m_log);
    CWipePartitionRun run;
    Prepare(run, c.passes, c.sectorsPerChunk);
    run.Run();
    EXPECT_EQ(run.Result(), ERASE_COMPLETED) << run.Message();
    EXPECT_TRUE(run.Formatted());
    EXPECT_EQ(m_format.calls, 1);
    std::vector<std::pair<uint64_t, uint64_t>> expected, got;
    for (int p = 0; p < c.passes; ++p) expected.insert(expected.end(), c.pass.begin(), c.pass.end());
    for (const auto& w : m_log.writes) got.push_back({w.first, w.count});
    EXPECT_EQ(got, expected);
    EXPECT_EQ(m_log.SectorsWritten(), kCount * static_cast<uint64_t>(c.passes));
    // Progress before each chunk of each pass, then the read-back (3 passes only).
    std::vector<std::tuple<int, uint64_t, bool>> steps, want;
    for (const auto& s : m_observer.steps) steps.emplace_back(s.pass, s.done, s.verifying);
    for (int p = 0; p < c.passes; ++p)
      for (uint64_t d : {0, 4096, 8192}) want.emplace_back(p, d, false);
    if (c.passes == 3)
      for (uint64_t d : {0, 4096, 8192}) want.emplace_back(2, d, true);
    EXPECT_EQ(steps, want);
    const std::string after = testutil::ReadFile(m_image);
    EXPECT_TRUE(AllPattern(after, kStart * 512, kCount * 512));
    ExpectOnlyVolumeChanged(after);
  }
  EXPECT_EQ(m_observer.doneCalls, 3);
}

// A failed write anywhere, a read-back that finds other bytes and a failed
// format all fail the run, and only a clean run is formatted.
TEST_F(WipeRunOnImage, EveryFailureIsRemembered) {
  struct Case {
    const char* name;
    int passes, failIndex, corruptIndex;
    bool formatAnswer;
    int formatCalls;
  } cases[] = {
      {"write 2 of 9 fails", 3, 1, -1, true, 0},
      {"the last pass leaves zeros", 3, -1, 7, true, 0},
      {"the format fails", 1, -1, -1, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_disk->Restore();
    m_log.writes.clear();
    m_log.failIndex = c.failIndex;
    m_log.corruptIndex = c.corruptIndex;
    m_format.calls = 0;
    m_format.answer = c.formatAnswer;
    wipetest::WriterSeam seam(&m_log);
    CWipePartitionRun run;
    Prepare(run, c.passes);
    run.Run();
    EXPECT_EQ(run.Result(), ERASE_PARTITION_WRITE_FAILED);
    EXPECT_FALSE(run.Formatted());
    EXPECT_EQ(m_format.calls, c.formatCalls);
    EXPECT_FALSE(run.Message().empty());
    EXPECT_EQ(run.FailedWrites(), c.failIndex >= 0 ? 1u : 0u);
    // The pass went on after the failed write.
    EXPECT_EQ(m_log.writes.size(), 3u * static_cast<size_t>(c.passes));
    ExpectOnlyVolumeChanged(testutil::ReadFile(m_image));
  }
}

TEST_F(WipeRunOnImage, RefusalsWriteNothing) {
  platform::DiskIdentity other;
  other.kind = platform::DiskIdentity::Kind::ImageFile;
  other.first = 1;
  other.second = 2;
  struct Case {
    const char* name;
    std::function<void(CWipePartitionRun&)> change;
    int result;
  } cases[] = {
      {"more than one extent", [](CWipePartitionRun& r) { r.SetExtentCount(2); }, ERASE_PARTITION_OPEN_FAILED},
      {"another disk than confirmed", [&](CWipePartitionRun& r) { r.SetExpectedDisk(other); },
       ERASE_PARTITION_OPEN_FAILED},
      {"another size than the volume's",
       [&](CWipePartitionRun& r) { r.SetParams(0, m_letter, m_disk->Number(), kStart, kCount - 1, 512, kStart + kCount - 1); },
       ERASE_PARTITION_OPEN_FAILED},
      {"an end that is not start + count",
       [&](CWipePartitionRun& r) { r.SetParams(0, m_letter, m_disk->Number(), kStart, kCount, 512, kStart + kCount + 8); },
       ERASE_PARTITION_OPEN_FAILED},
      {"another sector size",
       [&](CWipePartitionRun& r) { r.SetParams(0, m_letter, m_disk->Number(), kStart / 8, kCount / 8, 4096, (kStart + kCount) / 8); },
       ERASE_PARTITION_OPEN_FAILED},
      {"a letter nobody has", [&](CWipePartitionRun& r) { r.SetParams(0, 'Y', m_disk->Number(), kStart, kCount, 512, kStart + kCount); },
       ERASE_PARTITION_OPEN_FAILED},
      {"a disk number of -1", [&](CWipePartitionRun& r) { r.SetParams(0, m_letter, -1, kStart, kCount, 512, kStart + kCount); },
       ERASE_PARTITION_OPEN_FAILED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_log.writes.clear();
    m_format.calls = 0;
    wipetest::WriterSeam seam(&m_log);
    CWipePartitionRun run;
    Prepare(run, 1);
    c.change(run);
    run.Run();
    EXPECT_EQ(run.Result(), c.result);
    EXPECT_FALSE(run.Message().empty());
    EXPECT_TRUE(m_log.writes.empty());
    EXPECT_EQ(m_format.calls, 0);
    EXPECT_EQ(testutil::ReadFile(m_image), m_before);
  }
}

// The run writes its one history row itself, whatever its end, before its
// observer hears of the end; without a history file it writes none.
TEST_F(WipeRunOnImage, WritesItsHistoryRowBeforeTellingItsEnd) {
  struct RowsAtDone : wipetest::RecordingObserver {
    std::string history;
    size_t rowsAtDone = 0;
    void Done(int result, bool cancelled) override {
      for (const auto& [time, items] : CHistoryDataBase(history).ReadAll()) rowsAtDone += items.size();
      RecordingObserver::Done(result, cancelled);
    }
  };
  struct Case {
    const char* name;
    int passes;
    std::function<void(CWipePartitionRun&)> change;
    int result;
  } cases[] = {
      {"completed", 1, [](CWipePartitionRun&) {}, ERASE_COMPLETED},
      {"refused", 3, [](CWipePartitionRun& r) { r.SetExtentCount(2); }, ERASE_PARTITION_OPEN_FAILED},
      {"cancelled", 7, [](CWipePartitionRun& r) { r.Cancel(); }, ERASE_PARTITION_CANCELLED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_disk->Restore();
    wipetest::WriterSeam seam(&m_log);
    RowsAtDone observer;
    observer.history = m_dir.file(std::string(c.name) + ".db");
    CWipePartitionRun run;
    Prepare(run, c.passes);
    run.SetObserver(&observer);
    run.SetHistoryPath(observer.history);
    c.change(run);
    run.Run();
    ASSERT_EQ(run.Result(), c.result) << run.Message();
    EXPECT_EQ(observer.rowsAtDone, 1u);
    const auto runs = CHistoryDataBase(observer.history).ReadAll();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.begin()->first, run.TimeText());
    ASSERT_EQ(runs.begin()->second.size(), 1u);
    const EraseItem& row = runs.begin()->second[0];
    // The letter, then where the volume lies (a letter lives only as long
    // as its process).
    EXPECT_EQ(row.path, std::string("wipe partition ") + m_letter + " (" + m_image + " at byte " +
                            std::to_string(kStart * 512) + ")");
    EXPECT_EQ(row.algorithm, c.passes);
    EXPECT_EQ(row.result, c.result);
  }
  // By default a run writes no history, not even the program's.
  setenv("VANTOREL_PROGRAM_DIR", m_dir.path().c_str(), 1);
  CWipePartitionRun run;
  Prepare(run, 1);
  run.SetExtentCount(2);
  run.Run();
  unsetenv("VANTOREL_PROGRAM_DIR");
  EXPECT_TRUE(run.IsFinished());
  EXPECT_NE(access(m_dir.file("DataBase.db").c_str(), F_OK), 0);
}

TEST_F(WipeRunOnImage, CancelStopsBeforeTheNextWriteAndDoesNotFormat) {
  wipetest::WriterSeam seam(&m_log);
  CWipePartitionRun run;
  Prepare(run, 3);
  // The first progress of the second pass: that chunk is still written.
  m_observer.onProgress = [&run](const wipetest::RecordingObserver::Step& s) {
    if (s.pass == 1) run.Cancel();
  };
  run.Start();
  run.Join();
  EXPECT_EQ(run.Result(), ERASE_PARTITION_CANCELLED);
  EXPECT_EQ(m_observer.doneResult, ERASE_PARTITION_CANCELLED);
  EXPECT_FALSE(run.Formatted());
  EXPECT_EQ(m_format.calls, 0);
  EXPECT_EQ(m_log.writes.size(), 4u);
}

}  // namespace
