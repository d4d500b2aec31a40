// Recycle-bin folders, pairing of data and information files, and the names
// information files give back.
#include <gtest/gtest.h>
#include <strings.h>

#include <memory>
#include <random>

#include "ByteOrder.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "MemoryDevice.h"
#include "RecycleBinNames.h"
#include "TreeTestSupport.h"

namespace {

using testutil::MemoryDevice;
using treetest::InfoBytes;
using treetest::SetRuns;

std::unique_ptr<CFileNode> Node(const char* name, uint16_t attributes = 0x20, uint64_t size = 0) {
  auto node = std::make_unique<CFileNode>();
  CFATFileProperties* p = CreateFATFileProperties();
  p->SetName(name);
  p->SetAttributes(attributes);
  p->SetFileSize(static_cast<int64_t>(size));
  node->SetProperties(p);
  return node;
}

// The pairing as a plain walk of the pending list.
CFileNode* ReferencePair(std::list<CFileNode*>& pending, CFileNode* node) {
  if (!node) return nullptr;
  if (pending.empty()) {
    pending.push_back(node);
    return nullptr;
  }
  const std::string name = node->GetProperties()->GetName();
  if (name.size() <= 1) return nullptr;
  const char kind = IsRecycleInfoFile(node) ? 'I' : 'R';
  for (auto it = pending.begin(); it != pending.end(); ++it) {
    std::string other = (*it)->GetProperties()->GetName();
    if (other.size() > 1) other[1] = kind;
    if (strcasecmp(other.c_str(), name.c_str()) == 0) {
      CFileNode* found = *it;
      pending.erase(it);
      return found;
    }
  }
  if (name[0] == '#' || name[0] == '$') pending.push_back(node);
  return nullptr;
}

}  // namespace

TEST(RecycleBin, FoldersAndInfoFiles) {
  EXPECT_TRUE(IsRecycleBinFolder(Node("RECYCLED", 0x10).get()));
  EXPECT_TRUE(IsRecycleBinFolder(Node("$recycle.bin", 0x16).get()));
  EXPECT_TRUE(IsRecycleBinFolder(Node("$Recycle.Bi0", 0x10).get()));
  EXPECT_FALSE(IsRecycleBinFolder(Node("RECYCLED", 0x20).get()));
  EXPECT_FALSE(IsRecycleBinFolder(nullptr));
  auto bin = Node("Recycler", 0x10);
  auto sub = Node("S-1-5", 0x10);
  auto file = Node("$RAB12CD.txt");
  bin->AddChild(sub.get());
  sub->AddChild(file.get());
  EXPECT_TRUE(IsInRecycleBin(file.get()));
  EXPECT_FALSE(IsInRecycleBin(Node("x").get()));
  EXPECT_TRUE(IsRecycleInfoFile(Node("$IAB12CD.txt").get()));
  EXPECT_TRUE(IsRecycleInfoFile(Node("#I1").get()));
  EXPECT_FALSE(IsRecycleInfoFile(Node("$").get()));
  EXPECT_FALSE(IsRecycleInfoFile(Node("$RAB").get()));
}

TEST(RecycleBin, MatchPairs) {
  CRecyclePendingList pending;
  auto data = Node("$RAB12CD.txt");
  auto info = Node("$IAB12CD.TXT");
  auto lone = Node("$IXYZ.doc");
  auto plain = Node("readme.txt");
  EXPECT_EQ(MatchRecyclePair(pending, nullptr), nullptr);
  EXPECT_TRUE(pending.empty());
  EXPECT_EQ(MatchRecyclePair(pending, data.get()), nullptr);  // empty list: appended
  EXPECT_EQ(MatchRecyclePair(pending, lone.get()), nullptr);
  EXPECT_EQ(pending.size(), 2u);
  EXPECT_EQ(MatchRecyclePair(pending, plain.get()), nullptr);
  EXPECT_EQ(pending.size(), 2u);
  EXPECT_EQ(MatchRecyclePair(pending, info.get()), data.get());
  EXPECT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending.front(), lone.get());
}

// The indexed pairing answers what a walk of the whole list answers, node
// for node, on streams full of near-misses (case, kind, first character,
// length, repeats).
TEST(RecycleBin, IndexedPairingMatchesTheListWalk) {
  std::mt19937 random(20261211);
  const char* firsts = "$#xR";
  const char* seconds = "RIriQ";
  std::vector<std::unique_ptr<CFileNode>> nodes;
  for (int round = 0; round < 20; ++round) {
    CRecyclePendingList indexed;
    std::list<CFileNode*> walked;
    for (int i = 0; i < 400; ++i) {
      std::string name;
      const int length = static_cast<int>(random() % 5);
      if (length > 0) name += firsts[random() % 4];
      if (length > 1) name += seconds[random() % 5];
      for (int k = 2; k < length + 2; ++k) name += "aAbB"[random() % 4];
      nodes.push_back(Node(name.c_str()));
      CFileNode* node = random() % 50 == 0 ? nullptr : nodes.back().get();
      ASSERT_EQ(MatchRecyclePair(indexed, node), ReferencePair(walked, node)) << "round " << round << " node " << i;
      ASSERT_EQ(indexed.size(), walked.size());
    }
  }
}

