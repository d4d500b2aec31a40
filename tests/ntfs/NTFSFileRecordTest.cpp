// FILE records: header test, fixups, attribute walks, damaged records,
// system files, runs of $DATA and the volume label.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "CNTFSFileRecordFileNameAttribute.h"
#include "CNTFSVolumeNameReader.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "RecordBuilder.h"

using namespace ntfstest;
using Bytes = std::vector<uint8_t>;

namespace {

// A plain file: standard information, a DOS and a Win32 name, a $DATA of
// 0x18 + 0x10 clusters and a named stream.
Bytes FileRecord(size_t* dataAt = nullptr) {
  RecordBuilder b;
  b.StandardInformation(0x20);
  b.FileName(u"REPORT~1.TXT", 5, 2);
  b.FileName(u"report for 2026.txt", 5, 1);
  const size_t at = b.NonResident(0x80, {0x21, 0x18, 0x34, 0x56, 0x11, 0x10, 0xF0, 0x00}, 0, 0x27, 0x28 * 4096 - 100);
  if (dataAt) *dataAt = at;
  Bytes v(10, 'x');
  const size_t named = b.Resident(0x80, v);
  Bytes& raw = b.Raw();
  raw[named + 9] = 2;  // named "ab" at the value's place
  Put16(raw, named + 10, 24);
  return b.Finish();
}

bool Valid(const Bytes& record, int length = -1) {
  return IsValidFileRecord(record.data(), length < 0 ? static_cast<int>(record.size()) : length);
}

TEST(NTFSFileRecord, HeaderTestTable) {
  struct Case {
    uint16_t usaOffset, usaCount;
    uint32_t allocated;
    bool ok;
  } cases[] = {
      {48, 3, 1024, true},  {48, 4, 1024, false},  {48, 0, 1024, false}, {48, 3, 1536, false},
      {40, 3, 1024, false}, {258, 3, 1024, false}, {42, 3, 1024, true},  {256, 3, 1024, true},
      {48, 9, 4096, true},  {48, 17, 4096, false}, {48, 1, 0, true},     {48, 3, 8192, false},
  };
  for (const Case& c : cases) {
    Bytes r = FileRecord();
    Put16(r, 4, c.usaOffset);
    Put16(r, 6, c.usaCount);
    Put32(r, 28, c.allocated);
    EXPECT_EQ(IsFileRecordHeader(r.data()), c.ok) << c.usaOffset << " " << c.usaCount << " " << c.allocated;
  }
}

TEST(NTFSFileRecord, ValidityLeavesTheBufferAlone) {
  Bytes r = FileRecord();
  const Bytes before = r;
  EXPECT_TRUE(Valid(r));
  EXPECT_EQ(r, before);
  EXPECT_FALSE(Valid(r, 1023));
  Bytes bad = r;
  Put32(bad, 56 + 4, 0xFFFFFFF0);
  const Bytes badBefore = bad;
  EXPECT_FALSE(Valid(bad));
  EXPECT_EQ(bad, badBefore);
}

TEST(NTFSFileRecord, ViewReadsFixedCopyAndGivesBackStoredBytes) {
  // A $FILE_NAME that spans the end of the first stride is only readable once
  // the fixups are applied.
  RecordBuilder b;
  b.StandardInformation(0x20);
  b.Resident(0x40, Bytes(330, 0));  // pushes the next attribute near 510
  const size_t nameAt = b.FileName(u"spanning-the-sector-end.bin");
  ASSERT_LT(nameAt, 510u);
  ASSERT_GT(nameAt + 90 + 2 * 27, 512u);
  const Bytes stored = b.Finish(0xBEEF);
  Bytes caller = stored;

  for (bool copy : {false, true}) {
    CNTFSFileRecord view(caller.data(), 1024, copy);
    ASSERT_TRUE(view.IsValid());
    EXPECT_TRUE(view.AreFixupsApplied());
    EXPECT_NE(view.GetRecord(), caller.data());
    std::u16string name;
    const uint8_t* fn = view.FindAttribute(0x30, 0);
    ASSERT_TRUE(fn);
    ASSERT_TRUE(CNTFSFileRecordFileNameAttribute::GetName(fn, name));
    EXPECT_EQ(name, u"spanning-the-sector-end.bin");
    Bytes back;
    ASSERT_TRUE(view.CopyStoredRecord(back));
    EXPECT_EQ(back, stored);
    EXPECT_EQ(caller, stored);
  }

  // In place, apply and undo are exact inverses.
  Bytes fixed = stored;
  ASSERT_TRUE(ApplyFileRecordFixups(fixed.data(), 1024));
  EXPECT_NE(fixed, stored);
  ASSERT_TRUE(UndoFileRecordFixups(fixed.data(), 1024));
  EXPECT_EQ(fixed, stored);
}

TEST(NTFSFileRecord, TornRecordIsReadWithoutFixups) {
  Bytes r = FileRecord();
  Put16(r, 1022, 0x1111);  // second stride does not carry the sequence number
  EXPECT_FALSE(CheckFileRecordFixups(r.data(), 1024));
  EXPECT_FALSE(ApplyFileRecordFixups(r.data(), 1024));
  CNTFSFileRecord view(r.data(), 1024, false);
  ASSERT_TRUE(view.IsValid());
  EXPECT_FALSE(view.AreFixupsApplied());
  EXPECT_EQ(view.GetRecord(), r.data());
}

// An update sequence array over a stride's last word (or at an odd offset)
// is refused: applied in place it would overwrite itself.
TEST(NTFSFileRecord, SequenceArrayOverAStrideEndIsRefused) {
  for (const uint16_t offset : {uint16_t(511), uint16_t(508), uint16_t(49)}) {
    SCOPED_TRACE(offset);
    Bytes r = FileRecord();
    Put16(r, 4, offset);
    const Bytes before = r;
    EXPECT_FALSE(CheckFileRecordFixups(r.data(), 1024));
    EXPECT_FALSE(ApplyFileRecordFixups(r.data(), 1024));
    EXPECT_FALSE(UndoFileRecordFixups(r.data(), 1024));
    EXPECT_EQ(r, before);
  }
}

TEST(NTFSFileRecord, FourKiBRecordFixesEveryStride) {
  // Mapping pairs running from the first kilobyte past the third stride end
  // decode correctly only when every stride is fixed.
  RecordBuilder b(4096);
  b.StandardInformation(0x20);
  b.FileName(u"big");
  Bytes pairs;
  uint64_t clusters = 0;
  for (int i = 0; i < 500; ++i) {
    pairs.insert(pairs.end(), {0x11, 0x02, 0x03});
    clusters += 2;
  }
  pairs.push_back(0);
  b.NonResident(0x80, pairs, 0, clusters - 1, clusters * 4096);
  Bytes r = b.Finish();
  EXPECT_EQ(r[6], 9);
  CNTFSFileRecord view(r.data(), 4096, false);
  ASSERT_TRUE(view.IsValid());
  CNTFSRunList runs;
  uint64_t size = 0;
  ASSERT_TRUE(CollectDataRuns(view, runs, true, &size));
  EXPECT_EQ(runs.GetCount(), 500u);
  EXPECT_EQ(runs.VCNToLCN(999), 3 * 500 + 1);
  EXPECT_EQ(size, clusters * 4096);
}

TEST(NTFSFileRecord, WalksFindOrdinalsAndStopAtZeroLength) {
  const Bytes r = FileRecord();
  const uint8_t* second = FindAttributeInRecord(r.data(), 0x30, 1);
  ASSERT_TRUE(second);
  EXPECT_TRUE(CNTFSFileRecordFileNameAttribute::IsName(second, u"report for 2026.txt"));
  EXPECT_EQ(CNTFSFileRecordFileNameAttribute::GetNamespace(second), 1);
  EXPECT_EQ(CNTFSFileRecordFileNameAttribute::GetParentReference(second), 5u);
  EXPECT_EQ(FindAttributeInRecord(r.data(), 0x30, 2), nullptr);
  EXPECT_EQ(CountAttributes(r.data(), 0x80), 2);
  EXPECT_FALSE(HasAttributeList(r.data()));

  Bytes cut = r;
  const int dataAt = FindAttributeOffset(cut.data(), 0x80, 0);
  Put32(cut, dataAt + 4, 0);
  EXPECT_EQ(FindAttributeInRecord(cut.data(), 0x80, 0), nullptr);
  EXPECT_EQ(CountAttributes(cut.data(), 0x30), 2);
  EXPECT_TRUE(Valid(cut));  // a zero length ends the list
}

// Large folders keep attributes past the first kilobyte of 4 KiB records.
TEST(NTFSFileRecord, FourKiBRecordsAreWalkedToTheirEnd) {
  RecordBuilder b(4096);
  b.StandardInformation(0x20);
  b.Resident(0x90, Bytes(1000, 0));
  ASSERT_GE(b.Next(), 1016u);
  b.FileName(u"late");
  b.NonResident(0x80, {0x11, 0x04, 0x30, 0x00}, 0, 3, 4 * 4096);
  Bytes r = b.Finish();
  CNTFSFileRecord view(r.data(), 4096, false);
  ASSERT_TRUE(view.IsValid());
  const uint8_t* name = view.FindAttribute(0x30, 0);
  ASSERT_TRUE(name);
  EXPECT_TRUE(CNTFSFileRecordFileNameAttribute::IsName(name, u"late"));
  CNTFSRunList runs;
  ASSERT_TRUE(CollectDataRuns(view, runs, true, nullptr));
  EXPECT_EQ(runs.VCNToLCN(3), 0x33);

  // Damage past the first kilobyte is seen too.
  Bytes bad = r;
  const int at = FindAttributeOffset(view.GetRecord(), 0x30, 0, 4096);
  Put16(bad, at + 90, u'*');
  EXPECT_FALSE(IsValidFileRecord(bad.data(), 4096));
}

// Every damaged record is refused, without reading outside its buffer.
TEST(NTFSFileRecord, DamagedRecordTable) {
  size_t dataAt = 0;
  const Bytes good = FileRecord(&dataAt);
  // $STANDARD_INFORMATION at 56 (72 bytes), the first $FILE_NAME at 128.
  struct Case {
    const char* what;
    void (*damage)(Bytes&, size_t dataAt);
    int length;
  } cases[] = {
      {"zeroed", [](Bytes& r, size_t) { std::fill(r.begin(), r.end(), 0); }, 1024},
      {"truncated", [](Bytes&, size_t) {}, 1000},
      {"bad magic", [](Bytes& r, size_t) { r[0] = 'B'; }, 1024},
      {"sequence array past the record", [](Bytes& r, size_t) { Put16(r, 4, 300); }, 1024},
      {"huge attribute length", [](Bytes& r, size_t) { Put32(r, 56 + 4, 0xFFFFFFF8); }, 1024},
      {"attribute past the record", [](Bytes& r, size_t) { Put32(r, 56 + 4, 1000); }, 1024},
      {"attribute shorter than its header", [](Bytes& r, size_t) { Put32(r, 56 + 4, 8); }, 1024},
      {"value past the attribute", [](Bytes& r, size_t) { Put32(r, 56 + 16, 0x1000); }, 1024},
      {"value offset past the attribute", [](Bytes& r, size_t) { Put16(r, 56 + 20, 0xFFF0); }, 1024},
      {"attribute name past the attribute",
       [](Bytes& r, size_t) {
         r[56 + 9] = 200;
         Put16(r, 56 + 10, 24);
       },
       1024},
      {"file name past its attribute", [](Bytes& r, size_t) { r[56 + 72 + 88] = 250; }, 1024},
      {"file name with a colon", [](Bytes& r, size_t) { Put16(r, 56 + 72 + 90 + 2, u':'); }, 1024},
      {"file name with a question mark", [](Bytes& r, size_t) { Put16(r, 56 + 72 + 90, u'?'); }, 1024},
      {"mapping pairs offset past the attribute", [](Bytes& r, size_t at) { Put16(r, at + 32, 0x7FFF); }, 1024},
      {"overlong mapping pair", [](Bytes& r, size_t at) { r[at + 64] = 0x9F; }, 1024},
      {"mapping pairs without terminator",
       [](Bytes& r, size_t at) {
         for (size_t i = at + 64; i < at + 72; ++i) r[i] = 0x11;
       },
       1024},
  };
  for (const Case& c : cases) {
    Bytes r = good;
    c.damage(r, dataAt);
    EXPECT_FALSE(IsValidFileRecord(r.data(), c.length)) << c.what;
    CNTFSFileRecord view(r.data(), c.length, false);
    EXPECT_FALSE(view.IsValid()) << c.what;
    CNTFSRunList runs;
    EXPECT_FALSE(CollectDataRunsFromBuffer(r.data(), c.length, runs, true, nullptr)) << c.what;
    EXPECT_TRUE(runs.IsEmpty()) << c.what;
    // The walks never hand out an attribute that leaves the record.
    for (uint32_t type : {0x10u, 0x30u, 0x80u}) {
      const int at = FindAttributeOffset(r.data(), type, 0, c.length);
      if (at >= 0) {
        EXPECT_LE(at + CNTFSFileRecordAttribute::GetLength(r.data() + at), static_cast<uint32_t>(c.length)) << c.what;
      }
    }
  }
}

TEST(NTFSFileRecord, CollectDataRunsRules) {
  const Bytes r = FileRecord();
  CNTFSRunList runs;
  uint64_t size = 0;
  ASSERT_TRUE(CollectDataRunsFromBuffer(r.data(), 1024, runs, true, &size));
  EXPECT_EQ(runs.GetCount(), 2u);  // the named stream is skipped
  EXPECT_EQ(size, 0x28u * 4096 - 100);

  // A last VCN that disagrees with the pairs fails the check only.
  RecordBuilder b;
  b.StandardInformation(0x20);
  b.FileName(u"a");
  b.NonResident(0x80, {0x11, 0x08, 0x40, 0x00}, 0, 99, 8 * 4096);
  const Bytes mismatch = b.Finish();
  runs.Clear();
  EXPECT_FALSE(CollectDataRunsFromBuffer(mismatch.data(), 1024, runs, true, nullptr));
  runs.Clear();
  EXPECT_TRUE(CollectDataRunsFromBuffer(mismatch.data(), 1024, runs, false, nullptr));

  // A resident unnamed $DATA has no runs.
  RecordBuilder small;
  small.StandardInformation(0x20);
  small.FileName(u"a");
  small.Resident(0x80, Bytes(5, 'z'));
  const Bytes resident = small.Finish();
  runs.Clear();
  EXPECT_FALSE(CollectDataRunsFromBuffer(resident.data(), 1024, runs, false, nullptr));

  // An extension extent starting at VCN 8 lands at VCN 8.
  RecordBuilder ext;
  ext.NonResident(0x80, {0x11, 0x04, 0x30, 0x00}, 8, 11, 0);
  const Bytes extent = ext.Finish();
  runs.Clear();
  size = 77;
  ASSERT_TRUE(CollectDataRunsFromBuffer(extent.data(), 1024, runs, true, &size));
  EXPECT_EQ(runs.Begin()->firstVCN, 8u);
  EXPECT_EQ(size, 77u);  // only the extent at VCN 0 gives the size
}

TEST(NTFSFileRecord, ClusterSizeInference) {
  struct Case {
    int in, out;
  } factors[] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {5, 8}, {16, 16}, {17, 32}, {128, 128}, {129, 0}, {-4, 0}};
  for (const Case& c : factors) EXPECT_EQ(RoundUpToClusterFactor(c.in), c.out) << c.in;
  EXPECT_EQ(InferSectorsPerCluster(8 * 4096, 8), 8);
  EXPECT_EQ(InferSectorsPerCluster(5000, 2), 8);
  EXPECT_EQ(InferSectorsPerCluster(4096, 0), 0);

