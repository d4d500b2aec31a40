#include "CFileExtensionMap.h"

#include <algorithm>
#include <map>
#include <string>
#include <type_traits>

#include "RawFileTypeTable.h"

namespace {

constexpr size_t kMaxKeyLength = 5;

char16_t FoldCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

struct IgnoreCaseLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const char16_t x = FoldCase(a[i]);
      const char16_t y = FoldCase(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

using ExtensionMap = std::map<std::u16string, uint16_t, IgnoreCaseLess>;

const ExtensionMap& Map() {
  static const ExtensionMap map = [] {
    ExtensionMap m;
    for (int id = 1; id <= kLastFixedRawFileType; ++id) {
      std::u16string key;
      for (const char* p = GetRawFileExtension(id); *p && key.size() < kMaxKeyLength; ++p)
        key += static_cast<char16_t>(static_cast<unsigned char>(*p));
      m.emplace(key, static_cast<uint16_t>(id));  // an existing key is kept
    }
    return m;
  }();
  return map;
}

template <typename Char>
int SplitExtension(const Char* name, uint8_t length, char16_t* outChars, int* outCount) {
  if (!name || !outChars || !outCount || length < 3) return 0;
  int dot = -1;
  for (int i = length - 1; i >= 0; --i)
    if (name[i] == static_cast<Char>('.')) {
      dot = i;
      break;
    }
  if (dot <= 0) return 0;
  const int count = length - 1 - dot;
  if (count >= 5) return 0;
  for (int i = 0; i < count; ++i)
    outChars[i] = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(name[dot + 1 + i]));
  *outCount = count;
  return 1;
}

}  // namespace

int SplitExtensionWide(const char16_t* name, uint8_t length, char16_t* outChars, int* outCount) {
  return SplitExtension(name, length, outChars, outCount);
}

int SplitExtensionNarrow(const char* name, uint8_t length, char16_t* outChars, int* outCount) {
  return SplitExtension(name, length, outChars, outCount);
}

void CFileExtensionMap::EnsureLoaded() {
  (void)Map();
}

uint16_t CFileExtensionMap::GetTypeId(const char16_t* chars, uint8_t count) {
  EnsureLoaded();
  if (!chars) return 0;
  // A key ends at its first zero character, as a text does.
  std::u16string key(chars, std::min<size_t>(count, kMaxKeyLength));
  key.resize(std::min(key.size(), key.find(u'\0')));
  const auto it = Map().find(key);
  return it == Map().end() ? 0 : it->second;
}

uint16_t CFileExtensionMap::GetTypeIdOfWideName(const char16_t* name, uint8_t length) {
  EnsureLoaded();
  char16_t ext[4];
  int count = 0;
  return SplitExtensionWide(name, length, ext, &count) ? GetTypeId(ext, static_cast<uint8_t>(count)) : 0;
}

uint16_t CFileExtensionMap::GetTypeIdOfNarrowName(const char* name, uint8_t length) {
  EnsureLoaded();
  char16_t ext[4];
  int count = 0;
  return SplitExtensionNarrow(name, length, ext, &count) ? GetTypeId(ext, static_cast<uint8_t>(count)) : 0;
}
