#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CSearchedPartitionInfo.h"
#include "RecoveryEngines.h"
#include "RecoveryListing.h"
#include "ScanEngineRegistry.h"
#include "TreeTestSupport.h"

namespace {

using treetest::MakeNode;
using treetest::MakeRoot;
using treetest::NodeShape;

std::string Escaped(const std::string& name) {
  return EscapeListedName(name.data(), name.size());
}

TEST(RecoveryListing, NamesAreEscapedSoPathsReadBack) {
  const struct {
    std::string name;
    const char* listed;
  } cases[] = {
      {"plain.txt", "plain.txt"},
      {"a/b", "a\\x2Fb"},
      {"back\\slash", "back\\x5Cslash"},
      {"tab\there", "tab\\x09here"},
      {"new\nline", "new\\x0Aline"},
      {"del\x7f", "del\\x7F"},
      {"caf\xc3\xa9 \xe6\x97\xa5", "caf\xc3\xa9 \xe6\x97\xa5"},  // UTF-8 stays
      {"bad\xff", "bad\\xFF"},                                   // not UTF-8
      {"cut\xc3", "cut\\xC3"},                                   // a sequence cut at the end
      {"lone\x80x", "lone\\x80x"},                               // a continuation byte alone
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Escaped(c.name), c.listed) << c.listed;
  EXPECT_EQ(EscapeListedName(nullptr, 3), "");
}

TEST(RecoveryListing, EngineSelection) {
  const struct {
    const char* list;
    bool ok;
    std::vector<ERecoveryEngine> selected;
    const char* bad;
  } cases[] = {
      {"ntfs", true, {ERecoveryEngine::NTFS}, ""},
      {"FAT,exfat", true, {ERecoveryEngine::FAT, ERecoveryEngine::exFAT}, ""},
      {"ext2,hfsplus,raw,raw", true, {ERecoveryEngine::Ext2, ERecoveryEngine::HFSPlus, ERecoveryEngine::RAW}, ""},
      {"ntfs,btrfs", false, {}, "btrfs"},
      {"", false, {}, ""},
      {"ntfs,", false, {}, ""},
  };
  for (const auto& c : cases) {
    EngineSelection s;
    std::string bad = "unset";
    EXPECT_EQ(s.Parse(c.list, &bad), c.ok) << c.list;
    for (int e = 0; e < static_cast<int>(ERecoveryEngine::Count); ++e) {
      const auto engine = static_cast<ERecoveryEngine>(e);
      const bool wanted = c.ok ? std::find(c.selected.begin(), c.selected.end(), engine) != c.selected.end() : true;
      EXPECT_EQ(s.Has(engine), wanted) << c.list << " engine " << e;
    }
    if (!c.ok) {
      EXPECT_EQ(bad, c.bad) << c.list;
    }
  }
}

TEST(RecoveryListing, TheCompositionNeverRegistersTheScrubs) {
  // Whatever was registered before (vtctl registers the scrubs for its
  // other commands) is gone once the recovery engines are registered.
  for (EFileSystemType t :
       {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32, EFileSystemType::NTFS})
    RegisterQuickSearch(t, [] { return nullptr; });
  RegisterRecoveryEngines(EngineSelection());
  for (EFileSystemType t :
       {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32, EFileSystemType::NTFS})
    EXPECT_FALSE(HasQuickSearch(t)) << static_cast<int>(t);
  ClearScanEngineRegistry();
}

std::string Written(const RecoveryListing& listing) {
  char* text = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&text, &size);
  listing.Write(f);
  fclose(f);
  std::string out(text, size);
  free(text);
  return out;
}

TEST(RecoveryListing, PartitionsNodesAndCaps) {
  // Two candidates, the second chosen; a tree of three levels whose siblings
  // arrive out of name order.
  CSearchedPartitionInfo loser, chosen;
  loser.SetType(EFileSystemType::NTFS);
  loser.SetStartSector(63);
  loser.SetSectorCount(1000);
  loser.SetSectorsPerCluster(8);
  loser.SetClusterStartSector(63);
  chosen.SetType(EFileSystemType::FAT32);
  chosen.SetStartSector(2048);
  chosen.SetSectorCount(65536);
  chosen.SetSectorsPerCluster(1);
  chosen.SetClusterStartSector(2048 + 32 + 2 * 504);
  chosen.SetPoints(7);
  chosen.AddRecordMatch(3);
  chosen.AddRawMatch(2);
  chosen.SetScore(1.0);
  chosen.SetChosen(1);
  chosen.SetProximityMark(1);

  CFileSystemNode* root = MakeRoot(EFileSystemType::FAT32);
  std::vector<CFileNode*> nodes = {
      MakeNode(EFileSystemType::FAT32, NodeShape{10, 5, "zeta.txt", false, false, 0, 12}),
      MakeNode(EFileSystemType::FAT32, NodeShape{11, 5, "docs", true}),
      MakeNode(EFileSystemType::FAT32, NodeShape{12, 11, "old\tnote", false, true, 0, 4096}),
      MakeNode(EFileSystemType::FAT32, NodeShape{13, 5, "a/b", false, true, 0, 0}),
  };
  root->AddChild(nodes[0]);
  root->AddChild(nodes[1]);
  nodes[1]->AddChild(nodes[2]);
  root->AddChild(nodes[3]);

  RecoveryListing listing;
  listing.AddPartitions({&loser, &chosen}, {&chosen});
  listing.AddTree(1, root);
  listing.AddCap("added nodes", 7);
  listing.AddCap("partitions", 1);
  EXPECT_EQ(Written(listing),
            "partition\t0\tNTFS\t63\t1000\t8\t63\t0x0\t1\t0\t0\t0.000000\t\n"
            "partition\t1\tFAT32\t2048\t65536\t1\t3088\t0x3\t7\t3\t2\t1.000000\troot\n"
            "node\t1\tf\tdeleted\t0\t13\ta\\x2Fb\n"
            "node\t1\td\tlive\t1\t11\tdocs\n"
            "node\t1\tf\tdeleted\t4096\t12\tdocs/old\\x09note\n"
            "node\t1\tf\tlive\t12\t10\tzeta.txt\n"
            "cap\tadded nodes\t7\n"
            "cap\tpartitions\t1\n");
  EXPECT_TRUE(listing.HasTrees());
  EXPECT_EQ(listing.Find(1, "docs/old\\x09note"), nodes[2]);
  EXPECT_EQ(listing.Find(0, "zeta.txt"), nodes[0]);
  EXPECT_EQ(listing.Find(2, "zeta.txt"), nullptr);
  EXPECT_EQ(listing.Find(0, "docs/old\tnote"), nullptr);

  for (CFileNode* n : nodes) DeleteFileNode(n);
  DeleteFileNode(root);
}

}  // namespace
