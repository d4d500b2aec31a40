#include "CHFSPlusJournal.h"

#include <vector>

#include "CHFSPlusVolume.h"
#include "ReturnError.h"

CHFSPlusJournal::CHFSPlusJournal(CHFSPlusVolume* volume) : m_volume(volume) {
  if (!volume) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return;
  }
  const HFSPlusVolumeHeader* h = volume->GetVolumeHeader();
  if (!h) {
    m_status = volume->GetState();
    return;
  }
  if (!(h->attributes & kHFSVolumeJournaledBit)) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  const uint64_t volumeBytes = uint64_t(h->totalBlocks) * h->blockSize;
  if (h->blockSize == 0 || h->journalInfoBlock >= h->totalBlocks) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  const uint64_t sector = static_cast<uint64_t>(volume->GetSectorSize());
  std::vector<uint8_t> buf(sector < 512 ? 512 : sector);
  if (volume->Read(uint64_t(h->journalInfoBlock) * h->blockSize, buf.data(), buf.size()) < buf.size()) {
    m_status = HFS_RETURN_ERROR(kHFSShortRead);
    return;
  }
  flipJournalInfoBlock(&m_info, buf.data());
  m_hasInfo = true;
  // The journal must lie inside this volume and have a size: every
  // position in it is taken modulo that size.
  if (!(m_info.flags & 1) || m_info.size == 0 || m_info.offset >= volumeBytes ||
      m_info.size > volumeBytes - m_info.offset) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  if (volume->Read(m_info.offset, buf.data(), buf.size()) < buf.size()) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  JournalHeader jh;
  ReadJournalHeader(&jh, buf.data());
  if (jh.magic != kJournalMagic || jh.endian != kJournalEndian || jh.size != m_info.size) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return;
  }
  m_header = jh;
  m_hasHeader = true;
  m_status = kHFSOk;
}

uint64_t CHFSPlusJournal::WrapOffset(uint64_t position, uint64_t delta) const {
  const uint64_t size = m_hasInfo ? m_info.size : 0;
  if (size == 0) return 0;  // no journal: nowhere to go
  uint64_t p = position % size + delta % size;
  return p % size;
}

uint64_t CHFSPlusJournal::Read(uint64_t position, void* buffer, uint64_t size) {
  if (!m_hasInfo || m_info.size == 0 || !m_volume || !buffer) {
    m_status = HFS_RETURN_ERROR(kHFSDeviceError);
    return 0;
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  position = WrapOffset(position, 0);
  while (done < size) {
    uint64_t chunk = size - done;
    if (chunk > m_info.size - position) chunk = m_info.size - position;
    uint64_t got = m_volume->Read(m_info.offset + position, out + done, chunk);
    done += got;
    if (got < chunk) {
      HFS_RETURN_ERROR(kHFSDeviceError);
      break;
    }
    position = WrapOffset(position, chunk);
  }
  return done;
}
