// The $AttrDef and $UpCase anchors of the NTFS complete search: the FILE
// records of $AttrDef (record 4) and $UpCase (record 10) found on the disk,
// and every 512-byte unit equal to one of the five template sectors of their
// standard contents. At the end, each candidate counts the matched units that
// lie on the clusters its record names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>

#include "CNTFSFoundRecordItem.h"
#include "CNTFSTemplateMatchList.h"

class CSearchedNTFSPartitionInfo;

// Found records kept in scan order, looked up for a candidate.
class CNTFSFoundRecordList {
 public:
  static constexpr size_t kMaxItems = 500000;
  using Items = std::list<std::unique_ptr<CNTFSFoundRecordItem>>;

  // Keeps the record when it makes an item (and fewer than kMaxItems are held).
  bool Add(std::unique_ptr<CNTFSFoundRecordItem> item, const uint8_t* bytes, int length, uint64_t sector);
  const CNTFSFoundRecordItem* FindBySector(uint64_t sector) const;
  const CNTFSFoundRecordItem* FindBySectorRange(uint64_t first, uint64_t count) const;
  // The item at record `recordNumber` of the candidate's $MFT when its $MFT
  // sector is known, else the first item inside the candidate.
  const CNTFSFoundRecordItem* FindRecordForCandidate(const CSearchedNTFSPartitionInfo& candidate,
                                                     uint32_t recordNumber) const;
  const Items& GetItems() const { return m_items; }
  bool IsFull() const { return m_items.size() >= kMaxItems; }

 private:
  Items m_items;
};

class CNTFSTemplateMatcher {
 public:
  virtual ~CNTFSTemplateMatcher() = default;
  bool AddRecord(uint64_t sector, const uint8_t* bytes, int length);
  // `unit` (512-byte units) and its 512 bytes.
  virtual bool MatchSector(uint64_t unit, const uint8_t* bytes) = 0;
  const CNTFSFoundRecordItem* FindRecordForCandidate(const CSearchedNTFSPartitionInfo& c) const {
    return m_records.FindRecordForCandidate(c, RecordNumber());
  }
  virtual void ResolveCandidate(CSearchedNTFSPartitionInfo& candidate) const = 0;

  const CNTFSFoundRecordList& GetRecords() const { return m_records; }
  const CNTFSTemplateMatchList& GetMatches() const { return m_matches; }

 protected:
  virtual uint32_t RecordNumber() const = 0;
  // The record's sector and the count of matched units on its clusters; -1
  // and 0 without a record.
  void Resolve(const CSearchedNTFSPartitionInfo& candidate, uint64_t& sector, uint64_t& count) const;

  CNTFSFoundRecordList m_records;
  CNTFSTemplateMatchList m_matches;
};

class CNTFSAttrDefMatcher : public CNTFSTemplateMatcher {
 public:
  // Compares with the five sectors in order; the first equal one counts.
  bool MatchSector(uint64_t unit, const uint8_t* bytes) override;
  void ResolveCandidate(CSearchedNTFSPartitionInfo& candidate) const override;

 protected:
  uint32_t RecordNumber() const override { return 4; }
};

class CNTFSUpCaseMatcher : public CNTFSTemplateMatcher {
 public:
  // The unit's second byte k (0-4) names the only template sector compared.
  bool MatchSector(uint64_t unit, const uint8_t* bytes) override;
  void ResolveCandidate(CSearchedNTFSPartitionInfo& candidate) const override;

 protected:
  uint32_t RecordNumber() const override { return 10; }
};

// 512-byte units per device sector (1 for sectors of 512 bytes or less).
uint64_t UnitsPerSector(uint32_t sectorSize);
