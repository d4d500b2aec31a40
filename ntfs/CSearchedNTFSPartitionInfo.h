// A candidate partition of the NTFS complete search: the searched-partition
// record with the evidence gathered for it, the map the search keeps its
// candidates in, the factory every piece of evidence uses, and the updater
// that changes the flags of candidates already known.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>

#include "CSearchedPartitionInfo.h"

// Evidence flags of a candidate.
enum : uint32_t {
  kNTFSBootSectorFlag = 1,        // a boot sector at the start
  kNTFSBackupBootSectorFlag = 2,  // a backup boot sector at the end
  kNTFSMFTConfirmedFlag = 4,      // $MFT and $MFTMirr agree (replaces 8)
  kNTFSMFTFlag = 8,               // a $MFT record placed by its own runs
  kNTFSMFTMirrFlag = 16,          // $MFT followed by $MFTMirr, placed by the mirror's runs
  kNTFSIndexBlockFlag = 32,       // an INDX block and its folder record agree
  kNTFSFirstRestartPageFlag = 64,
  kNTFSSecondRestartPageFlag = 128,
  kNTFSBothRestartPagesFlags = 192,
};

class CSearchedNTFSPartitionInfo : public CSearchedPartitionInfo {
 public:
  // Saved form: the base record, then the fields below in declaration order.
  static constexpr uint32_t kSavedSize = kSavedBaseSize + 96;
  static constexpr uint64_t kUnknown = ~uint64_t(0);

  explicit CSearchedNTFSPartitionInfo(int bytesPerSector = 512);

  EPartitionKind GetSearchKind() override { return EPartitionKind::NTFS; }
  bool Save(IScanStream* stream) override;
  // Changes nothing on a short stream.
  bool Load(IScanStream* stream) override;

  uint64_t GetSerialNumber() const { return m_serialNumber; }
  void SetSerialNumber(uint64_t v) { m_serialNumber = v; }
  uint32_t GetReservedWord() const { return m_reserved; }
  void SetReservedWord(uint32_t v) { m_reserved = v; }
  uint32_t GetStateFlags() const { return m_flags; }
  void SetStateFlags(uint32_t v) { m_flags = v; }
  void AddStateFlags(uint32_t v) { m_flags |= v; }
  uint32_t GetMFTGroupSwitch() const { return m_mftGroup; }
  void SetMFTGroupSwitch(uint32_t v) { m_mftGroup = v; }
  uint32_t GetGroupOnlySwitch() const { return m_groupOnly; }
  void SetGroupOnlySwitch(uint32_t v) { m_groupOnly = v; }
  // Sector count = cluster count x sectors per cluster.
  uint64_t GetClusterCount() const { return m_clusterCount; }
  void SetClusterCount(uint64_t v) { m_clusterCount = v; }
  uint64_t GetLogPageMatches() const { return m_logPageMatches; }
  void SetLogPageMatches(uint64_t v) { m_logPageMatches = v; }
  uint64_t GetAttrDefMatches() const { return m_attrDefMatches; }
  void SetAttrDefMatches(uint64_t v) { m_attrDefMatches = v; }
  uint64_t GetUpCaseMatches() const { return m_upCaseMatches; }
  void SetUpCaseMatches(uint64_t v) { m_upCaseMatches = v; }
  uint64_t GetMFTSector() const { return m_mftSector; }
  void SetMFTSector(uint64_t v) { m_mftSector = v; }
  uint64_t GetLogFileSector() const { return m_logFileSector; }
  void SetLogFileSector(uint64_t v) { m_logFileSector = v; }
  uint64_t GetAttrDefSector() const { return m_attrDefSector; }
  void SetAttrDefSector(uint64_t v) { m_attrDefSector = v; }
  uint64_t GetUpCaseSector() const { return m_upCaseSector; }
  void SetUpCaseSector(uint64_t v) { m_upCaseSector = v; }
  // Sectors the $Bitmap of the candidate's MFT run implies (negative when
  // the $Bitmap was not read).
  int64_t GetBitmapSize() const { return static_cast<int64_t>(m_bitmapSize); }
  void SetBitmapSize(int64_t v) { m_bitmapSize = static_cast<uint64_t>(v); }

