// The journal of a journaled HFS+ volume: its info block and header.
#pragma once

#include <cstdint>
#include <vector>

#include "HFSPlusStructs.h"

class CHFSPlusBTNode;
class CHFSPlusVolume;
class HFSPlusProgressReporter;
struct HFSPlusFoundRecords;

class CHFSPlusJournal {
 public:
  // Status 0 only for a journal inside the volume whose little-endian
  // header is sound; 1281 for a volume without journal.
  explicit CHFSPlusJournal(CHFSPlusVolume* volume);
  int GetStatus() const { return m_status; }
  const JournalInfoBlock* GetInfoBlock() const { return m_hasInfo ? &m_info : nullptr; }
  const JournalHeader* GetHeader() const { return m_hasHeader ? &m_header : nullptr; }

  // position + delta, wrapped at the journal's size.
  uint64_t WrapOffset(uint64_t position, uint64_t delta) const;
  // Reads `size` bytes at `position` of the circular journal buffer.
  uint64_t Read(uint64_t position, void* buffer, uint64_t size);

  // Walks the journal's circular buffer once around from the header's end
  // for old copies of B-tree leaf nodes and collects their records that the
  // live trees no longer hold (a later copy of a record replaces an earlier
  // one). 0, or the code of the read that ended the walk; 13 when the
  // reporter stopped it.
  int GetDeleteRecord(HFSPlusProgressReporter* reporter, HFSPlusFoundRecords& found);

  // The largest logged block the walk reads.
  static constexpr uint32_t kMaxBlockSize = 64 * 1024;
  // The largest header or block list header the walk accepts.
  static constexpr uint32_t kMaxHeaderSize = 1024 * 1024;

 private:
  void HarvestCatalog(CHFSPlusBTNode& node, HFSPlusProgressReporter* reporter, HFSPlusFoundRecords& found);
  void HarvestExtents(CHFSPlusBTNode& node, HFSPlusFoundRecords& found);
  void HarvestAttributes(CHFSPlusBTNode& node, HFSPlusFoundRecords& found);

  // Reads `size` bytes at `position` (not past the journal's end) through a
  // window of the journal kept in memory: the walk reads it in small steps.
  uint64_t ReadThroughWindow(uint64_t position, uint8_t* out, uint64_t size);

  static constexpr uint64_t kWindowSize = 1024 * 1024;

  CHFSPlusVolume* m_volume = nullptr;
  std::vector<uint8_t> m_window;
  uint64_t m_windowStart = 0;
  int m_status = kHFSMissing;
  JournalInfoBlock m_info;
  JournalHeader m_header;
  bool m_hasInfo = false;
  bool m_hasHeader = false;
};
