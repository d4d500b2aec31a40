// Which volumes the free-space run scrubs, decided before anything is
// locked: only FAT16, FAT32 and NTFS, never a volume of several extents,
// and a type without a quick search is skipped and says so.
#include <gtest/gtest.h>

#include <string>

#include "EngineError.h"
#include "ScanEngineRegistry.h"
#include "ScrubDeletedRecords.h"

namespace {

TEST(ScrubDecision, OutcomeWithoutTouchingTheVolume) {
  ClearScanEngineRegistry();
  struct Case {
    EFileSystemType type;
    bool multiExtent;
    EScrubOutcome outcome;
    bool complete;
  } cases[] = {
      {EFileSystemType::Ext2, false, EScrubOutcome::NotApplicable, true},
      {EFileSystemType::exFAT, false, EScrubOutcome::NotApplicable, true},
      {EFileSystemType::FAT12, false, EScrubOutcome::NotApplicable, true},
      {EFileSystemType::NTFS, true, EScrubOutcome::SkippedMultiExtent, false},
      {EFileSystemType::FAT32, false, EScrubOutcome::SkippedUnavailable, false},
      {EFileSystemType::FAT16, false, EScrubOutcome::SkippedUnavailable, false},
  };
  for (const Case& c : cases) {
    ScrubOptions options;
    options.multiExtent = c.multiExtent;
    // 'Q' is never registered here: any attempt to lock would fail instead.
    const ScrubReport r = ScrubDeletedRecords('Q', c.type, options);
    EXPECT_EQ(r.outcome, c.outcome) << static_cast<int>(c.type);
    EXPECT_EQ(ScrubComplete(r), c.complete) << static_cast<int>(c.type);
    if (c.outcome == EScrubOutcome::SkippedUnavailable) {
      EXPECT_EQ(r.engineCode, engine_error::kQuickNoController);
    }
  }
  // Outcomes of a scrub that was refused or left records are never complete.
  for (EScrubOutcome outcome : {EScrubOutcome::RefusedReadOnly, EScrubOutcome::Incomplete}) {
    ScrubReport r;
    r.outcome = outcome;
    EXPECT_FALSE(ScrubComplete(r));
    EXPECT_NE(
        std::string(ScrubOutcomeText(outcome)).find(outcome == EScrubOutcome::Incomplete ? "incomplete" : "read-only"),
        std::string::npos);
  }
}

}  // namespace
