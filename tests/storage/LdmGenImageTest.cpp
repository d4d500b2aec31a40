// The dynamic-disk images of tools/ldmgen, read back by ldmtool (libldm):
// the disk group, its volumes, partitions and disks must be the ones the
// generator says it wrote.
#include <QJsonArray>
#include <QJsonObject>
#include <map>
#include <set>

#include "LdmLayout.h"
#include "TestUtil.h"

namespace {

std::set<std::string> Strings(const QJsonValue& v) {
  std::set<std::string> out;
  for (const auto& x : v.toArray()) out.insert(x.toString().toStdString());
  return out;
}

class LdmGenImage : public ::testing::TestWithParam<ldmtest::ImageSet> {};

TEST_P(LdmGenImage, LdmtoolReadsBackTheLayout) {
  VT_REQUIRE_TOOL("ldmtool");
  testutil::TempDir dir("ldmgen");
  const auto L = ldmtest::Generate(dir.path(), GetParam().style, GetParam().disks);
  ASSERT_FALSE(L.groupGuid.empty()) << "ldmgen failed";
  ASSERT_EQ(L.disks.size(), size_t(GetParam().disks));

  auto scan = ldmtest::Ldmtool(L, {"scan"});
  ASSERT_TRUE(scan.isArray());
  ASSERT_EQ(scan.array().size(), 1);
  EXPECT_EQ(scan.array()[0].toString().toStdString(), L.groupGuid);

  auto group = ldmtest::Ldmtool(L, {"show", "diskgroup", L.groupGuid}).object();
  EXPECT_EQ(group["name"].toString().toStdString(), L.groupName);
  std::set<std::string> vols, disks;
  for (const auto& v : L.volumes) vols.insert(v.name);
  for (const auto& d : L.disks) disks.insert(d.name);
  EXPECT_EQ(Strings(group["volumes"]), vols);
  EXPECT_EQ(Strings(group["disks"]), disks);

  const std::map<std::string, std::string> kinds{{"simple", "simple"},     {"spanned", "spanned"},
                                                 {"striped", "striped"},   {"mirrored", "mirrored"},
                                                 {"raid5", "RAID5"}};
  for (const auto& v : L.volumes) {
    SCOPED_TRACE(v.name);
    auto vol = ldmtest::Ldmtool(L, {"show", "volume", L.groupGuid, v.name}).object();
    EXPECT_EQ(vol["type"].toString().toStdString(), kinds.at(v.kind));
    EXPECT_EQ(uint64_t(vol["size"].toDouble()), v.size);
    EXPECT_EQ(uint64_t(vol["chunk-size"].toDouble()), v.chunk);
    EXPECT_EQ(vol["hint"].toString().toStdString(), v.hint);
    std::set<std::string> parts;
    for (const auto& p : v.parts) parts.insert(p.name);
    EXPECT_EQ(Strings(vol["partitions"]), parts);
    for (const auto& p : v.parts) {
      auto part = ldmtest::Ldmtool(L, {"show", "partition", L.groupGuid, p.name}).object();
      EXPECT_EQ(uint64_t(part["start"].toDouble()), p.start) << p.name;
      EXPECT_EQ(uint64_t(part["size"].toDouble()), p.size) << p.name;
      EXPECT_EQ(part["disk"].toString().toStdString(), p.disk) << p.name;
    }
  }
  for (size_t i = 0; i < L.disks.size(); ++i) {
    const auto& d = L.disks[i];
    auto disk = ldmtest::Ldmtool(L, {"show", "disk", L.groupGuid, d.name}).object();
    EXPECT_EQ(disk["guid"].toString().toStdString(), d.guid);
    EXPECT_TRUE(disk["present"].toBool());
    EXPECT_EQ(disk["device"].toString().toStdString(), L.DiskPath(i));
    EXPECT_EQ(uint64_t(disk["data-start"].toDouble()), d.dataStart);
    EXPECT_EQ(uint64_t(disk["data-size"].toDouble()), d.dataSize);
    EXPECT_EQ(uint64_t(disk["metadata-start"].toDouble()), d.metaStart);
    EXPECT_EQ(uint64_t(disk["metadata-size"].toDouble()), d.metaSize);
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, LdmGenImage,
                         ::testing::Values(ldmtest::ImageSet{"mbr", 1}, ldmtest::ImageSet{"mbr", 2},
                                           ldmtest::ImageSet{"mbr", 3}, ldmtest::ImageSet{"gpt", 1},
                                           ldmtest::ImageSet{"gpt", 2}, ldmtest::ImageSet{"gpt", 3}),
                         ldmtest::ImageSetName);

}  // namespace