TEST(RecycleBin, NamesFromInformationFiles) {
  const std::u16string report = u"C:\\Users\\x\\Documents\\report.docx";
  std::u16string deep = u"C:\\Users\\x\\Documents\\";
  for (int i = 0; i < 24; ++i) deep += u"a rather deep folder name\\";
  deep += u"report.docx";
  ASSERT_GT(deep.size() * 2, 1024u);
  std::vector<uint8_t> legacy(600, 0);  // no known header: the path from byte 0 on
  for (size_t i = 0; i < report.size(); ++i) WriteLE16(legacy.data() + 40 + 2 * i, report[i]);
  std::vector<uint8_t> longLegacy(2048, 'x');  // a name running out of the first 1024 bytes
  for (size_t i = 0; i < report.size(); ++i) WriteLE16(longLegacy.data() + 960 + 2 * i, report[i]);
  std::vector<uint8_t> headerOnly = InfoBytes(2, report);
  headerOnly.resize(26);
  struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* name;
  } rows[] = {
      {"fixed form", InfoBytes(1, report), "report.docx"},
      {"variable form", InfoBytes(2, report), "report.docx"},
      {"variable form past 1024 bytes", InfoBytes(2, deep), "report.docx"},
      {"variable form cut short",
       [&] {
         auto b = InfoBytes(2, deep);
         b.resize(1024);
         return b;
       }(),
       ""},
      {"length past the end", InfoBytes(2, u"C:\\x\\cut.txt", 700), ""},
      {"zero length", InfoBytes(2, report, 0), ""},
      {"header only", headerOnly, ""},
      {"no drive path", InfoBytes(1, u"Users\\x\\report.docx"), ""},
      {"relative drive", InfoBytes(1, u"C:report\\x.docx"), ""},
      {"ends in a backslash", InfoBytes(2, u"C:\\Users\\"), ""},
      {"other content", legacy, "report.docx"},
      {"other content cut at 1024 bytes", longLegacy, ""},
      {"unicode name", InfoBytes(2, u"D:\\\u00e9t\u00e9\\\u65e5\u672c.txt"), "\u65e5\u672c.txt"},
      {"empty", {}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(RecycledNameFromInfo(row.bytes), row.name) << row.what;
}

TEST(RecycleBin, RenameReadsTheInfoFileWithItsOwnGeometry) {
  // The fixed form in sectors 10 and 11: cluster 2 of a file system whose
  // cluster 0 lies at sector 6, with 2 sectors per cluster.
  std::vector<uint8_t> disk(64 * 512, 0);
  const std::vector<uint8_t> info = InfoBytes(1, u"C:\\Users\\x\\Documents\\report.docx");
  std::copy(info.begin(), info.end(), disk.begin() + 10 * 512);
  MemoryDevice dev(disk);
  std::unique_ptr<CFileSystemNode> root(CreateFileSystemNode());
  root->SetPartitionGeometry(6, 2);
  auto infoNode = Node("$IAB12CD.docx", 0x20, 544);
  SetRuns(infoNode.get(), {{2, 1}});
  root->AddChild(infoNode.get());
  auto data = Node("$RAB12CD.docx", 0x20, 100);
  RenameRecycledNode(&dev, data.get(), infoNode.get());
  EXPECT_STREQ(data->GetProperties()->GetName(), "report.docx");

  // The same runs read as if they were device sectors find nothing there.
  auto data2 = Node("$RZZ.docx", 0x20, 100);
  RestoreRecycledName(&dev, data2.get(), infoNode.get(), 0, 1);
  EXPECT_STREQ(data2->GetProperties()->GetName(), "$RZZ.docx");
  RestoreRecycledName(&dev, data2.get(), infoNode.get(), 6, 2);
  EXPECT_STREQ(data2->GetProperties()->GetName(), "report.docx");

  // No file system above the node, no runs, or an unreadable run: nothing
  // changes.
  auto none = Node("$RQQ.txt");
  auto orphan = Node("$IQQ.txt", 0x20, 544);
  SetRuns(orphan.get(), {{2, 1}});
  RenameRecycledNode(&dev, none.get(), orphan.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  auto noRuns = Node("$IQR.txt", 0x20, 544);
  root->AddChild(noRuns.get());
  RenameRecycledNode(&dev, none.get(), noRuns.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  SetRuns(noRuns.get(), {{1000, 2}});
  RenameRecycledNode(&dev, none.get(), noRuns.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  auto blank = Node("$IBB.txt", 0x20, 544);
  SetRuns(blank.get(), {{20, 2}});
  root->AddChild(blank.get());
  RenameRecycledNode(&dev, none.get(), blank.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  // The nodes are the test's: unlink them before they go.
  while (CFileNode* c = root->GetFirstChild()) root->RemoveChild(c);
}