 private:
  uint64_t m_serialNumber = 0;
  uint32_t m_reserved = 2;
  uint32_t m_flags = 0;
  uint32_t m_mftGroup = 0;
  uint32_t m_groupOnly = 0;
  uint64_t m_clusterCount = kUnknown;
  uint64_t m_logPageMatches = kUnknown;
  uint64_t m_attrDefMatches = kUnknown;
  uint64_t m_upCaseMatches = kUnknown;
  uint64_t m_mftSector = kUnknown;
  uint64_t m_logFileSector = kUnknown;
  uint64_t m_attrDefSector = kUnknown;
  uint64_t m_upCaseSector = kUnknown;
  uint64_t m_bitmapSize = kUnknown;
};

// A candidate's identity: start (ordered as signed) and sectors per cluster.
struct NTFSCandidateKey {
  int64_t start = 0;
  uint32_t sectorsPerCluster = 0;
  bool operator<(const NTFSCandidateKey& o) const {
    return start != o.start ? start < o.start : sectorsPerCluster < o.sectorsPerCluster;
  }
};
NTFSCandidateKey KeyOf(const CSearchedNTFSPartitionInfo& candidate);

// The search's candidates; equal candidates may stand side by side. The map
// owns them.
using NTFSCandidateMap = std::multimap<NTFSCandidateKey, std::unique_ptr<CSearchedNTFSPartitionInfo>>;
using NTFSCandidateList = std::list<std::unique_ptr<CSearchedNTFSPartitionInfo>>;

void InsertCandidate(NTFSCandidateMap& map, std::unique_ptr<CSearchedNTFSPartitionInfo> candidate);

// The candidate whose cluster `cluster` (k sectors each) lies at sector
// `recordSector`: start = recordSector - cluster x k, running to the device's
// end in whole clusters. Null when k is 0, the cluster is negative
// (unmapped), cluster x k overflows or exceeds the record sector, the record
// lies fewer than 8 sectors behind the start, or the start lies at or past
// the device's end.
std::unique_ptr<CSearchedNTFSPartitionInfo> CreatePartitionCandidate(uint64_t recordSector, int64_t cluster,
                                                                     uint32_t sectorsPerCluster, uint32_t flags,
                                                                     uint64_t deviceSectors, int sectorSize);
// One candidate for each of 1, 2, 4, ... 128 sectors per cluster that the
// factory accepts, appended in that order.
void CreatePartitionCandidatesForAllClusterSizes(uint64_t recordSector, int64_t cluster, uint32_t flags,
                                                 uint64_t deviceSectors, NTFSCandidateList& out, int sectorSize);

class CNTFSCandidateFlagUpdater {
 public:
  explicit CNTFSCandidateFlagUpdater(NTFSCandidateMap* map, uint64_t deviceSectors = 0)
      : m_map(map), m_deviceSectors(deviceSectors) {}
  void SetDeviceSectors(uint64_t sectors) { m_deviceSectors = sectors; }
  uint64_t GetDeviceSectors() const { return m_deviceSectors; }
  NTFSCandidateMap* GetMap() const { return m_map; }

  // 1 when the map holds candidates equal to `candidate`, else 0. Each of
  // them loses the bits of `clear` and gains those of `set`; one left
  // without flags leaves the map. `candidate` itself is never touched.
  int UpdateCandidateFlags(const CSearchedNTFSPartitionInfo& candidate, uint32_t set, uint32_t clear);
  // Calls `visit` for every candidate of the map equal to `candidate`.
  int ForEachEqual(const CSearchedNTFSPartitionInfo& candidate,
                   const std::function<void(CSearchedNTFSPartitionInfo&)>& visit);

 private:
  NTFSCandidateMap* m_map;
  uint64_t m_deviceSectors;
};
