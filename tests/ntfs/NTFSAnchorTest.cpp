// The anchor collections on synthetic sector streams: template matches and
// their counting, restart-page pairings, a log page cut by a block's end,
// and the system-record tracker's flush and confirmation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "CNTFSFileRecord.h"
#include "CNTFSRestartPageCollection.h"
#include "CNTFSSystemRecordTracker.h"
#include "CNTFSTemplateMatcher.h"
#include "NTFSRecordRuns.h"
#include "RecordBuilder.h"

namespace {

using namespace ntfstest;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kDevice = 100000;

// A system record named `name` whose unnamed $DATA is `clusters` clusters
// of 4096 bytes at `lcn` (one-byte fields).
Bytes SystemRecord(uint32_t number, const std::u16string& name, uint8_t lcn, uint8_t clusters, uint64_t dataSize = 0) {
  RecordBuilder b(1024, number);
  b.StandardInformation(0x6);
  b.FileName(name);
  b.NonResident(0x80, {0x11, clusters, lcn, 0x00}, 0, clusters - 1u, dataSize ? dataSize : clusters * 4096u);
  return b.Finish();
}

// A 4096-byte page with `magic`, its update sequence at `usa` and fixups.
Bytes Page(const char* magic, uint16_t usa) {
  Bytes p(4096, 0);
  std::memcpy(p.data(), magic, 4);
  Put16(p, 4, usa);
  Put16(p, 6, 9);
  if (std::strcmp(magic, "RSTR") == 0)
    for (int i = 0; i < 4; ++i) Put16(p, 0x90 + 2 * i, u"NTFS"[i]);
  Put16(p, usa, 3);
  for (int k = 0; k < 8; ++k) Put16(p, 512 * k + 510, 3);
  return p;
}

struct Collections {
  Collections() : updater(&map, kDevice), restart(&map, &updater, 512), tracker(&lists, &map, &updater, 512) {
    SetNTFSEngineSectorSize(512);
    restart.SetDeviceSectors(kDevice);
    tracker.SetDeviceSectors(kDevice);
  }
  std::vector<std::pair<int64_t, uint32_t>> Candidates() const {
    std::vector<std::pair<int64_t, uint32_t>> out;
    for (const auto& [key, c] : map) out.emplace_back(key.start, c->GetStateFlags());
    return out;
  }
  NTFSCandidateMap map;
  CNTFSCandidateFlagUpdater updater;
  NTFSSystemRecordLists lists;
  CNTFSRestartPageCollection restart;
  CNTFSSystemRecordTracker tracker;
};

using Candidates = std::vector<std::pair<int64_t, uint32_t>>;

TEST(NTFSTemplateMatch, SectorsMatchByContentAndRunsCount) {
  CNTFSUpCaseMatcher upCase;
  Bytes sector(GetUpCaseTemplateSector(3), GetUpCaseTemplateSector(3) + 512);
  EXPECT_TRUE(upCase.MatchSector(100, sector.data()));
  sector[1] = 2;  // names sector 2, whose bytes differ
  EXPECT_FALSE(upCase.MatchSector(101, sector.data()));
  sector[1] = 7;
  EXPECT_FALSE(upCase.MatchSector(102, sector.data()));
  CNTFSAttrDefMatcher attrDef;
  EXPECT_TRUE(attrDef.MatchSector(5, GetAttrDefTemplateSector(4)));
  EXPECT_FALSE(attrDef.MatchSector(6, GetUpCaseTemplateSector(0)));

  CNTFSTemplateMatchList list;
  for (uint64_t s = 1000; s < 1010; ++s) list.AddMatch(s);
  list.AddMatch(1020);
  ASSERT_EQ(list.GetRuns().size(), 2u);
  EXPECT_EQ(list.GetRuns().front().count, 10u);

  struct Case {
    const char* what;
    NTFSRun run;  // LCN, VCN, length; clusters of 2 units from unit 0
    uint64_t count;
  } cases[] = {
      {"run inside a match run", {501, 0, 2}, 4},
      {"both match runs inside the run", {490, 0, 21}, 11},
      {"run ends right before the matches", {495, 0, 5}, 0},
      {"run starts inside and ends after", {505, 0, 10}, 1},
      {"run starts before, ends inside", {498, 0, 4}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CNTFSRunList runs;
    runs.Append(c.run);
    EXPECT_EQ(list.CountMatches(runs, 0, 2), c.count);
  }
}

TEST(NTFSRestartPages, PairingsMakeAndSettleCandidates) {
  const Bytes log = SystemRecord(2, u"$LogFile", 10, 8);  // $LogFile at LCN 10, 8 sectors per cluster
  const Bytes page = Page("RSTR", 30);
  struct Case {
    const char* what;
    std::function<void(Collections&)> feed;
    Candidates expected;
  } cases[] = {
      {"record, then pages at S and S + 8",
       [&](Collections& c) {
         c.restart.AddLogFileRecord(1004, log.data(), 1024);
         c.restart.AnalyzeRSTRRecord(1048, page.data(), 4096);
         c.restart.AnalyzeRSTRRecord(1056, page.data(), 4096);
       },
       {{960, kNTFSSecondRestartPageFlag}, {968, kNTFSBothRestartPagesFlags}}},
      {"pages first, then the record: one candidate with both flags",
       [&](Collections& c) {
         c.restart.AnalyzeRSTRRecord(1048, page.data(), 4096);
         c.restart.AnalyzeRSTRRecord(1056, page.data(), 4096);
         c.restart.AddLogFileRecord(1004, log.data(), 1024);
       },
       {{968, kNTFSBothRestartPagesFlags}}},
      {"a single page: first-page and second-page guesses",
       [&](Collections& c) {
         c.restart.AddLogFileRecord(1004, log.data(), 1024);
         c.restart.AnalyzeRSTRRecord(1048, page.data(), 4096);
       },
       {{960, kNTFSSecondRestartPageFlag}, {968, kNTFSFirstRestartPageFlag}}},
      {"a page that is 3 bytes short is no page",
       [&](Collections& c) {
         c.restart.AddLogFileRecord(1004, log.data(), 1024);
         c.restart.AnalyzeRSTRRecord(1048, page.data(), 4093);
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Collections collections;
    c.feed(collections);
    EXPECT_EQ(collections.Candidates(), c.expected);
  }
}

TEST(NTFSRestartPages, LogPageCutByTheBlockEndIsJoined) {
  const Bytes rcrd = Page("RCRD", 40);
  Bytes disk(32 * 512, 0);
  std::copy(rcrd.begin(), rcrd.end(), disk.begin() + 12 * 512);  // sectors 12-19
  std::copy(rcrd.begin(), rcrd.end(), disk.begin() + 20 * 512);  // sectors 20-27
  Collections c;
  c.restart.EndBlock(disk.data(), 2000, 16);
  EXPECT_TRUE(c.restart.GetLogPages().GetRuns().empty());
  c.restart.EndBlock(disk.data() + 16 * 512, 2016, 16);
  ASSERT_EQ(c.restart.GetLogPages().GetRuns().size(), 1u);
  EXPECT_EQ(c.restart.GetLogPages().GetRuns().front().first, 2012u);
  EXPECT_EQ(c.restart.GetLogPages().GetRuns().front().count, 16u);

  // A block that does not continue the held sectors drops them.
  Collections other;
  other.restart.EndBlock(disk.data(), 2000, 16);
  other.restart.EndBlock(disk.data() + 16 * 512, 3000, 16);
  ASSERT_EQ(other.restart.GetLogPages().GetRuns().size(), 1u);
  EXPECT_EQ(other.restart.GetLogPages().GetRuns().front().first, 3004u);  // only the whole page in block two
}

TEST(NTFSSystemRecords, RunFlushedAtItsEighteenthSectorAndConfirmedByTheMirror) {
  // $MFT at sector 1000 (its data at LCN 4, 8 sectors per cluster: start
  // 968), $MFTMirr's data at LCN 100, $Bitmap of 128 bytes: 1024 clusters.
  const Bytes mft = SystemRecord(0, u"$MFT", 4, 16);
  const Bytes mirr = SystemRecord(1, u"$MFTMirr", 100, 1);
  const Bytes bitmap = SystemRecord(6, u"$Bitmap", 50, 1, 128);
  RecordBuilder plain(1024, 40);
  plain.StandardInformation(0);
  plain.FileName(u"plain.txt");
  const Bytes other = plain.Finish();
  const Bytes empty(1024, 0);
  auto add = [](Collections& c, uint64_t sector, const Bytes& bytes) {
    CNTFSFileRecord view(bytes.data(), 1024, false);
    return c.tracker.AddRecord(sector, view);
  };

  Collections c;
  EXPECT_EQ(add(c, 1000, mft), 1);
  EXPECT_EQ(add(c, 1001, empty), 0);  // second half of record 0
  EXPECT_EQ(add(c, 1002, mirr), 1);
  EXPECT_EQ(add(c, 1012, bitmap), 1);
  EXPECT_TRUE(c.map.empty());
  add(c, 1018, other);  // record 9 is not a system record: the run ends
  ASSERT_EQ(c.Candidates(), (Candidates{{968, kNTFSMFTFlag}}));
  const CSearchedNTFSPartitionInfo& found = *c.map.begin()->second;
  EXPECT_EQ(found.GetMFTSector(), 1000u);
  EXPECT_EQ(found.GetClusterCount(), 1024u);
  EXPECT_EQ(found.GetSectorCount(), 8192u);
  EXPECT_EQ(found.GetBitmapSize(), 8192);
  EXPECT_EQ(c.lists.pairs.size(), 1u);
  EXPECT_EQ(c.lists.analyzers.size(), 1u);

  // The copy of records 0 and 1 in the $MFTMirr area (968 + 100 x 8).
  EXPECT_EQ(add(c, 1768, mft), 1);
  EXPECT_EQ(add(c, 1770, mirr), 1);
  add(c, 1772, empty);
  EXPECT_EQ(c.Candidates(), (Candidates{{968, kNTFSMFTConfirmedFlag}}));
  EXPECT_EQ(c.lists.mfts.size(), 2u);
}

}  // namespace