  const Bytes r = FileRecord();
  uint8_t spc = 0;
  ASSERT_TRUE(InferRecordSectorsPerCluster(r.data(), spc));
  EXPECT_EQ(spc, 8);
  CNTFSFileRecord view(r.data(), 1024, false);
  const uint8_t* data = view.FindAttribute(0x80, 0);
  EXPECT_EQ(CNTFSFileRecordDataRunsAttribute::GetClusterCount(data), 0x28);
  EXPECT_EQ(CNTFSFileRecordDataRunsAttribute::InferSectorsPerCluster(data), 8);
}

TEST(NTFSFileRecord, SystemFiles) {
  const Bytes volume = VolumeRecord(nullptr);
  EXPECT_TRUE(IsVolumeRecord(volume.data()));
  EXPECT_FALSE(IsMFTRecord(volume.data()));
  const Bytes notHidden = VolumeRecord(nullptr, 0x4);
  EXPECT_FALSE(IsVolumeRecord(notHidden.data()));

  RecordBuilder quota(1024, 24);
  quota.StandardInformation(0x6);
  quota.FileName(u"$Quota");
  const Bytes q = quota.Finish();
  CNTFSFileRecord view(q.data(), 1024, false);
  EXPECT_EQ(GetSystemFileIndex(view), 32);
  EXPECT_TRUE(IsSystemFileRecord(view));

  const Bytes plain = FileRecord();
  CNTFSFileRecord plainView(plain.data(), 1024, false);
  EXPECT_EQ(GetSystemFileIndex(plainView), -1);
  EXPECT_FALSE(IsSystemFileRecord(plainView));
}

