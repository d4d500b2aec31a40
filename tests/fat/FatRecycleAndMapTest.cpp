// Recycle-bin names, the cluster-use map and run lists.
#include <gtest/gtest.h>

#include <memory>

#include "CClusterUseBitMap.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileNode.h"
#include "MemoryDevice.h"
#include "RecycleBinNames.h"

namespace {

using testutil::MemoryDevice;

std::unique_ptr<CFileNode> Node(const char* name, uint16_t attributes = 0x20, uint64_t size = 0) {
  auto node = std::make_unique<CFileNode>();
  CFATFileProperties* p = CreateFATFileProperties();
  p->SetName(name);
  p->SetAttributes(attributes);
  p->SetFileSize(size);
  node->SetProperties(p);
  return node;
}

}  // namespace

TEST(FatRecycle, FoldersAndInfoFiles) {
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

TEST(FatRecycle, MatchPairs) {
  std::list<CFileNode*> pending;
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

TEST(FatRecycle, RenameFromInfoFile) {
  // An information file: 24-byte header, then the original path.
  std::vector<uint8_t> disk(64 * 512, 0);
  const std::u16string path = u"C:\\Users\\x\\Documents\\report.docx";
  for (size_t i = 0; i < path.size(); ++i) {
    disk[10 * 512 + 24 + 2 * i] = static_cast<uint8_t>(path[i]);
    disk[10 * 512 + 24 + 2 * i + 1] = static_cast<uint8_t>(path[i] >> 8);
  }
  MemoryDevice dev(disk);
  auto data = Node("$RAB12CD.docx", 0x20, 100);
  auto info = Node("$IAB12CD.docx", 0x20, 544);
  auto* list = new CFATDataRunList();
  list->AppendMerged(DataRun{10, 1});
  list->AppendMerged(DataRun{11, 1});
  EXPECT_EQ(list->GetRunCount(), 1u);
  static_cast<CFATFileProperties*>(info->GetProperties())->SetDataRunList(list);
  RenameRecycledNode(&dev, data.get(), info.get());
  EXPECT_STREQ(data->GetProperties()->GetName(), "report.docx");

  // Cluster runs from a data start: cluster 2 at sector 6, 2 sectors per cluster.
  auto data2 = Node("$RZZ.docx", 0x20, 100);
  RestoreRecycledName(&dev, data2.get(), info.get(), 0, 1);
  EXPECT_STREQ(data2->GetProperties()->GetName(), "report.docx");
  auto data3 = Node("$RZZ.docx", 0x20, 100);
  auto* clusterRuns = new CFATDataRunList();
  clusterRuns->AppendMerged(DataRun{2, 1});  // sectors 6 + 2 x 2 = 10, 11
  static_cast<CFATFileProperties*>(info->GetProperties())->SetDataRunList(clusterRuns);
  RestoreRecycledName(&dev, data3.get(), info.get(), 6, 2);
  EXPECT_STREQ(data3->GetProperties()->GetName(), "report.docx");

  // No drive path, no runs, or an unreadable run: nothing changes.
  auto none = Node("$RQQ.txt");
  auto noRuns = Node("$IQQ.txt", 0x20, 544);
  RenameRecycledNode(&dev, none.get(), noRuns.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  auto* far = new CFATDataRunList();
  far->AppendMerged(DataRun{1000, 2});
  static_cast<CFATFileProperties*>(noRuns->GetProperties())->SetDataRunList(far);
  RenameRecycledNode(&dev, none.get(), noRuns.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
  auto blank = Node("$IBB.txt", 0x20, 544);
  auto* zeros = new CFATDataRunList();
  zeros->AppendMerged(DataRun{40, 2});
  static_cast<CFATFileProperties*>(blank->GetProperties())->SetDataRunList(zeros);
  RenameRecycledNode(&dev, none.get(), blank.get());
  EXPECT_STREQ(none->GetProperties()->GetName(), "$RQQ.txt");
}

TEST(FatClusterUseMap, Answers) {
  std::vector<bool> bits = {true, false, true, false};
  ClusterUseBitMapInfo info;
  info.bits = &bits;
  info.firstSector = 100;
  info.sectorsPerCluster = 4;
  info.clusterCount = 4;
  CClusterUseBitMap map(info);
  EXPECT_TRUE(map.IsClusterUsed(99));    // before the data area
  EXPECT_TRUE(map.IsClusterUsed(100));
  EXPECT_FALSE(map.IsClusterUsed(104));
  EXPECT_FALSE(map.IsClusterUsed(107));
  EXPECT_TRUE(map.IsClusterUsed(108));
  EXPECT_TRUE(map.IsClusterUsed(116));   // past the last cluster
  info.clusterCount = 0;
  EXPECT_FALSE(CClusterUseBitMap(info).IsClusterUsed(104));
  info.clusterCount = 100;  // more clusters than bits, or no cluster size
  EXPECT_TRUE(CClusterUseBitMap(info).IsClusterUsed(100 + 4 * 50));
  info.sectorsPerCluster = 0;
  EXPECT_TRUE(CClusterUseBitMap(info).IsClusterUsed(104));
}
