// The cluster-use map (the recycle-bin names are tested with the file model).
#include <gtest/gtest.h>

#include "CClusterUseBitMap.h"

TEST(FatClusterUseMap, Answers) {
  std::vector<bool> bits = {true, false, true, false};
  ClusterUseBitMapInfo info;
  info.bits = &bits;
  info.firstSector = 100;
  info.sectorsPerCluster = 4;
  info.clusterCount = 4;
  CClusterUseBitMap map(info);
  EXPECT_TRUE(map.IsClusterUsed(99));  // before the data area
  EXPECT_TRUE(map.IsClusterUsed(100));
  EXPECT_FALSE(map.IsClusterUsed(104));
  EXPECT_FALSE(map.IsClusterUsed(107));
  EXPECT_TRUE(map.IsClusterUsed(108));
  EXPECT_TRUE(map.IsClusterUsed(116));  // past the last cluster
  info.clusterCount = 0;
  EXPECT_FALSE(CClusterUseBitMap(info).IsClusterUsed(104));
  info.clusterCount = 100;  // more clusters than bits, or no cluster size
  EXPECT_TRUE(CClusterUseBitMap(info).IsClusterUsed(100 + 4 * 50));
  info.sectorsPerCluster = 0;
  EXPECT_TRUE(CClusterUseBitMap(info).IsClusterUsed(104));
}
