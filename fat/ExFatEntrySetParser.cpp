#include "ExFatEntrySetParser.h"

#include "ByteOrder.h"
#include "CharConversion.h"

namespace {
constexpr uint8_t kInUse = 0x80;
constexpr uint8_t kSecondary = 0x40;
constexpr uint8_t kBenign = 0x20;
// Up to 255 UTF-16 units, each at most 3 bytes of UTF-8 (a surrogate pair:
// 4 bytes for 2 units).
constexpr int kMaxNameBytes = 255 * 3;
}  // namespace

void ExFatEntrySetParser::SetGeometry(uint32_t sectorShift, uint32_t clusterShift, uint64_t volumeSectors) {
  m_geometry.sectorShift = sectorShift;
  m_geometry.clusterShift = clusterShift;
  m_geometry.volumeLength = volumeSectors;
  Reset();
}

void ExFatEntrySetParser::Reset() {
  m_set.count = 0;
  m_set.remaining = 0;
  m_set.record = ExFatEntrySetRecord();
  m_set.inUse = false;
  m_set.units.clear();
}

bool ExFatEntrySetParser::ParseEntries(const uint8_t* entries, size_t byteCount, uint64_t position, size_t* taken) {
  bool go = true;
  if (taken) *taken = 0;
  if (!entries) return false;
  size_t at = 0;
  for (; at + 32 <= byteCount && go; at += 32) {
    const uint8_t* e = entries + at;
    const uint8_t type = e[0];
    switch (type) {
      case 0x00:
        go = false;  // end of the directory
        break;
      case 0x83:
      case 0x03:
        go = OnLabelEntry(e);
        break;
      case 0x85:
      case 0x05:
        go = OnFileEntry(e, position + (at >> m_geometry.sectorShift));
        break;
      case 0xC0:
      case 0x40:
        go = OnStreamEntry(e);
        break;
      case 0xC1:
      case 0x41:
        go = OnNameEntry(e);
        break;
      case 0x81:
      case 0x82:
        break;  // allocation bitmap, up-case table
      default:
        // Benign entries (volume GUID, padding, vendor extensions...) may
        // stand anywhere a reader can pass them over; an unknown critical
        // entry means the directory is not what this parser understands.
        go = (type & kBenign) ? OnBenignEntry(e) : false;
        break;
    }
    ++m_seen;
    if (go && taken) ++*taken;
  }
  return go;
}

bool ExFatEntrySetParser::OnLabelEntry(const uint8_t* e) {
  return (e[0] & 0x60) == 0 && IsValidExFatVolumeLabelEntry(e);
}

bool ExFatEntrySetParser::OnFileEntry(const uint8_t* e, uint64_t sector) {
  Reset();
  if ((e[0] & 0x60) != 0 || !IsValidExFatFileEntry(e)) return false;
  m_set.count = 1;
  m_set.remaining = e[1];
  m_set.inUse = (e[0] & kInUse) != 0;
  m_set.record.inUse = m_set.inUse ? 1 : 0;
  m_set.record.attributes = ReadLE16(e + 4);
  m_set.record.creation = ReadLE32(e + 8);
  m_set.record.modification = ReadLE32(e + 12);
  m_set.record.access = ReadLE32(e + 16);
  m_set.record.position = sector;
  m_seen = 0;
  return true;
}

bool ExFatEntrySetParser::OnStreamEntry(const uint8_t* e) {
  if ((e[0] & 0x60) != kSecondary || !IsValidExFatStreamEntry(e, m_geometry)) return false;
  const bool inUse = (e[0] & kInUse) != 0;
  if (m_set.count != 1 || m_seen != 1 || inUse != m_set.inUse || m_set.remaining == 0) {
    Reset();
    return true;
  }
  m_set.count = 2;
  --m_set.remaining;
  m_set.record.size = ReadLE64(e + 24);
  m_set.record.firstCluster = ReadLE32(e + 20);
  m_set.record.noFatChain = (e[1] & 0x02) ? 1 : 0;
  m_set.record.nameLength = e[3];
  if (m_set.remaining == 0) Reset();  // a set without a name
  return true;
}

bool ExFatEntrySetParser::ContinuesSet(bool inUse) const {
  return m_set.count >= 2 && m_seen == m_set.count && inUse == m_set.inUse && m_set.remaining > 0;
}

bool ExFatEntrySetParser::OnNameEntry(const uint8_t* e) {
  if ((e[0] & 0x60) != kSecondary || !IsValidExFatFileNameEntry(e)) return false;
  if (!ContinuesSet((e[0] & kInUse) != 0)) {
    Reset();
    return true;
  }
  for (int i = 0; i < 15; ++i) m_set.units.push_back(static_cast<char16_t>(ReadLE16(e + 2 + 2 * i)));
  TakeSecondary();
  return true;
}

bool ExFatEntrySetParser::OnBenignEntry(const uint8_t* e) {
  // A benign secondary entry belongs to the set it follows and counts
  // toward its secondary entries; a benign primary entry belongs to none.
  if ((e[0] & kSecondary) && ContinuesSet((e[0] & kInUse) != 0)) TakeSecondary();
  return true;
}

void ExFatEntrySetParser::TakeSecondary() {
  ++m_set.count;
  if (--m_set.remaining == 0) FinishSet();
}

void ExFatEntrySetParser::FinishSet() {
  // The name is NameLength characters long; what follows in the last name
  // entry is padding.
  size_t length = m_set.record.nameLength;
  if (length > m_set.units.size()) length = m_set.units.size();
  for (size_t i = 0; i < length; ++i)
    if (m_set.units[i] == 0) {
      length = i;
      break;
    }
  char text[kMaxNameBytes + 1];
  const int n = length ? WideToUtf8(m_set.units.data(), static_cast<int>(length), text, kMaxNameBytes) : 0;
  m_set.record.name.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
  if (!m_set.record.name.empty()) m_records.push_back(std::move(m_set.record));
  Reset();
}
