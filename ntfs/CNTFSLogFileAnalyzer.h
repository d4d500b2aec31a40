// Reads the NTFS journal ($LogFile) to give deleted files back the runs and
// sizes their deletion took from their FILE records: from whole FILE-record
// images written into the log, or by replaying the undo data of the log
// records that touched the records' $DATA attributes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CNTFSRunList.h"
#include "NTFSSegmentRefList.h"

class IDataRunList;
class IFileProperties;
class IStorageDevice;

constexpr int kLogPageSize = 4096;
constexpr int kLogRecordHeaderSize = 48;
// Bytes of a log record kept in the index: its header and operation header.
constexpr int kLogIndexHeadSize = 88;
// Pages 0 to 3 hold the restart area.
constexpr int kLogFirstRecordPage = 4;
// Logs larger than this are damage: Windows makes them at most 64 MiB by
// default.
constexpr uint64_t kMaxLogBytes = uint64_t(256) << 20;

// Record pages ("RCRD").
bool IsRecordPage(const uint8_t* page);
bool CheckRecordPageFixups(const uint8_t* page);
bool IsValidRecordPage(const uint8_t* page);
bool ApplyRecordPageFixups(uint8_t* page);
// The page itself when it carries the magic, else null.
const uint8_t* GetRecordPageHeader(const uint8_t* page);
uint64_t GetRecordPageLastLSN(const uint8_t* page);
uint64_t GetRecordPageLastEndLSN(const uint8_t* page);
// The log record at `position` when at least 48 bytes are left.
const uint8_t* GetLogRecordHeader(const uint8_t* position, int64_t bytesLeft);
// A name of at least 2 characters starting "#R" or "$R" that is not part of
// "$RmMetadata$Reparse$Repair".
bool IsNTFSMetadataName(const std::u16string& name);

// One indexed log record: its first 88 bytes and where its copy lies in the
// record store.
struct LogRecordIndexEntry {
  uint8_t head[kLogIndexHeadSize] = {};
  size_t storeOffset = 0;
  uint32_t length = 0;
  uint16_t UndoOffset() const;
  uint16_t UndoLength() const;
  uint16_t RecordOffset() const;
  uint16_t AttributeOffset() const;
  uint16_t ClusterBlockOffset() const;
  uint32_t TargetVCN() const;
};

// The FILE record (of `recordSize` bytes) an entry targets: (VCN x cluster
// bytes + block offset x 512) / record size; -1 when that byte does not
// start a record or the offset leaves the cluster and the record.
int64_t GetLogTargetRecord(uint32_t targetVCN, uint16_t clusterBlockOffset, uint8_t sectorsPerCluster, int sectorSize,
                           int recordSize = 1024);

class CNTFSLogFileAnalyzer {
 public:
  struct Image {
    IFileProperties* properties = nullptr;  // owned, one reference
    uint64_t parent = 0;
  };

  CNTFSLogFileAnalyzer();
  // Opened on the log's runs (taken over).
  CNTFSLogFileAnalyzer(IStorageDevice* device, IDataRunList* logRuns, uint8_t sectorsPerCluster);
  CNTFSLogFileAnalyzer(const CNTFSLogFileAnalyzer&) = delete;
  CNTFSLogFileAnalyzer& operator=(const CNTFSLogFileAnalyzer&) = delete;
  ~CNTFSLogFileAnalyzer();

  void Reset();
  // `device` addresses the volume. Reads FILE record 2 through the $MFT runs;
  // true when the read succeeded, also when record 2 is not $LogFile (the
  // analyser then stays without runs).
  bool Open(IStorageDevice* device, const CNTFSRunList& mftRuns, uint8_t sectorsPerCluster);
  int GetState() const { return m_state; }
  const IFileProperties* GetLogFileProperties() const { return m_logProperties; }

  int GetPageCount() const;
  // Loads the whole log on first use. Runs that cannot be read (or holes)
  // read as zero pages, which the walks skip.
  bool ReadPage(int index, const uint8_t** page);

  // Image extraction and record indexing; frees the pages afterwards.
  bool Analyze();
  bool IsAnalyzed() const { return m_analyzed != 0; }

  // Gives the properties of a deleted file (record `record`, 1024 bytes)
  // the size and runs found in the log. `parent` -1: unknown.
  bool MatchFileRecords(const uint8_t* record, IFileProperties* properties, int64_t parent,
                        const NTFSSegmentRefList* extensions);

  const std::vector<Image>& GetImages() const { return m_images; }
  const std::vector<LogRecordIndexEntry>& GetIndex() const { return m_index; }
  // The stored copy of an indexed record (its `length` bytes).
  const uint8_t* GetStoredRecord(const LogRecordIndexEntry& entry) const;

  // Applies the undo data of the indexed records that target `recordNumber`
  // to the $DATA attributes of the 1024-byte `record`. Answers how many
  // patches were applied.
  int RestoreRecord(uint8_t* record, uint64_t recordNumber, bool compressed) const;

 private:
  using Handler = void (CNTFSLogFileAnalyzer::*)(const uint8_t* record, uint32_t available, bool multiPage);
  void WalkPages(Handler handler);
  void ExtractImage(const uint8_t* record, uint32_t available, bool multiPage);
  void IndexRecord(const uint8_t* record, uint32_t available, bool multiPage);
  void ParseRecordImage(const uint8_t* image);
  const Image* FindImage(const IFileProperties* properties, int64_t parent) const;
  int SectorSize() const;

  int m_state = 0;
  IStorageDevice* m_device = nullptr;
  std::unique_ptr<IDataRunList> m_runs;
  uint8_t m_sectorsPerCluster = 8;
  std::vector<uint8_t> m_pages;
  bool m_pagesLoaded = false;
  std::vector<uint8_t> m_store;
  IFileProperties* m_logProperties = nullptr;
  std::vector<Image> m_images;
  std::vector<LogRecordIndexEntry> m_index;
  uint8_t m_compressed = 0;
  uint8_t m_analyzed = 0;
};
