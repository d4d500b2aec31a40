// Mapping-pair decoding, validation and the run list's lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CNTFSRunList.h"
#include "IScanStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<NTFSRun> Runs(const CNTFSRunList& list) {
  return {list.begin(), list.end()};
}

bool Parse(CNTFSRunList& list, const Bytes& pairs) {
  return list.Parse(pairs.data(), static_cast<int>(pairs.size()));
}

TEST(NTFSRunList, DecodesRunsWithNegativeOffsets) {
  CNTFSRunList list;
  ASSERT_TRUE(Parse(list, {0x21, 0x18, 0x34, 0x56, 0x11, 0x10, 0xF0, 0x00}));
  auto runs = Runs(list);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].firstLCN, 0x5634u);
  EXPECT_EQ(runs[0].firstVCN, 0u);
  EXPECT_EQ(runs[0].length, 0x18u);
  EXPECT_EQ(runs[1].firstLCN, 0x5624u);
  EXPECT_EQ(runs[1].firstVCN, 0x18u);
  EXPECT_EQ(runs[1].length, 0x10u);
  EXPECT_EQ(list.GetClusterCount(), 0x28u);
}

TEST(NTFSRunList, SparseRunKeepsRunningLCN) {
  CNTFSRunList list;
  ASSERT_TRUE(Parse(list, {0x11, 0x08, 0x40, 0x01, 0x08, 0x11, 0x04, 0x10, 0x00}));
  auto runs = Runs(list);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].firstLCN, kNTFSSparseLCN);
  EXPECT_EQ(runs[1].firstVCN, 8u);
  EXPECT_EQ(runs[2].firstLCN, 0x50u);
  EXPECT_EQ(runs[2].firstVCN, 16u);
  EXPECT_EQ(list.VCNToLCN(10), -1);  // inside the sparse run
  EXPECT_EQ(list.VCNToLCN(17), 0x51);
  EXPECT_EQ(list.LCNToVCN(0x41), 1);
}

// Offsets are signed numbers of their own width; lengths are unsigned; both
// may take up to 8 bytes.
TEST(NTFSRunList, OffsetSignBoundaries) {
  struct Case {
    Bytes offset;
    int64_t delta;
  } cases[] = {
      {{0x80}, -128},
      {{0x7F}, 127},
      {{0xFF, 0xFF}, -1},
      {{0x00, 0x80}, -32768},
      {{0x00, 0x00, 0x80}, -8388608},
      {{0xFF, 0xFF, 0x7F}, 8388607},
      {{0x00, 0x00, 0x00, 0x80}, INT32_MIN},
      {{0x00, 0x00, 0x00, 0x00, 0x01}, int64_t(1) << 32},
      {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}, int64_t(1) << 62},
  };
  for (const Case& c : cases) {
    // A first run at 2^62 + 2^40 leaves room to go down by any of the deltas.
    const int64_t base = (int64_t(1) << 62) - (int64_t(1) << 40);
    Bytes pairs = {0x81, 0x01};
    for (int i = 0; i < 8; ++i) pairs.push_back(static_cast<uint8_t>(base >> (8 * i)));
    pairs.push_back(static_cast<uint8_t>(0x01 | (c.offset.size() << 4)));
    pairs.push_back(0x01);
    pairs.insert(pairs.end(), c.offset.begin(), c.offset.end());
    pairs.push_back(0);
    CNTFSRunList list;
    const bool fits = base + c.delta >= 0;
    ASSERT_EQ(Parse(list, pairs), fits) << c.delta;
    if (!fits) continue;
    auto runs = Runs(list);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(static_cast<int64_t>(runs[1].firstLCN), base + c.delta) << c.delta;
  }
}

TEST(NTFSRunList, ValidationTable) {
  struct Case {
    Bytes pairs;
    int length;  // -1: the size of the pairs
    bool valid;
    const char* what;
  } cases[] = {
      {{0x00}, -1, true, "lone terminator"},
      {{0x11, 0x08, 0x40, 0x00}, -1, true, "one run"},
      {{0x11, 0x08, 0x40, 0x00}, 3, false, "terminator past the length"},
      {{0x11, 0x08, 0x40}, -1, false, "no terminator"},
      {{0x11, 0x08}, -1, false, "offset field cut off"},
      {{0x15, 1, 0, 0, 0, 0, 0x10, 0x00}, -1, true, "5-byte length"},
      {{0x19, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x00}, -1, false, "9-byte length"},
      {{0x91, 0x01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}, -1, false, "9-byte offset"},
      {{0xF1, 0x01, 0x00}, -1, false, "header 0xF1"},
      {{0x10, 0x05, 0x00}, -1, false, "missing length field"},
      {{0x11, 0x08, 0x80, 0x00}, -1, false, "LCN below zero"},
      {{0x08, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}, -1, false, "negative length"},
      {{0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x01, 0x00}, -1, false, "VCN past 2^63"},
      {{}, 0, false, "no bytes"},
  };
  for (const Case& c : cases) {
    const int length = c.length < 0 ? static_cast<int>(c.pairs.size()) : c.length;
    EXPECT_EQ(ValidateMappingPairs(c.pairs.data(), length), c.valid) << c.what;
    EXPECT_EQ(SumMappingPairsLength(c.pairs.data(), length) >= 0, c.valid) << c.what;
    CNTFSRunList list;
    list.Append({1, 2, 3});
    EXPECT_EQ(list.AppendParsed(c.pairs.data(), length, 100), c.valid) << c.what;
    if (!c.valid) {
      EXPECT_EQ(list.GetCount(), 1u) << c.what;
    }
  }
}

