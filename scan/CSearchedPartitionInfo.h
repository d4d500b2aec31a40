// A partition found by a complete (or quick) search, ranked by the
// evaluation and knowing the controller that found it.
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"

class CFileNode;
class ICompleteFileSystemSearchController;
class IScanStream;

class CSearchedPartitionInfo {
 public:
  static constexpr uint32_t kSavedBaseSize = 76;

  // 512 bytes per sector when `bytesPerSector` is 0 or not a multiple of 512.
  explicit CSearchedPartitionInfo(int bytesPerSector = 512);
  virtual ~CSearchedPartitionInfo() = default;
  CSearchedPartitionInfo(const CSearchedPartitionInfo&) = delete;
  CSearchedPartitionInfo& operator=(const CSearchedPartitionInfo&) = delete;

  virtual EPartitionKind GetSearchKind() { return EPartitionKind::None; }
  // Engines answer these through their owner controller.
  virtual int IsNodeInPartition(CFileNode* node);
  virtual int LoadNodeDataRuns(CFileNode* node);
  // The base saves and loads the 76-byte base record only.
  virtual bool Save(IScanStream* stream) { return SaveBase(stream); }
  virtual bool Load(IScanStream* stream) { return LoadBase(stream); }

  // Little-endian: type, sectors per cluster, cluster-0 sector, start sector,
  // RAW-match count, record-match count, engine value, sector count, points,
  // score, chosen, bytes per sector. Load changes nothing on a short stream.
  bool SaveBase(IScanStream* stream) const;
  bool LoadBase(IScanStream* stream);

  EFileSystemType GetType() const { return m_type; }
  void SetType(EFileSystemType t) { m_type = t; }
  uint32_t GetSectorsPerCluster() const { return m_sectorsPerCluster; }
  void SetSectorsPerCluster(uint32_t v) { m_sectorsPerCluster = v; }
  // The one origin of every run position: the sector where cluster 0 of the
  // engine's run numbering lies, the sector CFileDataReader adds to
  // run cluster x sectors per cluster. That is the partition start for NTFS
  // and Ext2, the data start for FAT (whose runs count from cluster 2, so run
  // cluster 0 is FAT cluster 2) and the cluster heap start for exFAT. Node
  // geometry, the recovery's GetNodePartition, the cluster-use map
  // (CClusterUseBitMap.h: its first sector is this sector and its bit i
  // stands for run cluster i) and the carved-match count all take it, in
  // sectors of the device given to Recover.
  uint64_t GetClusterStartSector() const { return m_clusterStartSector; }
  void SetClusterStartSector(uint64_t v) { m_clusterStartSector = v; }
  // First sector of the partition on the device.
  uint64_t GetStartSector() const { return m_startSector; }
  void SetStartSector(uint64_t v) { m_startSector = v; }
  // The evidence the evaluation scores: points, plus kRecordMatchWeight per
  // record match (a directory entry or file record the engine found inside
  // the partition: AddRecordMatch), plus one per carved file that starts
  // where a file name of the partition says its data begins (AddRawMatch).
  static constexpr uint64_t kRecordMatchWeight = 50;
  uint64_t GetRawMatchCount() const { return m_rawMatchCount; }
  void SetRawMatchCount(uint64_t v) { m_rawMatchCount = v; }
  void AddRawMatch(uint64_t n = 1) { m_rawMatchCount += n; }
  uint64_t GetRecordMatchCount() const { return m_recordMatchCount; }
  void SetRecordMatchCount(uint64_t v) { m_recordMatchCount = v; }
  void AddRecordMatch(uint64_t n = 1) { m_recordMatchCount += n; }
  uint32_t GetBytesPerSector() const { return m_bytesPerSector; }
  uint32_t GetEngineValue() const { return m_engineValue; }
  void SetEngineValue(uint32_t v) { m_engineValue = v; }
  uint64_t GetSectorCount() const { return m_sectorCount; }
  void SetSectorCount(uint64_t v) { m_sectorCount = v; }
  uint64_t GetPoints() const { return m_points; }
  void SetPoints(uint64_t v) { m_points = v; }
  double GetScore() const { return m_score; }
  void SetScore(double v) { m_score = v; }
  uint32_t GetProximityMark() const { return m_proximityMark; }
  void SetProximityMark(uint32_t v) { m_proximityMark = v; }
  uint32_t GetChosen() const { return m_chosen; }
  void SetChosen(uint32_t v) { m_chosen = v; }
  ICompleteFileSystemSearchController* GetOwner() const { return m_owner; }
  void SetOwner(ICompleteFileSystemSearchController* owner) { m_owner = owner; }

 private:
  EFileSystemType m_type = EFileSystemType::Unknown;
  uint32_t m_sectorsPerCluster = 0;
  uint64_t m_clusterStartSector = 0;
  uint64_t m_startSector = 0;
  uint64_t m_rawMatchCount = 0;
  uint64_t m_recordMatchCount = 0;
  uint32_t m_bytesPerSector = 512;
  uint32_t m_engineValue = 0;
  uint64_t m_sectorCount = 0;
  uint64_t m_points = 1;
  double m_score = 0.0;
  uint32_t m_proximityMark = 0;
  uint32_t m_chosen = 0;
  ICompleteFileSystemSearchController* m_owner = nullptr;
};
