#include "CFileTypeEvidenceEntry.h"

#include <atomic>
#include <type_traits>

namespace {

std::atomic<FileTypeIdLookup> g_lookup{nullptr};

template <class Char>
bool Split(const Char* name, size_t length, char16_t (&extension)[kMaxExtensionLength], size_t& count) {
  if (!name || length < 3) return false;
  size_t dot = length;
  while (dot > 0 && name[dot - 1] != Char('.')) --dot;
  // `dot` is one past the last dot; 0 without one, 1 when it is the first character.
  if (dot <= 1) return false;
  const size_t n = length - dot;
  if (n > kMaxExtensionLength) return false;
  for (size_t i = 0; i < n; ++i)
    extension[i] = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(name[dot + i]));
  count = n;
  return true;
}

template <class Char>
uint16_t TypeIdOf(const Char* name, size_t length) {
  char16_t extension[kMaxExtensionLength];
  size_t count = 0;
  if (!Split(name, length, extension, count) || count == 0) return 0;
  const FileTypeIdLookup lookup = g_lookup.load(std::memory_order_acquire);
  return lookup ? lookup(extension, count) : 0;
}

}  // namespace

void RegisterFileTypeIdLookup(FileTypeIdLookup lookup) {
  g_lookup.store(lookup, std::memory_order_release);
}

uint16_t FileTypeIdOfName(const char16_t* name, size_t length) {
  return TypeIdOf(name, length);
}
uint16_t FileTypeIdOfName(const char* name, size_t length) {
  return TypeIdOf(name, length);
}

bool CFileTypeEvidenceEntry::Init(uint16_t typeId, int64_t firstCluster, int64_t recordSector) {
  if (typeId == 0 || firstCluster < 0 || recordSector < 0) return false;
  m_typeId = typeId;
  m_firstCluster = firstCluster;
  m_recordSector = recordSector;
  return true;
}

bool CFileTypeEvidenceEntry::InitFromWideName(const char16_t* name, size_t length, int64_t firstCluster,
                                              int64_t recordSector) {
  return Init(FileTypeIdOfName(name, length), firstCluster, recordSector);
}

bool CFileTypeEvidenceEntry::InitFromNarrowName(const char* name, size_t length, int64_t firstCluster,
                                                int64_t recordSector) {
  return Init(FileTypeIdOfName(name, length), firstCluster, recordSector);
}
