#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CExt2DataRunList.h"
#include "CFATDataRunList.h"
#include "CMemoryScanStream.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CPackedDataRuns.h"
#include "CRAWDataRunList.h"
#include "CResidentNTFSDataRunList.h"
#include "ScanStreamIO.h"

namespace {

std::vector<DataRun> RunsOf(const IDataRunList& list) {
  return {list.Runs().begin(), list.Runs().end()};
}

constexpr uint64_t kSparse = DataRun::kSparseStart;

TEST(PackedDataRuns, MappingPairExampleEncodesAndDecodes) {
  CNoneResidentNTFSDataRunList list;
  list.AddRun({100, 8});
  list.AddRun({kSparse, 4});
  list.AddRun({90, 2});
  std::unique_ptr<CPackedDataRuns> packed(PackDataRunList(&list));
  ASSERT_TRUE(packed);
  const std::vector<uint8_t> expected = {0x11, 0x08, 0x64, 0x01, 0x04, 0x11, 0x02, 0xF6, 0x00};
  EXPECT_EQ(packed->bytes, expected);
  EXPECT_EQ(packed->GetEncodedLength(), 9);
  std::unique_ptr<IDataRunList> back(packed->Unpack());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->GetKind(), EDataRunKind::NTFSNonResident);
  EXPECT_EQ(RunsOf(*back), (std::vector<DataRun>{{100, 8}, {kSparse, 4}, {90, 2}}));
}

TEST(PackedDataRuns, ValueWidthsAtSignBoundaries) {
  const struct {
    int64_t value;
    int bytes;
  } cases[] = {{0, 1},
               {127, 1},
               {128, 2},
               {-128, 1},
               {-129, 2},
               {32767, 2},
               {32768, 3},
               {-8388608, 3},
               {-8388609, 4},
               {INT64_MAX, 8},
               {INT64_MIN, 8},
               {(int64_t(1) << 55) - 1, 7},
               {int64_t(1) << 55, 8}};
  for (const auto& c : cases) EXPECT_EQ(PackedValueBytes(c.value), c.bytes) << c.value;
}

TEST(PackedDataRuns, NegativeOffsetsRoundTrip) {
  // Second run 8,388,608 clusters before the first: a 3-byte offset 00 00 80.
  CFATDataRunList list;
  list.AppendMerged({8388608 + 50, 1});
  list.AppendMerged({50, 1});
  std::unique_ptr<CPackedDataRuns> packed(PackDataRunList(&list));
  ASSERT_TRUE(packed);
  const std::vector<uint8_t> second(packed->bytes.begin() + 6, packed->bytes.end());
  EXPECT_EQ(second, (std::vector<uint8_t>{0x31, 0x01, 0x00, 0x00, 0x80, 0x00}));
  std::unique_ptr<IDataRunList> back(packed->Unpack());
  EXPECT_EQ(RunsOf(*back), (std::vector<DataRun>{{8388658, 1}, {50, 1}}));
}

TEST(PackedDataRuns, ListKindsPackAndUnpack) {
  CFATDataRunList fat;
  fat.AppendMerged({5, 3});
  std::unique_ptr<CPackedDataRuns> packed(PackDataRunList(&fat));
  std::unique_ptr<IDataRunList> back(packed->Unpack());
  EXPECT_EQ(back->GetKind(), EDataRunKind::NTFSNonResident);
  EXPECT_EQ(RunsOf(*back), (std::vector<DataRun>{{5, 3}}));

  CResidentNTFSDataRunList resident;
  resident.SetRun(4000, 1, 0x98);
  packed.reset(PackDataRunList(&resident));
  back.reset(packed->Unpack());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->GetKind(), EDataRunKind::NTFSResident);
  EXPECT_EQ(back->GetResidentValue(), 0x98);
  EXPECT_EQ(RunsOf(*back), (std::vector<DataRun>{{4000, 1}}));

  CRAWDataRunList empty;
  EXPECT_EQ(PackDataRunList(&empty), nullptr);
  EXPECT_EQ(PackDataRunList(nullptr), nullptr);
}