TEST(NTFSFileRecord, VolumeNameConversion) {
  struct Case {
    std::u16string label;
    std::string expected;
  } cases[] = {
      {u"Data", "Data"},
      {u"Caf\u00e9 \u00fcber",
       "Caf\xc3\xa9 \xc3\xbc"
       "ber"},
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
      // 32 three-byte characters: cut after 26 whole ones (78 bytes).
      {std::u16string(32, u'\u6f22'),
       [] {
         std::string s;
         for (int i = 0; i < 26; ++i) s += "\xe6\xbc\xa2";
         return s;
       }()},
      {u"\U0001F600x", "\xf0\x9f\x98\x80x"},
      {std::u16string{u'a', char16_t(0xD800), u'b'},
       "a\xef\xbf\xbd"
       "b"},
  };
  for (const Case& c : cases) {
    const Bytes r = VolumeRecord(&c.label);
    char out[80];
    std::memset(out, 0, sizeof out);
    GetVolumeNameFromRecord(r.data(), out, 1024);
    EXPECT_EQ(std::string(out), c.expected);
    EXPECT_EQ(out[79], 0);
  }

  // A name past the first kilobyte of a 4 KiB record is read.
  {
    RecordBuilder far(4096, 3);
    far.StandardInformation(0x6);
    far.FileName(u"$Volume");
    far.Resident(0x40, Bytes(800, 0));
    ASSERT_GE(far.VolumeName(u"Far away"), 1016u);
    const Bytes farRec = far.Finish();
    char farOut[80] = {};
    GetVolumeNameFromRecord(farRec.data(), farOut, 4096);
    EXPECT_STREQ(farOut, "Far away");
  }

  // No name, a record that is not $Volume, or one that is damaged: untouched.
  char out[80];
  std::memset(out, 'q', sizeof out);
  const Bytes noName = VolumeRecord(nullptr);
  GetVolumeNameFromRecord(noName.data(), out, 1024);
  EXPECT_EQ(out[0], 'q');
  std::u16string longName = u"Name";
  Bytes damaged = VolumeRecord(&longName);
  const int at = FindAttributeOffset(damaged.data(), 0x60, 0);
  Put32(damaged, at + 16, 0x400);  // value runs past its attribute
  GetVolumeNameFromRecord(damaged.data(), out, 1024);
  EXPECT_EQ(out[0], 'q');
  const std::u16string label = u"X";
  const Bytes notHidden = VolumeRecord(&label, 0x4);
  GetVolumeNameFromRecord(notHidden.data(), out, 1024);
  EXPECT_EQ(out[0], 'q');
}

}  // namespace
