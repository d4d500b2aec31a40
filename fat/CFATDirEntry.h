// A view of one 32-byte FAT directory entry, the name-character rules and
// the builders that turn entries into file properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CFATFileProperties;

class CFATDirEntry {
 public:
  static constexpr size_t kSize = 32;
  // The longest long name: 255 UTF-16 units, in UTF-8 at most 3 bytes each
  // (a surrogate pair, two units, makes 4).
  static constexpr size_t kMaxLongNameUnits = 255;
  static constexpr size_t kMaxLongName = kMaxLongNameUnits * 3;

  explicit CFATDirEntry(const uint8_t* entry = nullptr) : m_entry(entry) {}
  ~CFATDirEntry() = default;

  // Points the view at another entry; answers IsValid(false).
  bool Attach(const uint8_t* entry);
  const uint8_t* GetEntry() const { return m_entry; }

  bool IsDeleted() const { return m_entry[0] == 0xE5; }
  bool IsEndMarker() const { return m_entry[0] == 0; }
  bool IsDirectory() const { return (Attributes() & 0x10) != 0; }
  bool IsHiddenSystemDirectory() const { return Attributes() == 0x16; }
  bool IsLongNameEntry() const { return Attributes() == 0x0F; }
  uint8_t GetLongNameOrder() const { return IsLongNameEntry() ? m_entry[0] : 0; }
  bool IsVolumeLabel() const { return Attributes() == 0x08 || Attributes() == 0x28; }
  uint8_t Attributes() const { return m_entry[11]; }

  uint32_t GetFirstCluster() const;
  void SetOverrideEnabled(int enabled) { m_overrideEnabled = enabled ? 1 : 0; }
  void SetOverrideCluster(uint64_t cluster) { m_overrideCluster = cluster; }
  uint32_t GetFileSize() const;
  bool NameEquals(const uint8_t* name8, const uint8_t* ext3) const;

  // The 8.3 name: "NAME.EXT", or "NAMEEXT" with `join` 1 (labels). A
  // deleted entry's first character shows as '#'.
  void GetShortName(std::string& out, int join) const;
  // The 13 characters of a long-name part up to its terminator, as UTF-8.
  bool GetLongNamePart(std::string& out) const;
  // The same part as UTF-16 units (up to 13, the terminator left out). Parts
  // are joined as units and converted once, so that a character whose two
  // units lie in two parts stays whole.
  size_t GetLongNameUnits(char16_t* out) const;
  // The checksum of the 11 short-name bytes that long-name parts carry.
  uint8_t ShortNameChecksum() const;
  // The checksum byte of a long-name part.
  uint8_t GetLongNameChecksum() const { return m_entry[13]; }

  bool IsValid(int checkFlag) const;

 private:
  const uint8_t* m_entry;
  int m_overrideEnabled = 0;
  uint64_t m_overrideCluster = 0;
};

bool IsDotEntry(const CFATDirEntry& entry);
bool IsDotDotEntry(const CFATDirEntry& entry);
// The 11 short-name bytes obey the FAT character rules.
bool IsValidShortName(const uint8_t* entry);
bool IsValidNameChar(char c);
bool IsValidFileName(const char* text);

// Properties from a name and its short entry; null for a null argument.
CFATFileProperties* CreateFATFilePropertiesFromEntry(const char* name, const uint8_t* entry);
// Properties from a run of long-name entries and their short entry; null
// when the run holds no short entry.
CFATFileProperties* CreateFATFilePropertiesFromEntries(const uint8_t* entries, size_t length);