TEST(DataRunList, MergingRules) {
  // Ext2: holes merge only with holes; block 0 is a block like any other,
  // and a hole whose start + length wraps onto a block never takes it.
  CExt2DataRunList ext2;
  for (const DataRun& r :
       std::vector<DataRun>{{0, 3}, {0, 2}, {kSparse, 2}, {kSparse, 1}, {2, 1}, {10, 2}, {12, 1}, {kSparse, 1}, {0, 1}})
    ext2.AddExtent(r);
  EXPECT_EQ(RunsOf(ext2), (std::vector<DataRun>{{0, 3}, {0, 2}, {kSparse, 3}, {2, 1}, {10, 3}, {kSparse, 1}, {0, 1}}));
  CFATDataRunList fat;
  fat.AppendMerged({kSparse, 3});
  fat.AppendMerged({kSparse, 2});
  fat.AppendMerged({7, 1});
  fat.AppendMerged({8, 1});
  EXPECT_EQ(RunsOf(fat), (std::vector<DataRun>{{kSparse, 3}, {kSparse, 2}, {7, 2}}));
  // Cursor.
  EXPECT_EQ(fat.First()->length, 3u);
  EXPECT_EQ(fat.Next()->length, 2u);
  EXPECT_EQ(fat.Next()->start, 7u);
  EXPECT_EQ(fat.Next(), nullptr);
  EXPECT_TRUE(fat.IsEnd());
}

TEST(DataRunList, SavedListsRoundTripAndRefuseShortStreams) {
  CResidentNTFSDataRunList resident;
  resident.SetRun(4000, 1, 0x98);
  CMemoryScanStream s;
  ASSERT_TRUE(resident.Save(&s));
  EXPECT_EQ(s.Bytes().size(), 4u + 16u + 4u);
  CResidentNTFSDataRunList loaded;
  ASSERT_TRUE(loaded.Load(&s));
  EXPECT_EQ(RunsOf(loaded), RunsOf(resident));
  EXPECT_EQ(loaded.GetResidentValue(), 0x98);

  // A count far beyond the bytes: refused, nothing appended.
  CMemoryScanStream huge;
  StreamWriteU32(&huge, 0xFFFFFFFF);
  StreamWriteU64(&huge, 1);
  StreamWriteU64(&huge, 2);
  CRAWDataRunList raw;
  EXPECT_FALSE(raw.Load(&huge));
  EXPECT_EQ(raw.GetRunCount(), 0u);
}

TEST(PackedDataRuns, SavedFormDecodesOnlyWithinItsLength) {
  CRAWDataRunList list;
  list.AddRun(100, 8);
  std::unique_ptr<CPackedDataRuns> packed(PackDataRunList(&list));
  CMemoryScanStream s;
  ASSERT_TRUE(packed->Save(&s));
  ASSERT_EQ(s.Bytes().size(), 4u + 4u + 2u);
  std::unique_ptr<CPackedDataRuns> loaded(LoadPackedDataRuns(&s));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->bytes, packed->bytes);

  // Saved bytes without a terminator whose header claims more than is there.
  const uint8_t damaged[] = {3, 0, 0, 0, 0x44, 0x01, 0x02, 0, 0};
  CMemoryScanStream d(damaged, sizeof damaged);
  loaded.reset(LoadPackedDataRuns(&d));
  ASSERT_TRUE(loaded);
  EXPECT_LE(loaded->GetEncodedLength(), 3);
  std::unique_ptr<IDataRunList> runs(loaded->Unpack());
  ASSERT_TRUE(runs);
  EXPECT_EQ(runs->GetRunCount(), 0u);

  // Truncated: a length of 4 GiB with two bytes behind it.
  const uint8_t truncated[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x11, 0x01};
  CMemoryScanStream t(truncated, sizeof truncated);
  EXPECT_EQ(LoadPackedDataRuns(&t), nullptr);
  EXPECT_EQ(LoadPackedDataRuns(nullptr), nullptr);
}

}  // namespace
