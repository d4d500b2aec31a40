// Field readers, node checks and key orders of the HFS+ engine on
// hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CHFSPlusAttribute.h"
#include "CHFSPlusBTNode.h"
#include "CHFSPlusCatalog.h"
#include "CHFSPlusExtents.h"
#include "HFSPlusStructs.h"
#include "HFSPlusUnicode.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t o, uint32_t v) {
  WriteBE16(b.data() + o, static_cast<uint16_t>(v));
}
void Put32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
  WriteBE32(b.data() + o, v);
}

// A node of `size` bytes with the given records laid out after the descriptor.
std::vector<uint8_t> MakeNode(uint32_t size, int8_t kind, uint8_t height,
                              const std::vector<std::vector<uint8_t>>& recs) {
  std::vector<uint8_t> n(size, 0);
  n[8] = uint8_t(kind);
  n[9] = height;
  Put16(n, 10, uint32_t(recs.size()));
  uint32_t off = 14;
  for (size_t i = 0; i < recs.size(); ++i) {
    Put16(n, size - 2 * (i + 1), off);
    std::memcpy(&n[off], recs[i].data(), recs[i].size());
    off += uint32_t(recs[i].size());
  }
  Put16(n, size - 2 * (recs.size() + 1), off);
  return n;
}

std::vector<uint8_t> CatalogKeyBytes(uint32_t parent, const std::u16string& name) {
  std::vector<uint8_t> k(8 + 2 * name.size());
  Put16(k, 0, uint32_t(6 + 2 * name.size()));
  Put32(k, 2, parent);
  Put16(k, 6, uint32_t(name.size()));
  for (size_t i = 0; i < name.size(); ++i) Put16(k, 8 + 2 * i, name[i]);
  return k;
}

HFSPlusCatalogKey Key(uint32_t parent, const std::u16string& name) {
  HFSPlusCatalogKey k;
  auto bytes = CatalogKeyBytes(parent, name);
  EXPECT_TRUE(filpCatalogKey(&k, bytes.data(), bytes.size()));
  return k;
}

TEST(HfsStructs, SwapBytesReversesAndCountsPairs) {
  uint8_t b[2] = {0x12, 0x34};
  EXPECT_EQ(SwapBytes(b, 2), 1u);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  uint8_t one = 7;
  EXPECT_EQ(SwapBytes(&one, 1), 0u);
  EXPECT_EQ(one, 7);
}

TEST(HfsStructs, NullPointersAreBadArguments) {
  HFSPlusVolumeHeader h;
  EXPECT_EQ(flipVolumeHeader(nullptr, nullptr), kHFSBadArgument);
  EXPECT_EQ(flipVolumeHeader(&h, nullptr), kHFSBadArgument);
  EXPECT_EQ(flipNodeDescriptor(nullptr, nullptr), kHFSBadArgument);
  EXPECT_EQ(flipJournalInfoBlock(nullptr, nullptr), kHFSBadArgument);
}

TEST(HfsStructs, VolumeHeaderPlausibility) {
  std::vector<uint8_t> raw(512, 0);
  Put16(raw, 0, 0x482B);
  Put16(raw, 2, 4);
  EXPECT_TRUE(IsHFSPlusVolumeHeader(raw.data(), raw.size()));  // block size 0, empty catalog
  Put32(raw, 40, 4096);
  Put32(raw, 44, 100);
  Put32(raw, 48, 50);
  Put32(raw, 272 + 4, 3 * 4096);  // catalog logicalSize (low word)
  Put32(raw, 272 + 12, 3);
  EXPECT_TRUE(IsHFSPlusVolumeHeader(raw.data(), raw.size()));
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    bool wide;
  } cases[] = {
      {"catalog size one byte short", 272 + 4, 3 * 4096 - 1, true},
      {"bad signature", 0, 0x4244, false},
      {"version 17", 2, 17, false},
      {"block size 1000", 40, 1000, true},
      {"free above total", 48, 101, true},
      {"journal block above total", 12, 101, true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = raw;
    if (c.wide)
      Put32(bad, c.offset, c.value);
    else
      Put16(bad, c.offset, c.value);
    EXPECT_FALSE(IsHFSPlusVolumeHeader(bad.data(), bad.size())) << c.what;
  }
  Put16(raw, 0, 0x4858);  // HFSX
  EXPECT_TRUE(IsHFSPlusVolumeHeader(raw.data(), raw.size()));
  EXPECT_FALSE(IsHFSPlusVolumeHeader(raw.data(), 511));
  EXPECT_FALSE(IsHFSPlusVolumeHeader(nullptr, 512));
}

