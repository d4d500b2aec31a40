// The journal of a journaled HFS+ volume: its info block and header.
#pragma once

#include <cstdint>

#include "HFSPlusStructs.h"

class CHFSPlusVolume;

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

 private:
  CHFSPlusVolume* m_volume = nullptr;
  int m_status = kHFSMissing;
  JournalInfoBlock m_info;
  JournalHeader m_header;
  bool m_hasInfo = false;
  bool m_hasHeader = false;
};