// The unvalidated decoder keeps the well-formed runs and never reads past
// the pairs it was given.
TEST(NTFSRunList, DecoderStopsAtMalformedEntry) {
  Bytes pairs = {0x11, 0x04, 0x20, 0x1F, 0x01};  // second entry announces 1+1+15 bytes
  CNTFSRunList list;
  DecodeMappingPairs(pairs.data(), static_cast<int>(pairs.size()), list);
  ASSERT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(list.Begin()->firstLCN, 0x20u);
}

TEST(NTFSRunList, SumKeepsLargeLengths) {
  // 0x1'0000'0000 clusters and one more: the sum needs more than 32 bits.
  Bytes pairs = {0x15, 0, 0, 0, 0, 1, 0x10, 0x11, 0x01, 0x01, 0x00};
  EXPECT_EQ(SumMappingPairsLength(pairs.data(), static_cast<int>(pairs.size())), (int64_t(1) << 32) + 1);
}

TEST(NTFSRunList, LookupsAtTheEdges) {
  CNTFSRunList list;
  EXPECT_EQ(list.LCNToVCN(0), -1);
  EXPECT_EQ(list.VCNToLCN(0), -1);
  ASSERT_TRUE(Parse(list, {0x21, 0x18, 0x34, 0x56, 0x11, 0x10, 0xF0, 0x00}));
  EXPECT_EQ(list.VCNToLCN(0), 0x5634);
  EXPECT_EQ(list.VCNToLCN(0x17), 0x5634 + 0x17);
  EXPECT_EQ(list.VCNToLCN(0x18), 0x5624);
  EXPECT_EQ(list.VCNToLCN(0x28), -1);  // just past the last run
  EXPECT_EQ(list.LCNToVCN(0x5624 + 0xF), 0x18 + 0xF);
  EXPECT_EQ(list.LCNToVCN(0x5634 + 0x18), -1);
  EXPECT_TRUE(list.ContainsLCN(0x5634));
  EXPECT_FALSE(list.ContainsLCN(0x5623));
}

TEST(NTFSRunList, AppendParsedJoinsExtentsAndSortOrdersThem) {
  CNTFSRunList list;
  const Bytes second = {0x11, 0x10, 0x50, 0x00};
  const Bytes first = {0x11, 0x08, 0x20, 0x00};
  ASSERT_TRUE(list.AppendParsed(second.data(), 4, 8));
  ASSERT_TRUE(list.AppendParsed(first.data(), 4, 0));
  list.Sort();
  auto runs = Runs(list);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].firstVCN, 0u);
  EXPECT_EQ(runs[1].firstVCN, 8u);
  EXPECT_EQ(list.VCNToLCN(9), 0x51);

  CNTFSRunList copy;
  list.CopyTo(copy);
  EXPECT_TRUE(copy.IsEqual(list));
  copy.Append({1, 24, 1});
  EXPECT_FALSE(copy.IsEqual(list));
}

class MemoryStream : public IScanStream {
 public:
  int Read(void* buffer, uint32_t bytes) override {
    if (m_pos + bytes > m_data.size()) return 0;
    std::memcpy(buffer, m_data.data() + m_pos, bytes);
    m_pos += bytes;
    return 1;
  }
  int Write(const void* buffer, uint32_t bytes) override {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    m_data.insert(m_data.end(), p, p + bytes);
    return 1;
  }
  Bytes m_data;
  size_t m_pos = 0;
};

TEST(NTFSRunList, SaveAndLoadRoundTrip) {
  CNTFSRunList list;
  ASSERT_TRUE(Parse(list, {0x11, 0x08, 0x40, 0x01, 0x08, 0x11, 0x04, 0x10, 0x00}));
  MemoryStream stream;
  ASSERT_TRUE(list.Save(stream));
  ASSERT_EQ(stream.m_data.size(), 8u + 3 * 24);
  EXPECT_EQ(stream.m_data[0], 3);
  EXPECT_EQ(stream.m_data[8], 0x40);  // first LCN of the first run comes first
  CNTFSRunList loaded;
  ASSERT_TRUE(loaded.Load(stream));
  EXPECT_TRUE(loaded.IsEqual(list));

  // A stream cut short, or one announcing an absurd count, loads nothing.
  MemoryStream cut;
  cut.m_data.assign(stream.m_data.begin(), stream.m_data.end() - 1);
  CNTFSRunList partial;
  EXPECT_FALSE(partial.Load(cut));
  EXPECT_TRUE(partial.IsEmpty());
  MemoryStream huge;
  huge.m_data.assign(8, 0xFF);
  EXPECT_FALSE(partial.Load(huge));
}

}  // namespace