TEST(HfsStructs, NodeTestTable) {
  auto rec = std::vector<uint8_t>(20, 1);
  struct Case {
    const char* what;
    std::vector<uint8_t> node;
    bool ok;
  } cases[] = {
      {"leaf", MakeNode(512, -1, 1, {rec, rec}), true},
      {"header with height 1", MakeNode(512, 1, 1, {}), false},
      {"leaf with height 0", MakeNode(512, -1, 0, {rec}), false},
      {"map node, any height", MakeNode(512, 2, 7, {rec}), true},
      {"kind 3", MakeNode(512, 3, 1, {rec}), false},
      {"kind -2", MakeNode(512, -2, 1, {rec}), false},
      {"size 1000", MakeNode(1000, -1, 1, {rec}), false},
      {"size 256", MakeNode(256, -1, 1, {rec}), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsBTreeNode(c.node.data(), uint32_t(c.node.size())), c.ok) << c.what;

  auto twoEqual = MakeNode(512, -1, 1, {rec, rec});
  Put16(twoEqual, 512 - 4, 14);  // record 1 at the same offset as record 0
  EXPECT_FALSE(IsBTreeNode(twoEqual.data(), 512));
  auto firstNot14 = MakeNode(512, -1, 1, {rec});
  Put16(firstNot14, 510, 16);
  EXPECT_FALSE(IsBTreeNode(firstNot14.data(), 512));
  auto pastTable = MakeNode(512, -1, 1, {rec});
  Put16(pastTable, 508, 509);  // free space offset inside the offset table
  EXPECT_FALSE(IsBTreeNode(pastTable.data(), 512));
  auto hugeCount = MakeNode(512, -1, 1, {rec});
  Put16(hugeCount, 10, 0xFFFF);  // table larger than the node
  EXPECT_FALSE(IsBTreeNode(hugeCount.data(), 512));
  EXPECT_FALSE(IsBTreeNode(nullptr, 512));
}

TEST(HfsStructs, NodeRecordsAreBounded) {
  auto a = std::vector<uint8_t>(20, 1), b = std::vector<uint8_t>(30, 2);
  CHFSPlusBTNode node(MakeNode(512, -1, 1, {a, b}));
  ASSERT_EQ(node.GetStatus(), kHFSOk);
  EXPECT_EQ(node.GetRecordCount(), 2);
  uint32_t len = 0;
  const uint8_t* r = node.GetRecord(1, &len);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(len, 30u);
  EXPECT_EQ(r[0], 2);
  EXPECT_EQ(node.GetRecord(2), nullptr);
  EXPECT_EQ(node.GetStatus(), kHFSBadArgument);

  CHFSPlusBTNode bad(MakeNode(512, 5, 1, {a}));
  EXPECT_EQ(bad.GetStatus(), kHFSBadStructure);
  EXPECT_EQ(bad.GetDescriptor(), nullptr);
  EXPECT_EQ(bad.GetRecordCount(), 0);
  EXPECT_EQ(bad.GetRecord(0), nullptr);
}

TEST(HfsStructs, KeyLengthsAreChecked) {
  auto k = CatalogKeyBytes(16, u"name");
  HFSPlusCatalogKey key;
  EXPECT_TRUE(filpCatalogKey(&key, k.data(), k.size()));
  EXPECT_FALSE(filpCatalogKey(&key, k.data(), k.size() - 1));  // key longer than its record
  auto longName = k;
  Put16(longName, 6, 300);  // name longer than the key and than 255
  EXPECT_FALSE(filpCatalogKey(&key, longName.data(), longName.size()));
  auto shortKey = k;
  Put16(shortKey, 0, 4);
  EXPECT_FALSE(filpCatalogKey(&key, shortKey.data(), shortKey.size()));

  std::vector<uint8_t> thread(10 + 2 * 3, 0);
  Put16(thread, 0, kHFSPlusFolderThreadRecord);
  Put16(thread, 8, 3);
  HFSPlusCatalogRecord rec;
  EXPECT_TRUE(ReadCatalogRecord(&rec, thread.data(), thread.size()));
  Put16(thread, 8, 4);
  EXPECT_FALSE(ReadCatalogRecord(&rec, thread.data(), thread.size()));
  std::vector<uint8_t> file(247, 0);
  Put16(file, 0, kHFSPlusFileRecord);
  EXPECT_FALSE(ReadCatalogRecord(&rec, file.data(), file.size()));

  std::vector<uint8_t> inl(16 + 4, 0);
  Put32(inl, 0, kHFSPlusAttrInlineData);
  Put32(inl, 12, 5);  // claims more than the record holds
  HFSPlusAttrRecord attr;
  EXPECT_FALSE(ReadAttributeRecord(&attr, inl.data(), inl.size()));
  Put32(inl, 12, 0);
  EXPECT_TRUE(ReadAttributeRecord(&attr, inl.data(), inl.size()));
  EXPECT_TRUE(attr.inlineData.empty());
}

TEST(HfsStructs, NamesReadSlashAsColonAndKeepAll255Units) {
  std::u16string name(255, u'a');
  name[3] = u'/';
  name[254] = u'z';
  HFSPlusCatalogKey k = Key(16, name);
  EXPECT_EQ(k.nameLength, 255);
  EXPECT_EQ(k.name[3], u':');
  EXPECT_EQ(k.name[254], u'z');
}

TEST(HfsStructs, CatalogKeyOrders) {
  EXPECT_EQ(CompareCatalogKeys(Key(16, u"Readme"), Key(16, u"README"), 0xCF), 0);
  EXPECT_GT(CompareCatalogKeys(Key(16, u"Readme"), Key(16, u"README"), 0xBC), 0);
  EXPECT_LT(CompareCatalogKeys(Key(15, u"zzz"), Key(16, u"a"), 0xCF), 0);
  for (uint8_t type : {uint8_t(0xCF), uint8_t(0xBC)}) {
    EXPECT_EQ(CompareCatalogKeys(Key(16, u"a:b"), Key(16, u"a/b"), type), 0) << int(type);
    EXPECT_LT(CompareCatalogKeys(Key(16, u"ab"), Key(16, u"abc"), type), 0);
  }
  // Ignorable characters vanish; NUL sorts after everything.
  EXPECT_EQ(CompareCatalogKeys(Key(16, u"a\u200Db"), Key(16, u"ab"), 0xCF), 0);
  EXPECT_GT(CompareCatalogKeys(Key(16, std::u16string(1, u'\0')), Key(16, u"\uFFFE"), 0xCF), 0);
  EXPECT_EQ(HFSPlusFoldChar(u'\u0391'), u'\u03B1');  // Greek
  EXPECT_EQ(HFSPlusFoldChar(u'\u0416'), u'\u0436');  // Cyrillic
  EXPECT_EQ(HFSPlusFoldChar(u'\u00C9'), u'\u00E9');
}

TEST(HfsStructs, ExtentAndAttributeKeyOrders) {
  HFSPlusExtentKey a, b;
  a.fileID = 20;
  b.fileID = 19;
  b.forkType = 0xFF;
  EXPECT_GT(CompareExtentKeys(a, b), 0);
  b.fileID = 20;
  EXPECT_LT(CompareExtentKeys(a, b), 0);

  HFSPlusAttrKey x, y;
  x.fileID = y.fileID = 30;
  x.nameLength = y.nameLength = 1;
  x.name[0] = y.name[0] = u'n';
  x.startBlock = 0;
  y.startBlock = 99;
  EXPECT_EQ(CompareAttributeKeys(x, y), 0);
}

TEST(HfsStructs, NarrowNamesAreCutAtCharacterBoundaries) {
  char out[8] = {};
  std::u16string s = u"\u00E9\u00E9\u00E9\u00E9\u00E9";  // 2 bytes each in UTF-8
  EXPECT_EQ(HFSPlusNameToNarrow(s.data(), s.size(), out, 5), 4u);
  EXPECT_EQ(std::string(out, 4), "\xC3\xA9\xC3\xA9");
}

TEST(HfsStructs, RecordKindTest) {
  std::vector<uint8_t> catKey = CatalogKeyBytes(2, u"");
  std::vector<uint8_t> thread = catKey;
  std::vector<uint8_t> t(10 + 2 * 2, 0);
  Put16(t, 0, 3);
  Put16(t, 8, 2);
  thread.insert(thread.end(), t.begin(), t.end());
  CHFSPlusBTNode cat(MakeNode(512, -1, 1, {thread}));
  EXPECT_EQ(cat.TestNodeBelongToFile(), 4);

  std::vector<uint8_t> ext(12 + 64, 0);
  Put16(ext, 0, 10);
  CHFSPlusBTNode extents(MakeNode(512, -1, 1, {ext}));
  EXPECT_EQ(extents.TestNodeBelongToFile(), 3);
}

}  // namespace
