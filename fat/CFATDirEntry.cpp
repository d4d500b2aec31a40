#include "CFATDirEntry.h"

#include <cstring>
#include <vector>

#include "CFATFileProperties.h"
#include "CScanOptions.h"
#include "FatBytes.h"
#include "WideToAnsiString.h"

namespace {

bool IsPlausibleDate(uint16_t d) {
  if (d == 0) return true;
  const int month = (d >> 5) & 0x0F;
  const int day = d & 0x1F;
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool IsPlausibleTime(uint16_t t) {
  if (t == 0) return true;
  return t <= 0xBFFF && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30;
}

std::string TrimmedField(const uint8_t* p, size_t n) {
  while (n > 0 && p[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

uint8_t ChecksumOf(const uint8_t* name11) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  return sum;
}

// Whether long-name parts carrying `checksum` belong to this short entry.
// A deleted entry lost its first name byte, so any first byte may match.
bool ChecksumMatches(const CFATDirEntry& shortEntry, uint8_t checksum) {
  if (!shortEntry.IsDeleted()) return shortEntry.ShortNameChecksum() == checksum;
  uint8_t name[11];
  std::memcpy(name, shortEntry.GetEntry(), 11);
  for (int b = 0; b < 256; ++b) {
    name[0] = static_cast<uint8_t>(b);
    if (ChecksumOf(name) == checksum) return true;
  }
  return false;
}

}  // namespace

bool CFATDirEntry::Attach(const uint8_t* entry) {
  m_entry = entry;
  return IsValid(0);
}

uint32_t CFATDirEntry::GetFirstCluster() const {
  if (m_overrideEnabled && m_overrideCluster > 0) return static_cast<uint32_t>(m_overrideCluster);
  return (static_cast<uint32_t>(ReadLE16(m_entry + 20)) << 16) | ReadLE16(m_entry + 26);
}

uint32_t CFATDirEntry::GetFileSize() const { return ReadLE32(m_entry + 28); }

bool CFATDirEntry::NameEquals(const uint8_t* name8, const uint8_t* ext3) const {
  return std::memcmp(m_entry, name8, 8) == 0 && std::memcmp(m_entry + 8, ext3, 3) == 0;
}

void CFATDirEntry::GetShortName(std::string& out, int join) const {
  std::string name = TrimmedField(m_entry, 8);
  if (!name.empty() && static_cast<uint8_t>(name[0]) == 0xE5) name[0] = '#';
  const std::string ext = TrimmedField(m_entry + 8, 3);
  if (ext.empty())
    out = name;
  else
    out = join == 1 ? name + ext : name + "." + ext;
}

bool CFATDirEntry::GetLongNamePart(std::string& out) const {
  char16_t part[13];
  out = WideToAnsiString(part, GetLongNameUnits(part));
  return true;
}

size_t CFATDirEntry::GetLongNameUnits(char16_t* out) const {
  static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  size_t n = 0;
  for (; n < 13; ++n) {
    out[n] = static_cast<char16_t>(ReadLE16(m_entry + kOffsets[n]));
    if (out[n] == 0) break;
  }
  return n;
}

uint8_t CFATDirEntry::ShortNameChecksum() const { return ChecksumOf(m_entry); }

bool CFATDirEntry::IsValid(int checkFlag) const {
  if (IsLongNameEntry()) return true;
  if (checkFlag) {
    const uint32_t size = GetFileSize();
    const uint32_t cluster = GetFirstCluster();
    if (!IsDirectory()) {
      if ((size == 0) != (cluster == 0)) return false;
    } else if (size != 0 && ReadLE16(m_entry + 20) != 0) {
      return false;
    }
  }
  const CScanOptions& options = *GetScanOptions();
  if (options.fatEntryChecks[0]) {
    if (!IsPlausibleDate(ReadLE16(m_entry + 16)) || !IsPlausibleDate(ReadLE16(m_entry + 24)) ||
        !IsPlausibleDate(ReadLE16(m_entry + 18)))
      return false;
  }
  if (options.fatEntryChecks[1]) {
    if (!IsPlausibleTime(ReadLE16(m_entry + 14)) || !IsPlausibleTime(ReadLE16(m_entry + 22))) return false;
  }
  if (Attributes() & 0x40) return false;
  return IsVolumeLabel() || IsValidShortName(m_entry);
}

bool IsDotEntry(const CFATDirEntry& entry) {
  return entry.NameEquals(reinterpret_cast<const uint8_t*>(".       "), reinterpret_cast<const uint8_t*>("   ")) &&
         entry.IsDirectory();
}

bool IsDotDotEntry(const CFATDirEntry& entry) {
  return entry.NameEquals(reinterpret_cast<const uint8_t*>("..      "), reinterpret_cast<const uint8_t*>("   ")) &&
         entry.IsDirectory();
}

bool IsValidShortName(const uint8_t* entry) {
  if (entry == nullptr || entry[0] == ' ') return false;
  for (int i = 0; i < 11; ++i) {
    const uint8_t c = entry[i];
    if (c >= 0x80) {
      ++i;  // a lead byte takes the byte after it along
      continue;
    }
    if (c <= 0x19) return false;
    if (std::strchr("\"*/:<>?\\|", c) != nullptr) return false;
  }
  return true;
}

bool IsValidNameChar(char c) { return c == 0 ? false : std::strchr("?*|\\/:\"<>", c) == nullptr; }

bool IsValidFileName(const char* text) {
  if (text == nullptr || *text == 0) return false;
  for (const char* p = text; *p; ++p) {
    if (!IsValidNameChar(*p)) return false;
  }
  return true;
}

CFATFileProperties* CreateFATFilePropertiesFromEntry(const char* name, const uint8_t* entry) {
  if (name == nullptr || entry == nullptr) return nullptr;
  CFATFileProperties* props = CreateFATFileProperties();
  props->SetName(name);
  props->SetFileSize(ReadLE32(entry + 28));
  props->SetAttributes(entry[11]);
  props->SetCreationTime(ReadLE16(entry + 16), ReadLE16(entry + 14));
  props->SetModificationTime(ReadLE16(entry + 24), ReadLE16(entry + 22));
  props->SetAccessDate(ReadLE16(entry + 18));
  props->SetDeleted(entry[0] == 0xE5 ? 1 : 0);
  props->SetStatusFlag(0);
  return props;
}

namespace {

// The 8.3 name as shown: the case bits of byte 12 (0x08 base, 0x10
// extension) turn a part to lower case, as the name was written.
void ShortNameWithCase(const CFATDirEntry& entry, std::string& name) {
  entry.GetShortName(name, 0);
  const uint8_t flags = entry.GetEntry()[12];
  const size_t dot = name.find('.');
  for (size_t i = 0; i < name.size(); ++i) {
    const bool inExtension = dot != std::string::npos && i > dot;
    if ((inExtension ? flags & 0x10 : flags & 0x08) && name[i] >= 'A' && name[i] <= 'Z')
      name[i] = static_cast<char>(name[i] - 'A' + 'a');
  }
}

}  // namespace

CFATFileProperties* CreateFATFilePropertiesFromEntries(const uint8_t* entries, size_t length) {
  if (entries == nullptr) return nullptr;
  std::u16string longUnits;
  bool haveLongName = false;
  bool longNameBroken = false;  // too long, or parts of different files
  bool haveChecksum = false;
  uint8_t checksum = 0;
  int nextOrder = -1;  // the sequence number the next live part must carry
  for (size_t off = 0; off + CFATDirEntry::kSize <= length; off += CFATDirEntry::kSize) {
    CFATDirEntry entry(entries + off);
    if (entry.IsLongNameEntry()) {
      if (haveChecksum && entry.GetLongNameChecksum() != checksum) longNameBroken = true;
      // Live parts count down to 1 from the one flagged last (0x40); a run
      // that starts elsewhere lost its head and names nothing whole.
      // Deleted parts lost their sequence byte.
      const uint8_t order = entry.GetEntry()[0];
      if (order != 0xE5) {
        if (!haveChecksum) nextOrder = (order & 0x40) ? (order & 0x1F) : 0;
        if ((order & 0x1F) != nextOrder || nextOrder == 0) longNameBroken = true;
        --nextOrder;
      }
      haveChecksum = true;
      checksum = entry.GetLongNameChecksum();
      char16_t part[13];
      const size_t units = entry.GetLongNameUnits(part);
      if (longUnits.size() + units > CFATDirEntry::kMaxLongNameUnits) longNameBroken = true;
      if (!longNameBroken) longUnits.insert(0, part, units);
      haveLongName = true;
      continue;
    }
    if (haveChecksum && !ChecksumMatches(entry, checksum)) longNameBroken = true;
    std::string name;
    const std::string longName = WideToAnsiString(longUnits);
    if (haveLongName && !entry.IsDeleted() && nextOrder != 0) longNameBroken = true;
    if (!haveLongName || longNameBroken || !IsValidFileName(longName.c_str()))
      ShortNameWithCase(entry, name);
    else
      name = longName;
    return CreateFATFilePropertiesFromEntry(name.c_str(), entry.GetEntry());
  }
  return nullptr;
}
