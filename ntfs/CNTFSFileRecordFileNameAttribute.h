// Readers of a $FILE_NAME value. The value is taken at the fixed offset 24 of
// the attribute; a field outside the attribute reads as 0 (or false).
#pragma once

#include <cstdint>
#include <string>

#include "CNTFSFileRecordAttribute.h"

class CNTFSFileRecordFileNameAttribute : public CNTFSFileRecordAttribute {
 public:
  virtual ~CNTFSFileRecordFileNameAttribute() = default;

  static constexpr uint32_t kDirectoryFlag = 0x10000000;

  // Record number (48 bits) of the parent folder.
  static uint64_t GetParentReference(const uint8_t* header);
  static uint64_t GetCreationTime(const uint8_t* header);
  static uint64_t GetModificationTime(const uint8_t* header);
  static uint64_t GetAccessTime(const uint8_t* header);
  // The data size recorded in the name (may lag behind $DATA).
  static uint64_t GetNameDataSize(const uint8_t* header);
  static uint32_t GetNameFlags(const uint8_t* header);
  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS; values above 4 read as 4.
  static int GetNamespace(const uint8_t* header);
  // Characters in the name; -1 when the name does not lie inside the
  // attribute.
  static int GetNameLength(const uint8_t* header);
  // The name when it lies wholly inside the attribute; false otherwise.
  static bool GetName(const uint8_t* header, std::u16string& name);
  // Exact, case-sensitive comparison with `name`.
  static bool IsName(const uint8_t* header, const char16_t* name);
  // None of " * / : < > ? \ | among the first `count` characters (a zero
  // character ends the test early).
  static bool HasValidCharacters(const char16_t* name, int count);

 protected:
  // The name's characters lie inside the attribute; `count` gets their number.
  static const uint8_t* NameBytes(const uint8_t* header, int& count);
};

// A valid header of a resident $FILE_NAME whose name lies inside the value
// and holds no forbidden character.
bool IsValidFileNameAttribute(const uint8_t* header, int64_t bytesLeft);
