// Partition candidates of the exFAT complete search: guesses of where a
// volume's cluster heap starts and how large its clusters are, made from
// boot sectors found on the device and backed by the FAT starts found where
// such a volume keeps its FATs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "CExFatPartition.h"
#include "ExFatDirectoryGroup.h"

class CExFatDBR;
class CFileNode;
class IDirecotryTreeBuilder;
class IStorageDevice;

class CExFatPartitionEx : public CExFatPartition {
 public:
  enum Flag : uint32_t {
    kMainBoot = 0x80000000,
    kBackupBoot = 0x40000000,
    kFromRoot = 0x10000000,
    kFromSubdirectories = 0x08000000,
    kFromGeometry = 0x02000000,
    kFirstFat = 1,
    kSecondFat = 2,
    kBootFlags = kMainBoot | kBackupBoot,
  };
  using CExFatPartition::CExFatPartition;

  uint32_t flags = 0;
  uint32_t fatCount = 0;
  uint32_t fatLength = 0;
  uint64_t fatOffset = 0;
  std::set<ExFatDirectoryGroup*> groups;
  std::set<uint64_t> alignedSectors;
  std::set<uint64_t> otherSectors;
  std::map<uint64_t, int> groupWeights;
  uint32_t groupCount = 0;
};

// Boot part: 50 with both boot sectors, 45 with one, else 10; FAT part
// likewise from the two FAT flags. Stores the sum as the record's score and
// points, and the attached groups as its record matches (the evaluation
// weighs both).
int ScoreExFatCandidate(CExFatPartitionEx& candidate);

class ExFatCandidateSet {
 public:
  static constexpr size_t kMostCandidates = 1024;
  static constexpr size_t kCandidatesKept = 512;
  // The backup boot region follows the main one 12 sectors on, whatever the
  // sector size.
  static constexpr uint64_t kBackupDistance = 12;

  void SetGeometry(uint32_t sectorSize, uint64_t deviceSectors);
  void SetTreeBuilder(IDirecotryTreeBuilder* builder) { m_builder = builder; }
  // `boot` is a boot sector that passed CExFatDBR::IsValid, found at `sector`.
  void AddExFatBootCandidate(uint64_t sector, const CExFatDBR& boot);
  void AddFatStart(uint64_t sector);
  void AddUpcaseSector(uint64_t sector) { m_upcaseSectors.insert(sector); }
  // A directory group handed out by the scan; it must outlive the set.
  void AddGroup(ExFatDirectoryGroup* group) { m_groups.push_back(group); }
  // Attaches to each candidate, best first, the groups not yet claimed that
  // lie inside its volume on its cluster grid and whose cluster-size bounds
  // accept its clusters; when some candidate has such groups, those without
  // any are dropped.
  void Resolve();

  const std::vector<std::unique_ptr<CExFatPartitionEx>>& Candidates() const { return m_candidates; }
  // Scores every candidate and hands them out, best first.
  void CollectCandidates(std::vector<std::unique_ptr<CExFatPartitionEx>>& out);
  // Drops the lowest-ranked candidates once there are too many; the drop is
  // noted on the tree builder.
  void Trim();

  // The nodes of the partition's tree, made from the entry sets of its
  // groups: id = the first sector of the node's first cluster, parent id =
  // the id of the folder whose clusters hold its entry set (-1 for the root
  // directory), else the first sector of the group chain it was found in.
  // The children of a deleted folder are deleted. Recycled files ($R...)
  // take the names their information files ($I...) give. The partition's
  // FAT cache is used when open and its cluster map is marked.
  static void RebuildExFatTree(CExFatPartitionEx& partition, std::vector<CFileNode*>& out, IStorageDevice* device);

 private:
  CExFatPartitionEx* Find(uint64_t heap, uint32_t sectorsPerCluster) const;
  CExFatPartitionEx* Add(uint64_t volumeStart, uint64_t heap, const CExFatDBR& boot, uint32_t flags);
  void Sort();

  std::vector<std::unique_ptr<CExFatPartitionEx>> m_candidates;
  std::set<uint64_t> m_upcaseSectors;
  std::vector<ExFatDirectoryGroup*> m_groups;
  uint32_t m_sectorSize = 512;
  uint64_t m_deviceSectors = 0;
  IDirecotryTreeBuilder* m_builder = nullptr;
};
