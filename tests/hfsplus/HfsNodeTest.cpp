// HFS+ file nodes made from catalog records, their saved properties, and
// the filter that keeps one node per catalog record.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CFileSystemNode.h"
#include "CHFSPlusFileNode.h"
#include "CMemoryScanStream.h"
#include "DetourDirectoryTree.h"
#include "IDataRunList.h"
#include "RecordingTreeBuilder.h"
#include "ScanStreamIO.h"

namespace {

HFSPlusCatalogKey Key(uint32_t parent, const std::u16string& name) {
  HFSPlusCatalogKey k;
  k.parentID = parent;
  k.nameLength = static_cast<uint16_t>(name.size());
  for (size_t i = 0; i < name.size(); ++i) k.name[i] = name[i];
  k.keyLength = static_cast<uint16_t>(6 + 2 * name.size());
  return k;
}

HFSPlusCatalogRecord File(uint32_t id, uint64_t logicalSize, std::vector<HFSPlusExtentDescriptor> extents) {
  HFSPlusCatalogRecord r;
  r.recordType = kHFSPlusFileRecord;
  r.id = id;
  r.createDate = r.contentModDate = r.accessDate = 1000;
  r.dataFork.logicalSize = logicalSize;
  for (size_t i = 0; i < extents.size() && i < 8; ++i) {
    r.dataFork.extents[i] = extents[i];
    r.dataFork.totalBlocks += extents[i].blockCount;
  }
  return r;
}

std::vector<DataRun> RunsOf(const IFileProperties* p) {
  std::unique_ptr<IDataRunList> list(p ? p->GetDataRunList() : nullptr);
  return list ? std::vector<DataRun>(list->Runs().begin(), list->Runs().end()) : std::vector<DataRun>();
}

TEST(HfsFileNode, CatalogRecordsBecomeNodes) {
  HFSPlusCatalogRecord folder;
  folder.recordType = kHFSPlusFolderRecord;
  folder.id = 40;
  HFSPlusCatalogRecord rootParent = folder;
  rootParent.id = kHFSRootParentID;
  HFSPlusCatalogRecord thread;
  thread.recordType = kHFSPlusFileThreadRecord;
  HFSPlusCatalogRecord noLength = File(41, 0, {{10, 3}});
  HFSPlusCatalogRecord merged = File(42, 20000, {{100, 4}, {104, 2}});
  HFSPlusCatalogRecord apart = File(43, 20000, {{100, 4}, {200, 2}});
  HFSPlusCatalogRecord alias = File(44, 0, {});
  alias.fileType = kHFSDirectoryAliasType;
  HFSPlusCatalogRecord compressed = File(45, 0, {});
  compressed.permissions.ownerFlags = 0x20;
  compressed.resourceFork.logicalSize = 5000;
  compressed.resourceFork.totalBlocks = 2;
  compressed.resourceFork.extents[0] = {300, 2};
  HFSPlusCatalogRecord inlineCompressed = compressed;
  inlineCompressed.resourceFork = HFSPlusForkData();
  const struct {
    const char* what;
    HFSPlusCatalogRecord record;
    std::u16string name;
    int64_t id;
    const char* shownName;
    int64_t size;
    uint16_t attributes;
    std::vector<DataRun> runs;
  } cases[] = {
      {"folder", folder, u"docs", 40, "docs", 0, 0x10, {}},
      {"the root's parent", rootParent, u"x", -1, "", 0, 0, {}},
      {"thread", thread, u"", -1, "", 0, 0, {}},
      // Without a volume a block is 4096 bytes.
      {"totalBlocks without logicalSize", noLength, u"n", 41, "n", 3 * 4096, 0x20, {{10, 3}}},
      {"leading NULs dropped", merged, std::u16string(u"\0\0ab", 4), 42, "ab", 20000, 0x20, {{100, 6}}},
      {"runs apart", apart, u"a", 43, "a", 20000, 0x20, {{100, 4}, {200, 2}}},
      {"directory alias", alias, u"alias", 44, "alias", 0, 0x10, {}},
      {"compressed, resource fork", compressed, u"c", 45, "c", 5000, 0x820, {{300, 2}}},
      {"compressed, inline", inlineCompressed, u"i", 45, "i", 0, 0x820, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HFSPlusCatalogKey key = Key(16, c.name);
    auto* node = new CHFSPlusFileNode(nullptr, &key, &c.record, true);
    EXPECT_EQ(node->GetId(), c.id);
    if (c.id >= 0) {
      const IFileProperties* p = node->GetProperties();
      ASSERT_NE(p, nullptr);
      EXPECT_STREQ(p->GetName(), c.shownName);
      EXPECT_EQ(p->GetFileSize(), c.size);
      EXPECT_EQ(p->GetAttributes(), c.attributes);
      EXPECT_EQ(p->IsDeleted(), 1);
      EXPECT_EQ(node->GetParentId(), 16);
      EXPECT_EQ(RunsOf(p), c.runs);
    }
    DestroyFileNode(node);
  }
  for (uint32_t blockSize : {512u, 2048u, 4096u, 8192u}) {
    HFSPlusForkData fork;
    fork.totalBlocks = 3;
    EXPECT_EQ(HFSPlusForkSize(fork, blockSize), 3u * blockSize);
  }
  EXPECT_EQ(HFSPlusDateToFileTime(0), 0u);
  EXPECT_EQ(HFSPlusDateToFileTime(1), 95616288010000000ull);
}

TEST(HfsFileNode, PropertiesSaveAndLoad) {
  // Three runs, the first two contiguous: they merge on load.
  CMemoryScanStream saved;
  const std::string name = "report.txt";
  ASSERT_TRUE(StreamWriteU32(&saved, static_cast<uint32_t>(name.size())));
  ASSERT_TRUE(StreamWriteBytes(&saved, name.data(), static_cast<uint32_t>(name.size())));
  StreamWriteU64(&saved, 12345);
  StreamWriteU16(&saved, 0x20);
  for (uint64_t t : {1ull, 2ull, 3ull}) StreamWriteU64(&saved, t);
  StreamWriteU16(&saved, 1);
  StreamWriteU32(&saved, 0);
  StreamWriteU8(&saved, kHFSNodeDeleted);
  StreamWriteU32(&saved, 3);
  for (uint64_t v : {100ull, 4ull, 104ull, 2ull, 300ull, 1ull}) StreamWriteU64(&saved, v);
  saved.Rewind();
  HFSPlusFileProperties* p = HFSPlusFileProperties::Create();
  ASSERT_TRUE(p->Load(&saved));
  EXPECT_STREQ(p->GetName(), "report.txt");
  EXPECT_EQ(p->GetFileSize(), 12345);
  EXPECT_EQ(p->GetModificationTime(), 2u);
  EXPECT_EQ(p->IsDeleted(), 1);
  EXPECT_EQ(RunsOf(p), (std::vector<DataRun>{{100, 6}, {300, 1}}));
  // Saved again, it loads to the same.
  CMemoryScanStream again;
  ASSERT_TRUE(p->Save(&again));
  again.Rewind();
  HFSPlusFileProperties* q = HFSPlusFileProperties::Create();
  ASSERT_TRUE(q->Load(&again));
  EXPECT_STREQ(q->GetName(), p->GetName());
  EXPECT_EQ(q->GetAccessTime(), 3u);
  EXPECT_EQ(q->GetNodeFlags(), kHFSNodeDeleted);
  EXPECT_EQ(RunsOf(q), RunsOf(p));
  q->Release();
  // A short stream changes nothing.
  CMemoryScanStream shortStream;
  StreamWriteU32(&shortStream, 50);
  shortStream.Rewind();
  EXPECT_FALSE(p->Load(&shortStream));
  EXPECT_STREQ(p->GetName(), "report.txt");
  p->Release();

  // The root's saved form loads as empty properties.
  CFileSystemNode* root = CreateHFSPlusRootNode(2, 0, 8);
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->GetProperties()->GetName(), "HFSPlus");
  EXPECT_EQ(root->GetFileSystemType(), EFileSystemType::HFSPlus);
  CMemoryScanStream rootSaved;
  ASSERT_TRUE(root->GetProperties()->Save(&rootSaved));
  rootSaved.Rewind();
  HFSPlusFileProperties* empty = HFSPlusFileProperties::Create();
  EXPECT_TRUE(empty->Load(&rootSaved));
  EXPECT_EQ(empty->GetNameLength(), 0);
  EXPECT_EQ(RunsOf(empty).size(), 0u);
  empty->Release();
  DestroyFileNode(root);
}

CHFSPlusFileNode* NodeOf(uint32_t id, const std::u16string& name, bool folder, uint64_t size,
                         std::vector<HFSPlusExtentDescriptor> runs, bool deleted, uint32_t date = 1000) {
  HFSPlusCatalogKey key = Key(2, name);
  HFSPlusCatalogRecord r = File(id, size, runs);
  if (folder) r.recordType = kHFSPlusFolderRecord;
  r.createDate = r.contentModDate = date;
  return new CHFSPlusFileNode(nullptr, &key, &r, deleted);
}

TEST(HfsDuplicateFilter, KeepsOneNodePerRecordAndHidesDotNames) {
  testutil::RecordingTreeBuilder target;
  target.kind = ETreeKind::HFSPlus;
  auto* filter = new DetourDirectoryTree;
  filter->SetTarget(&target);
  int error = 0;
  auto offer = [&](CFileNode* n) { EXPECT_EQ(filter->AddNode(n, ETreeKind::HFSPlus, error), 1); };
  const struct {
    const char* what;
    CHFSPlusFileNode* node;
    bool passed;
  } cases[] = {
      {"a dot name", NodeOf(20, u".hidden", false, 10, {{5, 1}}, false), false},
      {"the private folder", NodeOf(21, u"HFS+ Private Data", true, 0, {}, false), false},
      {"a name holding the private folder's", NodeOf(22, u"abc HFS+ Private Data", true, 0, {}, false), true},
      {"a folder", NodeOf(23, u"docs", true, 0, {}, false), true},
      {"the same folder again", NodeOf(23, u"docs", true, 0, {}, true), false},
      {"a file", NodeOf(24, u"f", false, 100, {{50, 1}}, true), true},
      {"the same id and size at another block", NodeOf(24, u"f", false, 100, {{60, 1}}, true), true},
      {"the same id, size and block", NodeOf(24, u"f", false, 100, {{50, 1}}, false), false},
      {"a file without runs", NodeOf(25, u"e", false, 0, {}, true), true},
      {"the same dates, live", NodeOf(25, u"e", false, 0, {}, false), true},
      {"the same dates, deleted", NodeOf(25, u"e", false, 0, {}, true), false},
      {"another name under the same id", NodeOf(25, u"other", false, 0, {}, true), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t before = target.count;
    offer(c.node);
    EXPECT_EQ(target.count - before, c.passed ? 1u : 0u);
  }
  // A refused node is not remembered: its equal is offered again.
  target.refuseAfter = static_cast<int>(target.count);
  offer(NodeOf(26, u"late", true, 0, {}, false));
  EXPECT_EQ(target.refused, 1);
  target.refuseAfter = -1;
  offer(NodeOf(26, u"late", true, 0, {}, false));
  EXPECT_EQ(target.nodes.back()->GetId(), 26);
  // Releasing the filter leaves the wrapped builder alone (it is on the stack).
  filter->Release();
  EXPECT_EQ(target.GetNodeCount(), target.nodes.size());
}

}  // namespace
